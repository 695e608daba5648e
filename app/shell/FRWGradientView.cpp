#include "FRWGradientView.h"

#include <QLinearGradient>
#include <QPainter>

#include "FRWAppearance.h"
#include "FRWTheme.h"

FRWGradientView::FRWGradientView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, qOverload<>(&QWidget::update));
}

void FRWGradientView::paintEvent(QPaintEvent*)
{
    // A 45-degree gradient across a rectangle runs from the top-left corner to the point on the
    // diagonal line through the origin whose projection reaches the bottom-right corner.
    const qreal w = width();
    const qreal h = height();
    const qreal reach = (w + h) / 2.0;
    QLinearGradient gradient(QPointF(0, 0), QPointF(reach, reach));
    gradient.setColorAt(0.0, FRWTheme::windowGradientTop().resolved());
    gradient.setColorAt(0.5, FRWTheme::windowGradientMid().resolved());
    gradient.setColorAt(1.0, FRWTheme::windowGradientBottom().resolved());
    QPainter painter(this);
    painter.fillRect(rect(), gradient);
}
