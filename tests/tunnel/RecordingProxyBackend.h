#pragma once

#include <QMap>
#include <QStringList>

#include "FRWSystemProxyBackend.h"

/// An in-memory settings store that records every change and can be told to refuse them.
class RecordingProxyBackend : public FRWSystemProxyBackend {
public:
    struct Kind {
        bool enabled = false;
        QString server;
        QString port = QStringLiteral("0");
    };

    QString primaryNetworkService() override { return QStringLiteral("Test"); }

    std::optional<FRWProxyKindSettings> queryProxy(FRWProxyKind kind, const QString&) override
    {
        const Kind& k = kinds[kind];
        return FRWProxyKindSettings{
            {"Enabled", k.enabled ? "Yes" : "No"}, {"Server", k.server}, {"Port", k.port}};
    }

    bool setProxy(FRWProxyKind kind, const QString&, const QString& server, const QString& port) override
    {
        calls.append(QStringLiteral("set %1 %2:%3").arg(int(kind)).arg(server, port));
        if (refuseChanges) {
            return false;
        }
        kinds[kind].server = server;
        kinds[kind].port = port;
        return true;
    }

    bool setProxyState(FRWProxyKind kind, const QString&, bool enabled) override
    {
        calls.append(QStringLiteral("state %1 %2").arg(int(kind)).arg(enabled ? "on" : "off"));
        if (refuseChanges) {
            return false;
        }
        kinds[kind].enabled = enabled;
        return true;
    }

    QString queryBypassDomains(const QString&) override { return bypass.join('\n'); }

    bool setBypassDomains(const QString&, const QStringList& domains) override
    {
        calls.append(QStringLiteral("bypass ") + domains.join(','));
        if (refuseChanges) {
            return false;
        }
        bypass = domains;
        return true;
    }

    /// Every kind points at the local core.
    bool takenOver() const
    {
        for (const Kind& k : kinds) {
            if (!k.enabled || k.server != "127.0.0.1" || k.port != localPort) {
                return false;
            }
        }
        return kinds.size() == 3;
    }

    QMap<FRWProxyKind, Kind> kinds{
        {FRWProxyKind::Web, {}}, {FRWProxyKind::Secure, {}}, {FRWProxyKind::Socks, {}}};
    QStringList bypass;
    QStringList calls;
    bool refuseChanges = false;
    QString localPort = QStringLiteral("7891");
};
