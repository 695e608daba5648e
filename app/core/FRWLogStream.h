#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

/// The core's log as the model collects it: lines up to the core's capacity, the cursor for the
/// next request, and epochs. Each reset, and each cursor that goes backwards, starts a new epoch, so
/// `logsCursor` changes whenever the shown log must be rebuilt.
class FRWLogStream {
public:
    static constexpr int kDefaultCapacity = 4000;
    static constexpr qint64 kEpochStride = 1000000;

    /// Cursor −1, a new epoch, no lines and no core identity.
    void reset();
    /// Notes the identity of the core that answers now; a different non-empty one than before
    /// resets the stream first. True when it did.
    bool noteCoreIdentity(const QString& identity);
    /// Takes one /logs answer: lines, capacity and cursor.
    void apply(const QJsonObject& answer);
    /// Adds a line of the app's own, such as why a core could not start, when no core can say it.
    void appendOwn(const QString& line);

    /// The cursor to send with the next request; −1 while none is held from this core.
    qint64 requestCursor() const { return m_cursor; }
    qint64 epoch() const { return m_epoch; }
    /// epoch × 1,000,000 + cursor.
    qint64 logsCursor() const { return m_logsCursor; }
    /// The published lines; the same shared list until lines are appended or removed.
    const QStringList& logs() const { return m_logs; }
    const QString& coreIdentity() const { return m_identity; }

private:
    QStringList m_lines;
    QStringList m_logs;
    qint64 m_cursor = -1;
    qint64 m_epoch = 0;
    qint64 m_logsCursor = 0;
    QString m_identity;
};
