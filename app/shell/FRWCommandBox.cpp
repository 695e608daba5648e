#include "FRWCommandBox.h"

#include <QPainter>
#include <QPainterPath>

#include "FRWAppearance.h"
#include "FRWTheme.h"

FRWCommandBox::FRWCommandBox(QWidget* parent) : QWidget(parent)
{
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, qOverload<>(&QWidget::update));
}

void FRWCommandBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(shape, FRWTheme::controlBackground().resolved());
}
