#pragma once

#include <functional>

#include <QString>
#include <QVariant>
#include <QVariantMap>

class FRWSystemProxyBackend;
class FRWUserDefaults;

/// Points the desktop's proxy settings at the local core and puts the user's own settings back.
/// The settings are backed up in the user settings ("FRWProxyService", "FRWProxyBackup") before
/// anything is changed, and the backup is kept until it has been written back completely, so the
/// system is never left pointing at a proxy that is not running. Blocking; usable from any one
/// thread at a time (a worker thread keeps the GUI responsive).
class FRWSystemProxy {
public:
    /// `coreRunning` tells whether the System Proxy core runs (orphan recovery leaves it alone then).
    FRWSystemProxy(FRWSystemProxyBackend& backend, FRWUserDefaults& defaults,
                   std::function<bool()> coreRunning, const QString& socksAddress);

    /// Takes over (true) or restores (false); true when the whole step succeeded.
    bool applySystemProxy(bool enable);
    QString primaryNetworkService();
    /// The scope an unfinished takeover changed; empty when nothing waits to be restored.
    QString takenOverService() const;
    /// Whether any proxy of the service is still on; a settings query that fails counts as on.
    bool systemProxyEnabledOn(const QString& service);
    QVariantMap snapshotProxyConfig(const QString& service);
    /// Writes a backup back (all kinds off when there is none); true when every step succeeded.
    bool restoreProxyConfig(const QVariantMap* backup, const QString& service);
    static bool hasAuthenticatedProxy(const QVariantMap* backup);
    /// Run once at launch: repairs a takeover that an earlier run left behind.
    void recoverOrphanedSystemProxy();

private:
    class Batch;
    bool takeOver();
    bool restore();
    void forgetTakeover();
    void putBack(const char* key, const QVariant& value);

    FRWSystemProxyBackend& m_backend;
    FRWUserDefaults& m_defaults;
    std::function<bool()> m_coreRunning;
    QString m_host;
    QString m_port;
    int m_batchDepth = 0;
};
