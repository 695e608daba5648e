#include "FRWElidedLabel.h"

#include <QResizeEvent>

FRWElidedLabel::FRWElidedLabel(Qt::TextElideMode mode, QWidget* parent) : QLabel(parent), m_mode(mode)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void FRWElidedLabel::setFullText(const QString& text)
{
    if (text == m_fullText && !QLabel::text().isEmpty()) {
        return;
    }
    m_fullText = text;
    setToolTip(text);
    applyElision();
}

QSize FRWElidedLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

QSize FRWElidedLabel::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(m_fullText), QLabel::sizeHint().height()};
}

void FRWElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    applyElision();
}

void FRWElidedLabel::applyElision()
{
    const QString shown = fontMetrics().elidedText(m_fullText, m_mode, std::max(0, contentsRect().width()));
    if (shown != QLabel::text()) {
        QLabel::setText(shown);
    }
}
