#pragma once

#include <functional>
#include <map>
#include <variant>

#include "FRWSystemProxyBackend.h"

class FRWToolRunner;

/// KDE Plasma's proxy settings: the "Proxy Settings" group of kioslaverc, written with
/// kwriteconfig and read with kreadconfig, followed by the signal that makes KIO re-read them.
class FRWKDEProxyBackend : public FRWSystemProxyBackend {
public:
    struct Tools {
        QString kwriteconfig = QStringLiteral("kwriteconfig5");
        QString kreadconfig = QStringLiteral("kreadconfig5");
        QString file = QStringLiteral("kioslaverc");
    };

    FRWKDEProxyBackend(FRWToolRunner& runner, Tools tools, std::function<void()> notifyChanged);

    /// Sends org.kde.KIO.Scheduler.reparseSlaveConfiguration on the session bus.
    static void sendReparseSignal();
    /// The tools of the installed Plasma (kwriteconfig6 before kwriteconfig5).
    static Tools installedTools();

    QString primaryNetworkService() override;
    std::optional<FRWProxyKindSettings> queryProxy(FRWProxyKind kind, const QString& service) override;
    bool setProxy(FRWProxyKind kind, const QString& service, const QString& server,
                  const QString& port) override;
    bool setProxyState(FRWProxyKind kind, const QString& service, bool enabled) override;
    QString queryBypassDomains(const QString& service) override;
    bool setBypassDomains(const QString& service, const QStringList& domains) override;
    QVariantMap snapshotExtras(const QString& service) override;
    bool restoreExtras(const QString& service, const QVariantMap& extras) override;
    /// Within a batch every key is read once, a write of the value the key already holds is
    /// skipped, and KIO hears of the changes once at the end.
    void beginBatch() override;
    bool endBatch() override;

    struct ProxyAddress {
        QString host;
        QString port;
        bool hasCredentials = false;
    };
    /// Reads "http://host port", "socks://user@host:port" and the like.
    static ProxyAddress parseProxyAddress(const QString& value);

private:
    enum class Entry { Absent, Failed };
    /// The key's value; Absent when the key is not in the file, Failed when it cannot be read.
    std::variant<QString, Entry> read(const QString& key);
    std::optional<QString> readOrEmpty(const QString& key);
    bool write(const QString& key, const QString& value);
    bool remove(const QString& key);
    void changed();

    FRWToolRunner& m_runner;
    Tools m_tools;
    std::function<void()> m_notifyChanged;
    int m_batchDepth = 0;
    bool m_changedInBatch = false;
    std::map<QString, std::variant<QString, Entry>> m_known;
};
