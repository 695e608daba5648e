#include "FRWLogText.h"

#include <algorithm>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include "FRWLogStream.h"

namespace {
constexpr qsizetype kTailLines = 8;

struct BlockSpot {
    int block;
    int offset;
};

BlockSpot spotOf(const QTextDocument* document, int position)
{
    const QTextBlock block = document->findBlock(position);
    return {block.blockNumber(), position - block.position()};
}

int positionOf(const QTextDocument* document, BlockSpot spot, int removedBlocks)
{
    const QTextBlock block = document->findBlockByNumber(std::max(0, spot.block - removedBlocks));
    return block.position() + std::min(spot.offset, std::max(0, block.length() - 1));
}
} // namespace

FRWLogText::FRWLogText(QPlainTextEdit* view) : m_view(view)
{
    m_view->setMaximumBlockCount(kViewLines);
}

void FRWLogText::setFilter(Filter filter)
{
    m_filter = std::move(filter);
    m_synced = false;
}

FRWLogText::Change FRWLogText::sync(const QStringList& lines, qint64 logsCursor)
{
    const bool sameEpoch = logsCursor / FRWLogStream::kEpochStride == m_cursor / FRWLogStream::kEpochStride;
    if (m_synced && sameEpoch && logsCursor == m_cursor && lines.size() == m_count) {
        return Change::None;
    }
    const qsizetype fresh = m_synced && sameEpoch ? freshCount(lines, logsCursor) : -1;
    Change change = Change::None;
    if (fresh < 0) {
        replace(lines);
        change = Change::Replaced;
    } else if (fresh > 0) {
        append(lines, lines.size() - fresh);
        change = Change::Appended;
    }
    remember(lines, logsCursor);
    return change;
}

// How many lines at the end are new, or −1 when that cannot be told and the text must be replaced.
// The cursor's advance and the list's growth are both guesses; each is checked against the lines
// the last sync ended with.
qsizetype FRWLogText::freshCount(const QStringList& lines, qint64 logsCursor) const
{
    const qsizetype advanced = std::clamp<qint64>(logsCursor - m_cursor, 0, lines.size());
    const qsizetype grown = lines.size() - m_count;
    for (const qsizetype guess : {advanced, grown}) {
        if (guess >= 0 && tailMatches(lines, guess)) {
            return guess;
        }
    }
    return -1;
}

bool FRWLogText::tailMatches(const QStringList& lines, qsizetype fresh) const
{
    const qsizetype end = lines.size() - fresh;
    if (end < m_tail.size() || (m_tail.size() < kTailLines && end != m_tail.size())) {
        return false;
    }
    return std::equal(m_tail.cbegin(), m_tail.cend(), lines.cbegin() + (end - m_tail.size()));
}

void FRWLogText::remember(const QStringList& lines, qint64 logsCursor)
{
    m_synced = true;
    m_cursor = logsCursor;
    m_count = lines.size();
    m_tail = lines.mid(std::max<qsizetype>(0, lines.size() - kTailLines));
}

void FRWLogText::replace(const QStringList& lines)
{
    // Only the newest lines the view can hold, counted after filtering.
    QStringList shown;
    for (qsizetype i = lines.size() - 1; i >= 0 && shown.size() < kViewLines; --i) {
        if (!m_filter || m_filter(lines.at(i))) {
            shown.append(lines.at(i));
        }
    }
    std::reverse(shown.begin(), shown.end());
    m_view->setPlainText(shown.join(QLatin1Char('\n')));
    m_view->moveCursor(QTextCursor::End);
    QScrollBar* bar = m_view->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void FRWLogText::append(const QStringList& lines, qsizetype from)
{
    QStringList fresh;
    for (qsizetype i = from; i < lines.size(); ++i) {
        if (!m_filter || m_filter(lines.at(i))) {
            fresh.append(lines.at(i));
        }
    }
    if (fresh.isEmpty()) {
        return;
    }
    QTextDocument* document = m_view->document();
    const int blocksBefore = document->blockCount();
    const bool wasEmpty = document->isEmpty();

    // A selection that reaches the end would grow over the new lines; it is put back afterwards.
    QTextCursor selection = m_view->textCursor();
    QTextCursor end(document);
    end.movePosition(QTextCursor::End);
    const bool touchesEnd = selection.selectionEnd() == end.position();
    const BlockSpot anchor = spotOf(document, selection.anchor());
    const BlockSpot position = spotOf(document, selection.position());

    end.insertText((wasEmpty ? QString() : QStringLiteral("\n")) + fresh.join(QLatin1Char('\n')));

    const int added = static_cast<int>(fresh.size()) - (wasEmpty ? 1 : 0);
    const int removed = std::max(0, blocksBefore + added - document->blockCount());
    if (touchesEnd) {
        selection.setPosition(positionOf(document, anchor, removed));
        selection.setPosition(positionOf(document, position, removed), QTextCursor::KeepAnchor);
        m_view->setTextCursor(selection);
    }
    // The newest line is always in view; the selection stays where it was.
    QScrollBar* bar = m_view->verticalScrollBar();
    bar->setValue(bar->maximum());
}
