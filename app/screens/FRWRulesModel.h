#pragma once

#include <QAbstractTableModel>
#include <QVariantMap>

/// The Rules page's rows: type, value and policy. Rows move by drag and drop with the private
/// row type, and only between rows.
class FRWRulesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr char kRowMimeType[] = "zq.orbel.ferrow.rule-row";

    explicit FRWRulesModel(QObject* parent = nullptr);

    void setRules(QList<QVariantMap> rules);
    const QList<QVariantMap>& rules() const { return m_rules; }
    /// The row a drop at gap `gap` of a drag from row `source` ends in; -1 when it is refused.
    int moveTarget(int source, int gap) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

signals:
    /// A drop moved a rule from one row to another; the list is already reordered.
    void ruleMoved(int from, int to);

private:
    int sourceRow(const QMimeData* data) const;

    QList<QVariantMap> m_rules;
};
