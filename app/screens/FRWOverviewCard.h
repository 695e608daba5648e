#pragma once

#include "FRWCardView.h"

class QLabel;
class FRWSwitch;

/// One switch card of the Overview page: title, switch, description and a status line with a dot.
class FRWOverviewCard : public FRWCardView {
    Q_OBJECT
public:
    static constexpr int kHeight = 132;

    FRWOverviewCard(const QString& title, const QString& desc, QWidget* parent = nullptr);

    QLabel* titleLabel() const { return m_titleLabel; }
    FRWSwitch* toggle() const { return m_toggle; }
    QLabel* statusLabel() const { return m_statusLabel; }
    FRWDynamicColor statusColor() const { return m_statusColor; }

    void setStatus(const QString& text, const FRWDynamicColor& color);

signals:
    /// The user flipped the switch; `on` is its new state.
    void toggled(bool on);

private:
    QLabel* m_titleLabel;
    FRWSwitch* m_toggle;
    QLabel* m_descLabel;
    QWidget* m_dot;
    QLabel* m_statusLabel;
    FRWDynamicColor m_statusColor;
};
