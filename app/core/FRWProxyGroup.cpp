#include "FRWProxyGroup.h"

#include <QJsonArray>

FRWProxyGroup::FRWProxyGroup(QString name, QString type, QStringList members, QString selected)
    : m_name(std::move(name))
    , m_type(std::move(type))
    , m_members(std::move(members))
    , m_selected(std::move(selected))
{
}

FRWProxyGroup FRWProxyGroup::fromRecord(const QJsonObject& record)
{
    const QJsonArray memberValues = record.value(QLatin1String("members")).toArray();
    QStringList members;
    members.reserve(memberValues.size());
    for (const QJsonValue member : memberValues) {
        if (member.isString()) {
            members.append(member.toString());
        }
    }
    return {record.value(QLatin1String("name")).toString(), record.value(QLatin1String("type")).toString(),
            std::move(members), record.value(QLatin1String("selected")).toString()};
}
