#include "FRWViewportFiller.h"

#include <QEvent>
#include <QScrollArea>

FRWViewportFiller::FRWViewportFiller(QScrollArea* scroll, QWidget* card, int bottomMargin, int minimumHeight)
    : QObject(card)
    , m_scroll(scroll)
    , m_card(card)
    , m_bottomMargin(bottomMargin)
    , m_minimumHeight(minimumHeight)
{
    scroll->viewport()->installEventFilter(this);
    card->installEventFilter(this);
    apply();
}

void FRWViewportFiller::apply()
{
    if (!m_scroll || !m_card || !m_card->parentWidget()) {
        return;
    }
    // The card's top within the document; a layout has placed it once the page was shown.
    const int top = m_card->mapTo(m_scroll->widget(), QPoint(0, 0)).y();
    const int height = std::max(m_minimumHeight, m_scroll->viewport()->height() - top - m_bottomMargin);
    if (m_card->minimumHeight() != height || m_card->maximumHeight() != height) {
        m_card->setFixedHeight(height);
    }
}

bool FRWViewportFiller::eventFilter(QObject* watched, QEvent* event)
{
    if ((event->type() == QEvent::Resize && watched != m_card) ||
        (event->type() == QEvent::Move && watched == m_card)) {
        apply();
    }
    return QObject::eventFilter(watched, event);
}
