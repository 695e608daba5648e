#include "FRWLogStream.h"

#include <algorithm>

#include <QJsonArray>

namespace {

// Cursors beyond what a double holds exactly are not ones a core hands out; clamping keeps the
// epoch arithmetic from overflowing.
constexpr qint64 kLargestCursor = qint64{1} << 53;

} // namespace

void FRWLogStream::reset()
{
    m_cursor = -1;
    ++m_epoch;
    m_lines.clear();
    m_logs = QStringList();
    m_logsCursor = m_epoch * kEpochStride;
    m_identity.clear();
}

bool FRWLogStream::noteCoreIdentity(const QString& identity)
{
    bool didReset = false;
    if (!identity.isEmpty() && !m_identity.isEmpty() && identity != m_identity) {
        reset();
        didReset = true;
    }
    if (!identity.isEmpty()) {
        m_identity = identity;
    }
    return didReset;
}

void FRWLogStream::apply(const QJsonObject& answer)
{
    const qint64 announced = answer.value(QLatin1String("capacity")).toInteger(0);
    const qsizetype capacity =
        announced >= 1 ? qsizetype(std::min<qint64>(announced, kLargestCursor)) : kDefaultCapacity;

    bool changed = false;
    const QJsonArray lines = answer.value(QLatin1String("lines")).toArray();
    if (!lines.isEmpty()) {
        // Only the last `capacity` lines can survive the trim; skip copying the rest.
        const qsizetype skip = std::max<qsizetype>(0, lines.size() - capacity);
        for (qsizetype i = skip; i < lines.size(); ++i) {
            m_lines.append(lines.at(i).toString());
        }
        changed = true;
    }
    if (m_lines.size() > capacity) {
        m_lines.remove(0, m_lines.size() - capacity);
        changed = true;
    }
    if (changed) {
        m_logs = m_lines;
    }

    const QJsonValue cursorValue = answer.value(QLatin1String("cursor"));
    if (cursorValue.isDouble()) {
        const qint64 cursor = std::clamp<qint64>(cursorValue.toInteger(m_cursor), -1, kLargestCursor);
        if (cursor < m_cursor) {
            ++m_epoch;
        }
        m_cursor = cursor;
        m_logsCursor = m_epoch * kEpochStride + cursor;
    }
}

void FRWLogStream::appendOwn(const QString& line)
{
    m_lines.append(line);
    m_logs = m_lines;
    // A new epoch: readers rebuild, and no answer asked for before this line can land after it.
    ++m_epoch;
    m_logsCursor = m_epoch * kEpochStride + std::max<qint64>(m_cursor, 0);
}
