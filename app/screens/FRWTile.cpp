#include "FRWTile.h"

#include <QKeyEvent>

#include "FRWTheme.h"

FRWTile::FRWTile(QWidget* parent) : FRWCardView(parent)
{
}

void FRWTile::keyPressEvent(QKeyEvent* event)
{
    if (FRWFocus::isActivationKey(event) && !event->isAutoRepeat()) {
        performAccessiblePress();
        event->accept();
        return;
    }
    if (FRWFocus::isMenuKey(event)) {
        FRWFocus::openContextMenu(this);
        event->accept();
        return;
    }
    if (FRWFocus::moveInGrid(this, event->key())) {
        event->accept();
        return;
    }
    FRWCardView::keyPressEvent(event);
}

void FRWTile::updateBorder()
{
    setBorderColor(m_hovered || FRWFocus::showsRing(this) ? std::optional(FRWTheme::accentBlue())
                                                          : std::nullopt);
}

void FRWTile::focusInEvent(QFocusEvent* event)
{
    updateBorder();
    FRWCardView::focusInEvent(event);
}

void FRWTile::focusOutEvent(QFocusEvent* event)
{
    updateBorder();
    FRWCardView::focusOutEvent(event);
}

void FRWTile::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    updateBorder();
    FRWCardView::enterEvent(event);
}

void FRWTile::leaveEvent(QEvent* event)
{
    m_hovered = false;
    updateBorder();
    FRWCardView::leaveEvent(event);
}
