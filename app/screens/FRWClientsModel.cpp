#include "FRWClientsModel.h"

QVariant FRWClientsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const FRWClientGroup& group = rowAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return group.title;
    case Qt::DecorationRole:
        return group.icon;
    case KeyRole:
        return group.key;
    case RateRole:
        return group.rate;
    case TotalRole:
        return group.total;
    case DailyRole:
        return QVariant::fromValue(group.daily);
    default:
        return {};
    }
}

FRWClientsOrder::FRWClientsOrder(QObject* parent) : QSortFilterProxyModel(parent)
{
    setDynamicSortFilter(true);
}

bool FRWClientsOrder::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const auto* source = static_cast<const FRWClientsModel*>(sourceModel());
    const FRWClientGroup& a = source->rowAt(left.row());
    const FRWClientGroup& b = source->rowAt(right.row());
    if (a.total != b.total) {
        return a.total > b.total;
    }
    const int byKey = a.key.compare(b.key, Qt::CaseInsensitive);
    return byKey != 0 ? byKey < 0 : a.key < b.key;
}
