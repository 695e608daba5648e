#pragma once

#include <QWidget>

#include "FRWTheme.h"

/// A rounded two-colour bar: the left colour covers leftFraction of the width, never less than
/// a circle, the right colour the rest.
class FRWStackedBar : public QWidget {
    Q_OBJECT
public:
    explicit FRWStackedBar(QWidget* parent = nullptr);

    double leftFraction() const { return m_leftFraction; }
    /// Kept within 0…1; anything not a number counts as 0.
    void setLeftFraction(double fraction);
    FRWDynamicColor leftColor() const { return m_leftColor; }
    void setLeftColor(const FRWDynamicColor& color);
    FRWDynamicColor rightColor() const { return m_rightColor; }
    void setRightColor(const FRWDynamicColor& color);

    /// Width of the left part for a bar of the given size.
    static double leftWidth(double fraction, const QSizeF& size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_leftFraction = 0;
    FRWDynamicColor m_leftColor;
    FRWDynamicColor m_rightColor;
};
