#pragma once

#include <QIcon>
#include <QSortFilterProxyModel>

#include "FRWKeyedTableModel.h"

struct FRWClientGroup {
    QString key;
    QString title;
    QIcon icon;
    double rate = 0;
    qint64 total = 0;
    /// Bytes per day, oldest first, for a period; empty for the live view.
    QList<qint64> daily;
    bool operator==(const FRWClientGroup& other) const
    {
        return title == other.title && rate == other.rate && total == other.total && daily == other.daily &&
               icon.cacheKey() == other.icon.cacheKey();
    }
};

/// The client groups of the Process and Device pages, keyed by program or address.
class FRWClientsModel : public FRWKeyedTableModel<FRWClientGroup> {
    Q_OBJECT
public:
    enum Role { KeyRole = Qt::UserRole + 1, RateRole, TotalRole, DailyRole };

    using FRWKeyedTableModel::FRWKeyedTableModel;
    QVariant data(const QModelIndex& index, int role) const override;
};

/// Largest total first; equal totals by key, case ignored.
class FRWClientsOrder : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit FRWClientsOrder(QObject* parent = nullptr);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};
