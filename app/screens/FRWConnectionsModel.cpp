#include "FRWConnectionsModel.h"

#include <QHash>

#include "FRWScreenText.h"

void FRWConnectionsModel::setConnections(const QJsonArray& connections)
{
    QList<FRWConnectionRow> rows;
    rows.reserve(connections.size());
    // A core may repeat an id; every record is still a connection and is listed and counted.
    QHash<QString, int> repeats;
    for (qsizetype i = 0; i < connections.size(); ++i) {
        const QJsonObject record = connections.at(i).toObject();
        QString key = FRWScreenText::identityOf(record);
        if (key.isEmpty()) {
            key = QStringLiteral("#%1").arg(i);
        } else if (const int seen = repeats[key]++; seen > 0) {
            key += QStringLiteral("~%1").arg(seen);
        }
        rows.append({key, record});
    }
    setRows(rows);
}

QVariant FRWConnectionsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const QJsonObject& record = rowAt(index.row()).record;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: {
        const QString host = FRWScreenText::stringOf(record, "host");
        return host.isEmpty() ? FRWScreenText::noValue() : host;
    }
    case RecordRole:
        return record;
    default:
        return {};
    }
}

FRWConnectionsFilter::FRWConnectionsFilter(QObject* parent) : QSortFilterProxyModel(parent)
{
    setDynamicSortFilter(true);
    sort(0);
}

void FRWConnectionsFilter::setQuery(const QString& query)
{
    if (query == m_query) {
        return;
    }
    m_query = query;
    m_lowerQuery = query.toLower();
    invalidateFilter();
}

QJsonObject FRWConnectionsFilter::recordAt(int row) const
{
    return data(index(row, 0), FRWConnectionsModel::RecordRole).toJsonObject();
}

bool FRWConnectionsFilter::matches(const QJsonObject& record, const QString& lowerQuery)
{
    if (lowerQuery.isEmpty()) {
        return true;
    }
    static const char* const keys[] = {"host", "process", "policy", "rule", "srcip", "fakeip", "network"};
    for (const char* key : keys) {
        const QJsonValue value = record.value(QLatin1String(key));
        if (value.isString() && value.toString().toLower().contains(lowerQuery)) {
            return true;
        }
    }
    return false;
}

bool FRWConnectionsFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const auto* source = static_cast<const FRWConnectionsModel*>(sourceModel());
    const FRWConnectionRow& a = source->rowAt(left.row());
    const FRWConnectionRow& b = source->rowAt(right.row());
    const bool closedA = FRWScreenText::isClosed(a.record);
    const bool closedB = FRWScreenText::isClosed(b.record);
    if (closedA != closedB) {
        return !closedA;
    }
    const double startA = a.record.value(QLatin1String("start")).toDouble();
    const double startB = b.record.value(QLatin1String("start")).toDouble();
    if (startA != startB) {
        return startA > startB;
    }
    // Equal start times keep one order from poll to poll.
    return a.key < b.key;
}

bool FRWConnectionsFilter::filterAcceptsRow(int sourceRow, const QModelIndex& /*sourceParent*/) const
{
    const auto* source = static_cast<const FRWConnectionsModel*>(sourceModel());
    return matches(source->rowAt(sourceRow).record, m_lowerQuery);
}
