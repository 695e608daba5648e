#pragma once

#include <optional>

#include <QString>
#include <QStringList>
#include <QVariantMap>

/// The three kinds of proxy a desktop's settings hold.
enum class FRWProxyKind { Web, Secure, Socks };

/// One kind's settings as the store holds them.
struct FRWProxyKindSettings {
    bool enabled = false;
    QString server;
    /// As the store writes it; empty or "0" when none is set.
    QString port;
    /// Credentials are configured: such a proxy is never replaced.
    bool authenticated = false;
};

/// The operating-system side of the proxy takeover: one implementation per settings store. The
/// "service" is the scope whose settings are taken over (a network service, or a desktop's proxy
/// settings such as "GNOME").
class FRWSystemProxyBackend {
public:
    FRWSystemProxyBackend() = default;
    virtual ~FRWSystemProxyBackend() = default;
    FRWSystemProxyBackend(const FRWSystemProxyBackend&) = delete;
    FRWSystemProxyBackend& operator=(const FRWSystemProxyBackend&) = delete;

    /// The scope to take over; empty when there is none.
    virtual QString primaryNetworkService() = 0;
    /// One kind's settings; nothing when they could not be read.
    virtual std::optional<FRWProxyKindSettings> queryProxy(FRWProxyKind kind, const QString& service) = 0;
    virtual bool setProxy(FRWProxyKind kind, const QString& service, const QString& server,
                          const QString& port) = 0;
    virtual bool setProxyState(FRWProxyKind kind, const QString& service, bool enabled) = 0;
    /// The bypass list as text, one domain per line (a store may add explanatory sentences).
    virtual QString queryBypassDomains(const QString& service) = 0;
    /// Replaces the bypass list; an empty list clears it.
    virtual bool setBypassDomains(const QString& service, const QStringList& domains) = 0;

    /// Whatever else the store needs to put the user's settings back exactly (a PAC setup, values
    /// of switched-off proxies); applied after the kinds and the bypass list when restoring.
    virtual QVariantMap snapshotExtras(const QString& service);
    virtual bool restoreExtras(const QString& service, const QVariantMap& extras);

    /// One takeover, restore or query runs between these two calls: a store may keep what it read
    /// meanwhile, and must have written everything when `endBatch` returns (false when it could not).
    virtual void beginBatch() {}
    virtual bool endBatch() { return true; }
};
