#pragma once

#include <memory>

#include "FRWSystemProxyBackend.h"

// NOLINTNEXTLINE(bugprone-reserved-identifier): the struct tag is GLib's own name
using GSettingsBackend = struct _GSettingsBackend;

/// The GNOME family's proxy settings (org.gnome.system.proxy, or MATE's org.mate.system.proxy)
/// through GIO's GSettings in process. The settings have one mode for all kinds: a kind counts as
/// on while the mode is "manual" and the kind has a host. Holds no thread-bound state: every call
/// opens its settings objects on the calling thread.
class FRWGSettingsProxyBackend : public FRWSystemProxyBackend {
public:
    /// `store` is the settings backend to use (a keyfile in tests); null means the session's own.
    FRWGSettingsProxyBackend(QString serviceName, QString schema, GSettingsBackend* store = nullptr);
    ~FRWGSettingsProxyBackend() override;
    FRWGSettingsProxyBackend(const FRWGSettingsProxyBackend&) = delete;
    FRWGSettingsProxyBackend& operator=(const FRWGSettingsProxyBackend&) = delete;

    static constexpr char kGnomeSchema[] = "org.gnome.system.proxy";
    static constexpr char kMateSchema[] = "org.mate.system.proxy";

    QString primaryNetworkService() override;
    std::optional<FRWProxyKindSettings> queryProxy(FRWProxyKind kind, const QString& service) override;
    bool setProxy(FRWProxyKind kind, const QString& service, const QString& server,
                  const QString& port) override;
    bool setProxyState(FRWProxyKind kind, const QString& service, bool enabled) override;
    QString queryBypassDomains(const QString& service) override;
    bool setBypassDomains(const QString& service, const QStringList& domains) override;
    QVariantMap snapshotExtras(const QString& service) override;
    bool restoreExtras(const QString& service, const QVariantMap& extras) override;
    /// Within a batch the writes of each schema are applied together at the end; `endBatch` waits
    /// until they have reached the store, so that a restore just before quitting holds.
    void beginBatch() override;
    bool endBatch() override;

private:
    class Settings;
    struct Open;
    QString schemaFor(FRWProxyKind kind) const;
    std::shared_ptr<Settings> open(const QString& schemaId);

    QString m_service;
    QString m_schema;
    GSettingsBackend* m_store;
    int m_batchDepth = 0;
    std::unique_ptr<Open> m_open;
};
