#pragma once

#include <QList>
#include <QStringList>
#include <QVariantMap>

/// The node and group edits behind the library's editing operations, on lists of editable records.
/// None of them checks names for uniqueness or validity: the editors do.
namespace FRWProfileEdits {

struct NodeFields {
    QString name;
    QString server;
    int port = 0;
    QString psk;
    QString tfo; ///< "off" when empty
};

/// Appends the node and lists it in every group that does not list it yet.
void addNode(QList<QVariantMap>& nodes, QList<QVariantMap>& groups, const NodeFields& node);
/// Sets the fields of every node named `oldName` (their extra options stay) and renames the
/// first reference in each group.
void updateNode(QList<QVariantMap>& nodes, QList<QVariantMap>& groups, const QString& oldName,
                const NodeFields& node);
/// Drops every node of the name and every reference to it.
void deleteNode(QList<QVariantMap>& nodes, QList<QVariantMap>& groups, const QString& name);
/// Replaces the first group of the name (keeping its other options) or appends a new one.
void addGroup(QList<QVariantMap>& groups, const QString& name, const QString& type,
              const QStringList& members, const QString& strategy);
/// Drops every group of the name and every reference to it.
void deleteGroup(QList<QVariantMap>& groups, const QString& name);

} // namespace FRWProfileEdits
