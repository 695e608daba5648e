#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

/// One policy group as the core reports it. Built only from a /groups answer, never edited.
class FRWProxyGroup {
public:
    FRWProxyGroup() = default;
    FRWProxyGroup(QString name, QString type, QStringList members, QString selected);

    /// A missing or mistyped string reads as "", a missing member list as empty; members that are
    /// not strings are skipped.
    static FRWProxyGroup fromRecord(const QJsonObject& record);

    const QString& name() const { return m_name; }
    const QString& type() const { return m_type; }
    /// Member names in the core's order.
    const QStringList& members() const { return m_members; }
    const QString& selected() const { return m_selected; }

    bool operator==(const FRWProxyGroup& other) const = default;

private:
    QString m_name;
    QString m_type;
    QStringList m_members;
    QString m_selected;
};
