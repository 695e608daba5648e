#include "FRWPlusTile.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "FRWAccessibility.h"
#include "FRWNodeTile.h"
#include "FRWTheme.h"

FRWPlusTile::FRWPlusTile(const QString& accessibleTitle, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("plusTile"));
    setFixedHeight(FRWNodeTile::kHeight);
    setAccessibleName(accessibleTitle.isEmpty() ? tr("Add") : accessibleTitle);
    setFocusPolicy(Qt::StrongFocus);
    FRWPressable::installAccessibility();
}

bool FRWPlusTile::performAccessiblePress()
{
    emit clicked();
    return true;
}

void FRWPlusTile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen border((m_hovered || FRWFocus::showsRing(this)) ? FRWTheme::accentBlue().resolved()
                                                         : FRWTheme::border().resolved(),
                1.5);
    border.setDashPattern({5 / 1.5, 4 / 1.5});
    painter.setPen(border);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 12, 12);
    QPen plus(m_hovered ? FRWTheme::accentBlue().resolved() : FRWTheme::secondaryLabel().resolved(), 1.8);
    plus.setCapStyle(Qt::RoundCap);
    painter.setPen(plus);
    const QPointF c = QRectF(rect()).center();
    painter.drawLine(c - QPointF(7, 0), c + QPointF(7, 0));
    painter.drawLine(c - QPointF(0, 7), c + QPointF(0, 7));
}

void FRWPlusTile::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        emit clicked();
        return;
    }
    QWidget::mousePressEvent(event);
}

void FRWPlusTile::keyPressEvent(QKeyEvent* event)
{
    if (FRWFocus::isActivationKey(event) && !event->isAutoRepeat()) {
        emit clicked();
        return;
    }
    if (FRWFocus::moveInGrid(this, event->key())) {
        return;
    }
    QWidget::keyPressEvent(event);
}

void FRWPlusTile::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void FRWPlusTile::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}

void FRWPlusTile::enterEvent(QEnterEvent*)
{
    m_hovered = true;
    update();
}

void FRWPlusTile::leaveEvent(QEvent*)
{
    m_hovered = false;
    update();
}
