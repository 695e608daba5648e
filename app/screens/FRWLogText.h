#pragma once

#include <functional>

#include <QStringList>

class QPlainTextEdit;

/// Keeps a read-only text view in step with the model's log, a list that grows at its end and is
/// trimmed at its start. New lines are appended to the view, which holds at most kViewLines of
/// them; the whole text is replaced only when the log starts over or the filter changes. The
/// user's selection (and so the find position) stays on the text it covers.
class FRWLogText {
public:
    static constexpr int kViewLines = 50000;
    /// Which lines are shown; an empty filter shows all.
    using Filter = std::function<bool(const QString&)>;
    enum class Change { None, Appended, Replaced };

    explicit FRWLogText(QPlainTextEdit* view);

    /// Brings the view up to `lines`. `logsCursor` is the model's (epoch × stride + cursor): a
    /// different epoch means the log started over.
    Change sync(const QStringList& lines, qint64 logsCursor);
    /// Shows only the lines the filter keeps, from now on; the text is replaced at the next sync.
    void setFilter(Filter filter);
    /// Forgets what is shown: the next sync replaces the text.
    void invalidate() { m_synced = false; }

private:
    qsizetype freshCount(const QStringList& lines, qint64 logsCursor) const;
    bool tailMatches(const QStringList& lines, qsizetype fresh) const;
    void replace(const QStringList& lines);
    void append(const QStringList& lines, qsizetype from);
    void remember(const QStringList& lines, qint64 logsCursor);

    QPlainTextEdit* m_view;
    Filter m_filter;
    bool m_synced = false;
    qint64 m_cursor = 0;
    qsizetype m_count = 0;
    // The model's last few lines at the last sync: where the next sync's new lines begin.
    QStringList m_tail;
};
