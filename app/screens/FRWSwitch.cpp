#include "FRWSwitch.h"

#include <QPainter>

#include "FRWAppearance.h"
#include "FRWTheme.h"

FRWSwitch::FRWSwitch(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(sizeHint());
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, qOverload<>(&QWidget::update));
}

QSize FRWSwitch::sizeHint() const
{
    return {38, 22};
}

void FRWSwitch::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = track.height() / 2;
    QColor fill = isChecked() ? FRWTheme::statusGreen().resolved() : FRWTheme::buttonHighlighted().resolved();
    if (!isEnabled()) {
        fill.setAlphaF(fill.alphaF() * 0.45F);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, radius, radius);
    const qreal knob = track.height() - 4;
    // On is the trailing end: the left one on a right-to-left page.
    const bool trailing = isChecked() != (layoutDirection() == Qt::RightToLeft);
    const qreal x = trailing ? track.right() - 2 - knob : track.left() + 2;
    QColor knobColor(Qt::white);
    if (!isEnabled()) {
        knobColor.setAlphaF(0.7F);
    }
    painter.setBrush(knobColor);
    painter.setPen(QPen(QColor(0, 0, 0, 30), 0.5));
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}
