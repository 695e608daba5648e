#include "FRWStackedBar.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPainterPath>

#include "FRWAppearance.h"

FRWStackedBar::FRWStackedBar(QWidget* parent)
    : QWidget(parent), m_leftColor(FRWTheme::purple()), m_rightColor(FRWTheme::cyan())
{
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, qOverload<>(&QWidget::update));
}

void FRWStackedBar::setLeftFraction(double fraction)
{
    const double clamped = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    if (clamped == m_leftFraction) {
        return;
    }
    m_leftFraction = clamped;
    update();
}

void FRWStackedBar::setLeftColor(const FRWDynamicColor& color)
{
    m_leftColor = color;
    update();
}

void FRWStackedBar::setRightColor(const FRWDynamicColor& color)
{
    m_rightColor = color;
    update();
}

double FRWStackedBar::leftWidth(double fraction, const QSizeF& size)
{
    return std::max(fraction * size.width(), size.height());
}

void FRWStackedBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    const double radius = bounds.height() / 2;
    QPainterPath whole;
    whole.addRoundedRect(bounds, radius, radius);
    painter.fillPath(whole, m_rightColor.resolved());
    QPainterPath left;
    // The leading part starts at the right in a right-to-left layout.
    const double leading = leftWidth(m_leftFraction, bounds.size());
    const double x = layoutDirection() == Qt::RightToLeft ? bounds.width() - leading : 0;
    left.addRoundedRect(QRectF(x, 0, leading, bounds.height()), radius, radius);
    painter.fillPath(left, m_leftColor.resolved());
}
