#include "FRWElidedLabel.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
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

QString FRWElidedLabel::copiedText() const
{
    if (!hasSelectedText()) {
        return {};
    }
    const QString shown = QLabel::text();
    const qsizetype mark = shown.indexOf(QChar(0x2026));
    if (shown == m_fullText || mark < 0) {
        return selectedText();
    }
    // The shown text is the full text's start, the mark, then its end: past the mark, a position
    // counts from the end of both.
    const auto toFull = [&](qsizetype at) {
        return at <= mark ? at : m_fullText.size() - (shown.size() - at);
    };
    const qsizetype start = selectionStart();
    const qsizetype end = start + selectedText().size();
    const qsizetype from = toFull(start);
    return m_fullText.mid(from, toFull(end) - from);
}

void FRWElidedLabel::copySelection() const
{
    const QString text = copiedText();
    if (!text.isEmpty()) {
        QApplication::clipboard()->setText(text);
    }
}

void FRWElidedLabel::keyPressEvent(QKeyEvent* event)
{
    if (event == QKeySequence::Copy) {
        copySelection();
        event->accept();
        return;
    }
    QLabel::keyPressEvent(event);
}

void FRWElidedLabel::contextMenuEvent(QContextMenuEvent* event)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy = menu->addAction(tr("Copy"), this, &FRWElidedLabel::copySelection);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(hasSelectedText());
    menu->addAction(tr("Select All"), this,
                    [this] { setSelection(0, static_cast<int>(QLabel::text().size())); });
    menu->popup(event->globalPos());
}
