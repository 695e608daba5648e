#pragma once

#include <QWidget>

#include "FRWAccessibility.h"
#include "FRWProfile.h"

class QLabel;

/// One entry of the Profile page's list: the active dot and the name. A press anywhere in the row
/// emits clicked() with its profile.
class FRWProfileRow : public QWidget, public FRWPressable {
    Q_OBJECT
public:
    static constexpr int kHeight = 28;

    FRWProfileRow(FRWProfilePtr profile, bool active, bool selected, QWidget* parent = nullptr);

    const FRWProfilePtr& profile() const { return m_profile; }
    bool isActive() const { return m_active; }
    bool isSelected() const { return m_selected; }
    bool isHovered() const { return m_hovered; }
    QString name() const;

    QString accessibleTitle() const override { return name(); }
    bool performAccessiblePress() override;
    QAccessible::Role accessibleRole() const override { return QAccessible::ListItem; }
    void addAccessibleState(QAccessible::State& state) const override;
    /// Says which profile is in use, which the dot shows.
    QString accessibleDescription() const override;

signals:
    void clicked(const FRWProfilePtr& profile);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    FRWProfilePtr m_profile;
    bool m_active;
    bool m_selected;
    bool m_hovered = false;
    QLabel* m_name = nullptr;
};
