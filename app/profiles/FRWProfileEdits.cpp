#include "FRWProfileEdits.h"

namespace FRWProfileEdits {

namespace {

const QString kName = QStringLiteral("name");
const QString kMembers = QStringLiteral("members");

void setNodeFields(QVariantMap& record, const NodeFields& node)
{
    record.insert(kName, node.name);
    record.insert(QStringLiteral("server"), node.server);
    record.insert(QStringLiteral("port"), QString::number(node.port));
    record.insert(QStringLiteral("psk"), node.psk);
    record.insert(QStringLiteral("tfo"), node.tfo.isEmpty() ? QStringLiteral("off") : node.tfo);
}

bool isNamed(const QVariantMap& record, const QString& name)
{
    return record.value(kName).toString() == name;
}

template <typename Change>
void changeMembers(QList<QVariantMap>& groups, Change&& change)
{
    for (QVariantMap& group : groups) {
        QStringList members = group.value(kMembers).toStringList();
        if (change(members)) {
            group.insert(kMembers, members);
        }
    }
}

void removeReferences(QList<QVariantMap>& groups, const QString& name)
{
    changeMembers(groups, [&](QStringList& members) { return members.removeAll(name) > 0; });
}

} // namespace

void addNode(QList<QVariantMap>& nodes, QList<QVariantMap>& groups, const NodeFields& node)
{
    QVariantMap record{{QStringLiteral("extra"), QVariantMap()}};
    setNodeFields(record, node);
    nodes.append(record);
    changeMembers(groups, [&](QStringList& members) {
        if (members.contains(node.name)) {
            return false;
        }
        members.append(node.name);
        return true;
    });
}

void updateNode(QList<QVariantMap>& nodes, QList<QVariantMap>& groups, const QString& oldName,
                const NodeFields& node)
{
    for (QVariantMap& record : nodes) {
        if (isNamed(record, oldName)) {
            setNodeFields(record, node);
        }
    }
    changeMembers(groups, [&](QStringList& members) {
        const qsizetype index = members.indexOf(oldName);
        if (index < 0) {
            return false;
        }
        members[index] = node.name;
        return true;
    });
}

void deleteNode(QList<QVariantMap>& nodes, QList<QVariantMap>& groups, const QString& name)
{
    nodes.removeIf([&](const QVariantMap& record) { return isNamed(record, name); });
    removeReferences(groups, name);
}

void addGroup(QList<QVariantMap>& groups, const QString& name, const QString& type,
              const QStringList& members, const QString& strategy)
{
    const auto existing = std::find_if(groups.begin(), groups.end(),
                                       [&](const QVariantMap& group) { return isNamed(group, name); });
    if (existing != groups.end()) {
        existing->insert(QStringLiteral("type"), type);
        existing->insert(kMembers, members);
        existing->insert(QStringLiteral("strategy"), strategy);
        return;
    }
    groups.append(QVariantMap{{kName, name},
                              {QStringLiteral("type"), type},
                              {QStringLiteral("strategy"), strategy},
                              {QStringLiteral("options"), QVariantMap()},
                              {kMembers, members}});
}

void deleteGroup(QList<QVariantMap>& groups, const QString& name)
{
    groups.removeIf([&](const QVariantMap& group) { return isNamed(group, name); });
    removeReferences(groups, name);
}

} // namespace FRWProfileEdits
