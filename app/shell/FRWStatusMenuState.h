#pragma once

#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include "FRWProxyGroup.h"

/// Everything the status menu shows, taken from the app model and the profile library at the
/// moment the menu opens; the menu is not refreshed while it is open.
struct FRWStatusMenuState {
    struct Profile {
        QString identifier;
        QString name;
    };

    QString outboundMode = QStringLiteral("rule");
    QString outboundGlobalNode;
    QStringList outboundNodes;
    QList<FRWProxyGroup> groups;
    QHash<QString, int> nodeLatencies;
    QSet<QString> nodesTesting;
    QJsonArray connections;
    bool systemProxyRunning = false;
    bool enhancedRunning = false;
    QList<Profile> profiles;
    QString activeProfileIdentifier;
    /// The external resources window exists (it comes with its own screen).
    bool externalResourcesAvailable = false;
};
