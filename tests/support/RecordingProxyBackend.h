#pragma once

#include <QMap>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QWaitCondition>

#include "FRWSystemProxyBackend.h"

/// An in-memory settings store that records every change and can be told to refuse them. The
/// service "Test" keeps its settings in `kinds` and `bypass`; any other service in `others`.
/// The controller works it from its worker thread while a test may poll `takenOver`.
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
        const QMutexLocker lock(&mutex);
        const Kind& k = kindsOf(service)[kind];
        return FRWProxyKindSettings{k.enabled, k.server, k.port, false};
    }

    bool setProxy(FRWProxyKind kind, const QString& service, const QString& server,
                  const QString& port) override
    {
        const QMutexLocker lock(&mutex);
        calls.append(QStringLiteral("set %1 %2:%3").arg(int(kind)).arg(server, port));
        if (holding) {
            // A slow settings store: waits here until the test lets it go (never past 10 s).
            heldNow = true;
            gate.wait(&mutex, QDeadlineTimer(10000));
            holding = heldNow = false;
        }
        if (refuseChanges) {
            return false;
        }
        kindsOf(service)[kind].server = server;
        kindsOf(service)[kind].port = port;
        return true;
    }

    bool setProxyState(FRWProxyKind kind, const QString& service, bool enabled) override
    {
        const QMutexLocker lock(&mutex);
        calls.append(QStringLiteral("state %1 %2").arg(int(kind)).arg(enabled ? "on" : "off"));
        if (refuseChanges) {
            return false;
        }
        kindsOf(service)[kind].enabled = enabled;
        return true;
    }

    QString queryBypassDomains(const QString& service) override
    {
        const QMutexLocker lock(&mutex);
        return bypassOf(service).join('\n');
    }

    bool setBypassDomains(const QString& service, const QStringList& domains) override
    {
        const QMutexLocker lock(&mutex);
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
        const QMutexLocker lock(&mutex);
        for (const Kind& k : kinds) {
            if (!k.enabled || k.server != "127.0.0.1" || k.port != localPort) {
                return false;
            }
        }
        return kinds.size() == 3;
    }

    void holdChanges()
    {
        const QMutexLocker lock(&mutex);
        holding = true;
    }
    bool held() const
    {
        const QMutexLocker lock(&mutex);
        return heldNow;
    }
    void release()
    {
        const QMutexLocker lock(&mutex);
        holding = false;
        gate.wakeAll();
    }

    QString primary = QStringLiteral("Test");
    Kinds kinds = Service().kinds;
    QStringList bypass;
    QMap<QString, Service> others;
    QStringList calls;
    bool refuseChanges = false;
    QString localPort = QStringLiteral("7891");
    mutable QMutex mutex;
    QWaitCondition gate;
    bool holding = false;
    bool heldNow = false;
};
