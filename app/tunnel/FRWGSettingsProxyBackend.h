#pragma once

#include "FRWSystemProxyBackend.h"

class FRWToolRunner;

/// The GNOME family's proxy settings (org.gnome.system.proxy, or MATE's org.mate.system.proxy)
/// through the `gsettings` tool. The settings have one mode for all kinds: a kind counts as on
/// while the mode is "manual" and the kind has a host.
class FRWGSettingsProxyBackend : public FRWSystemProxyBackend {
public:
    FRWGSettingsProxyBackend(FRWToolRunner& runner, QString serviceName, QString schema,
                             QString gsettingsPath = QStringLiteral("gsettings"));

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

private:
    QString schemaFor(FRWProxyKind kind) const;
    std::optional<QString> get(const QString& schema, const QString& key);
    bool set(const QString& schema, const QString& key, const QString& value);

    FRWToolRunner& m_runner;
    QString m_service;
    QString m_schema;
    QString m_gsettings;
};
