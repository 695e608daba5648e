#pragma once

#include <memory>

#include "FRWSystemProxyBackend.h"

/// A settings store whose every change is repeated in a second one: on KDE the proxy lives in
/// kioslaverc, but browsers read the GNOME settings. The first store is the one queried; the
/// mirror takes part only when it is present on the system.
class FRWMirroredProxyBackend : public FRWSystemProxyBackend {
public:
    FRWMirroredProxyBackend(std::unique_ptr<FRWSystemProxyBackend> primary,
                            std::unique_ptr<FRWSystemProxyBackend> mirror);

    QString primaryNetworkService() override;
    std::optional<FRWProxyKindSettings> queryProxy(FRWProxyKind kind, const QString& service) override;
    bool setProxy(FRWProxyKind kind, const QString& service, const QString& server,
                  const QString& port) override;
    bool setProxyState(FRWProxyKind kind, const QString& service, bool enabled) override;
    QString queryBypassDomains(const QString& service) override;
    bool setBypassDomains(const QString& service, const QStringList& domains) override;
    QVariantMap snapshotExtras(const QString& service) override;
    bool restoreExtras(const QString& service, const QVariantMap& extras) override;
    void beginBatch() override;
    bool endBatch() override;

private:
    /// The mirror's own service name; empty when the mirror is not there.
    QString mirrorService();

    std::unique_ptr<FRWSystemProxyBackend> m_primary;
    std::unique_ptr<FRWSystemProxyBackend> m_mirror;
    std::optional<QString> m_mirrorService;
};
