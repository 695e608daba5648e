#pragma once

#include "FRWSystemProxyBackend.h"

class FRWToolRunner;

/// The macOS settings store, driven through `networksetup` and `route`. Kept for a macOS build of
/// Ferrow; the tool paths are injectable so it can be tested against fakes.
class FRWNetworksetupBackend : public FRWSystemProxyBackend {
public:
    explicit FRWNetworksetupBackend(FRWToolRunner& runner,
                                    QString networksetupPath = QStringLiteral("/usr/sbin/networksetup"),
                                    QString routePath = QStringLiteral("/sbin/route"));

    QString primaryNetworkService() override;
    std::optional<FRWProxyKindSettings> queryProxy(FRWProxyKind kind, const QString& service) override;
    bool setProxy(FRWProxyKind kind, const QString& service, const QString& server,
                  const QString& port) override;
    bool setProxyState(FRWProxyKind kind, const QString& service, bool enabled) override;
    QString queryBypassDomains(const QString& service) override;
    bool setBypassDomains(const QString& service, const QStringList& domains) override;

    /// Runs networksetup; logs and returns false on a non-zero status.
    bool networksetup(const QStringList& arguments);
    /// "Key: Value" lines of a query's output.
    static FRWProxyKindSettings parseSettings(const QString& output);

private:
    FRWToolRunner& m_runner;
    QString m_networksetup;
    QString m_route;
};
