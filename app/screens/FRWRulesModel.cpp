#include "FRWRulesModel.h"

#include <QMimeData>

namespace {
const QStringList kColumns{QStringLiteral("type"), QStringLiteral("value"), QStringLiteral("policy")};
const char* const kTitles[] = {QT_TRANSLATE_NOOP("FRWRulesModel", "Type"),
                               QT_TRANSLATE_NOOP("FRWRulesModel", "Value"),
                               QT_TRANSLATE_NOOP("FRWRulesModel", "Policy")};
} // namespace

FRWRulesModel::FRWRulesModel(QObject* parent) : QAbstractTableModel(parent)
{
}

void FRWRulesModel::setRules(QList<QVariantMap> rules)
{
    beginResetModel();
    m_rules = std::move(rules);
    endResetModel();
}

int FRWRulesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rules.size());
}

int FRWRulesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(kColumns.size());
}

QVariant FRWRulesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rules.size() || index.column() >= kColumns.size()) {
        return {};
    }
    const QString text = m_rules[index.row()].value(kColumns[index.column()]).toString();
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && index.column() == 1)) {
        return text;
    }
    // A rule without a value (FINAL) has an empty cell; a reader still needs something to say.
    if (role == Qt::AccessibleTextRole) {
        return text.isEmpty() ? tr("none") : text;
    }
    return {};
}

QVariant FRWRulesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < static_cast<int>(std::size(kTitles))) {
        return tr(kTitles[section]);
    }
    return {};
}

Qt::ItemFlags FRWRulesModel::flags(const QModelIndex& index) const
{
    // Rows are drag sources but never drop targets: drops land between rows only.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled
                           : Qt::ItemIsDropEnabled;
}

QStringList FRWRulesModel::mimeTypes() const
{
    return {QString::fromLatin1(kRowMimeType)};
}

QMimeData* FRWRulesModel::mimeData(const QModelIndexList& indexes) const
{
    if (indexes.isEmpty()) {
        return nullptr;
    }
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kRowMimeType), QByteArray::number(indexes.first().row()));
    return data;
}

int FRWRulesModel::sourceRow(const QMimeData* data) const
{
    if (!data || !data->hasFormat(QString::fromLatin1(kRowMimeType))) {
        return -1;
    }
    bool ok = false;
    const int row = data->data(QString::fromLatin1(kRowMimeType)).toInt(&ok);
    return ok && row >= 0 && row < m_rules.size() ? row : -1;
}

int FRWRulesModel::moveTarget(int source, int gap) const
{
    if (source < 0 || source >= m_rules.size() || gap < 0 || gap > m_rules.size()) {
        return -1;
    }
    const int target = gap > source ? gap - 1 : gap;
    return target == source ? -1 : target;
}

bool FRWRulesModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                    const QModelIndex& parent) const
{
    // A drop onto a row arrives with a valid parent; between rows (or past the end) it does not.
    if (action != Qt::MoveAction || parent.isValid()) {
        return false;
    }
    const int gap = row < 0 ? static_cast<int>(m_rules.size()) : row;
    return moveTarget(sourceRow(data), gap) >= 0;
}

bool FRWRulesModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                 const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent)) {
        return false;
    }
    const int source = sourceRow(data);
    const int target = moveTarget(source, row < 0 ? static_cast<int>(m_rules.size()) : row);
    beginResetModel();
    m_rules.move(source, target);
    endResetModel();
    emit ruleMoved(source, target);
    // The move is done here; returning false keeps the view from removing the source row again.
    return false;
}
