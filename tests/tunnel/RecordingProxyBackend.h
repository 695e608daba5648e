#pragma once

#include <QMap>
#include <QStringList>

#include "FRWSystemProxyBackend.h"

/// An in-memory settings store that records every change and can be told to refuse them. The
/// service "Test" keeps its settings in `kinds` and `bypass`; any other service in `others`.
class RecordingProxyBackend : public FRWSystemProxyBackend {
public:
    struct Kind {
        bool enabled = false;
        QString server;
        QString port = QStringLiteral("0");
    };
    using Kinds = QMap<FRWProxyKind, Kind>;
    struct Service {
        Kinds kinds{{FRWProxyKind::Web, {}}, {FRWProxyKind::Secure, {}}, {FRWProxyKind::Socks, {}}};
        QStringList bypass;
    };

    QString primaryNetworkService() override { return primary; }

    Kinds& kindsOf(const QString& service) { return service == u"Test" ? kinds : others[service].kinds; }
    QStringList& bypassOf(const QString& service)
    {
        return service == u"Test" ? bypass : others[service].bypass;
    }

    std::optional<FRWProxyKindSettings> queryProxy(FRWProxyKind kind, const QString& service) override
    {
        const Kind& k = kindsOf(service)[kind];
        return FRWProxyKindSettings{
            {"Enabled", k.enabled ? "Yes" : "No"}, {"Server", k.server}, {"Port", k.port}};
    }

    bool setProxy(FRWProxyKind kind, const QString& service, const QString& server,
                  const QString& port) override
    {
        calls.append(QStringLiteral("set %1 %2:%3").arg(int(kind)).arg(server, port));
        if (refuseChanges) {
            return false;
        }
        kindsOf(service)[kind].server = server;
        kindsOf(service)[kind].port = port;
        return true;
    }

    bool setProxyState(FRWProxyKind kind, const QString& service, bool enabled) override
    {
        calls.append(QStringLiteral("state %1 %2").arg(int(kind)).arg(enabled ? "on" : "off"));
        if (refuseChanges) {
            return false;
        }
        kindsOf(service)[kind].enabled = enabled;
        return true;
    }

    QString queryBypassDomains(const QString& service) override { return bypassOf(service).join('\n'); }

    bool setBypassDomains(const QString& service, const QStringList& domains) override
    {
        calls.append(QStringLiteral("bypass ") + domains.join(','));
        if (refuseChanges) {
            return false;
        }
        bypassOf(service) = domains;
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

    QString primary = QStringLiteral("Test");
    Kinds kinds = Service().kinds;
    QStringList bypass;
    QMap<QString, Service> others;
    QStringList calls;
    bool refuseChanges = false;
    QString localPort = QStringLiteral("7891");
};
