#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QSortFilterProxyModel>

#include "FRWKeyedTableModel.h"

struct FRWConnectionRow {
    QString key;
    QJsonObject record;
    bool operator==(const FRWConnectionRow& other) const { return record == other.record; }
};

/// The core's connections keyed by their "id", updated in place on every poll.
class FRWConnectionsModel : public FRWKeyedTableModel<FRWConnectionRow> {
    Q_OBJECT
public:
    enum Role { RecordRole = Qt::UserRole + 1 };

    using FRWKeyedTableModel::FRWKeyedTableModel;

    /// Records without an id cannot be followed across polls; they get a key from their place.
    void setConnections(const QJsonArray& connections);
    QVariant data(const QModelIndex& index, int role) const override;
};

/// Open connections first, newest first within each state, and only those matching the filter
/// text in one of host, process, policy, rule, srcip, fakeip or network (case ignored).
class FRWConnectionsFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit FRWConnectionsFilter(QObject* parent = nullptr);

    QString query() const { return m_query; }
    void setQuery(const QString& query);
    QJsonObject recordAt(int row) const;

    static bool matches(const QJsonObject& record, const QString& lowerQuery);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString m_query;
    QString m_lowerQuery;
};
