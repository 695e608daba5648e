#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QList>

/// A one-column table whose rows are identified by a key. setRows() updates in place: rows whose
/// key is gone are removed, rows whose data changed report dataChanged, new keys are appended.
/// Rows are never reset wholesale, so views keep their selection and scroll position; the order a
/// view shows comes from a sorting proxy on top. Row must have a QString `key` and operator==.
template <typename Row>
class FRWKeyedTableModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 1; }

    const Row& rowAt(int row) const { return m_rows.at(row); }
    const QList<Row>& rows() const { return m_rows; }
    /// -1 when no row has the key.
    int rowOfKey(const QString& key) const { return m_index.value(key, -1); }

    /// Later rows with a key already given are ignored.
    void setRows(const QList<Row>& incoming)
    {
        QHash<QString, qsizetype> wanted;
        wanted.reserve(incoming.size());
        for (qsizetype i = 0; i < incoming.size(); ++i) {
            if (!wanted.contains(incoming.at(i).key)) {
                wanted.insert(incoming.at(i).key, i);
            }
        }

        // Remove vanished rows from the end, one contiguous run at a time.
        for (qsizetype end = m_rows.size() - 1; end >= 0;) {
            if (wanted.contains(m_rows.at(end).key)) {
                --end;
                continue;
            }
            qsizetype first = end;
            while (first > 0 && !wanted.contains(m_rows.at(first - 1).key)) {
                --first;
            }
            beginRemoveRows({}, int(first), int(end));
            m_rows.remove(first, end - first + 1);
            endRemoveRows();
            end = first - 1;
        }

        // Update the rows that stay, reporting each run of changed rows once.
        QHash<QString, bool> present;
        present.reserve(m_rows.size());
        qsizetype runStart = -1;
        for (qsizetype i = 0; i <= m_rows.size(); ++i) {
            bool changed = false;
            if (i < m_rows.size()) {
                const Row& next = incoming.at(wanted.value(m_rows.at(i).key));
                present.insert(next.key, true);
                if (!(next == m_rows.at(i))) {
                    m_rows[i] = next;
                    changed = true;
                }
            }
            if (changed && runStart < 0) {
                runStart = i;
            } else if (!changed && runStart >= 0) {
                emit this->dataChanged(this->index(int(runStart), 0), this->index(int(i - 1), 0));
                runStart = -1;
            }
        }

        // Append the new keys in the order given.
        QList<Row> added;
        for (qsizetype i = 0; i < incoming.size(); ++i) {
            const Row& row = incoming.at(i);
            if (!present.contains(row.key) && wanted.value(row.key) == i) {
                added.append(row);
            }
        }
        if (!added.isEmpty()) {
            beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + added.size() - 1));
            m_rows.append(added);
            endInsertRows();
        }

        m_index.clear();
        m_index.reserve(m_rows.size());
        for (qsizetype i = 0; i < m_rows.size(); ++i) {
            m_index.insert(m_rows.at(i).key, int(i));
        }
    }

private:
    QList<Row> m_rows;
    QHash<QString, int> m_index;
};
