#include "FRWSystemProxyBackends.h"

#include "FRWGSettingsProxyBackend.h"
#include "FRWKDEProxyBackend.h"
#include "FRWMirroredProxyBackend.h"
#include "FRWToolRunner.h"

namespace FRWSystemProxyBackends {

namespace {

/// A session whose proxy settings Ferrow cannot change: there is nothing to take over.
class UnsupportedDesktopBackend : public FRWSystemProxyBackend {
public:
    QString primaryNetworkService() override { return {}; }
    std::optional<FRWProxyKindSettings> queryProxy(FRWProxyKind, const QString&) override
    {
        return std::nullopt;
    }
    bool setProxy(FRWProxyKind, const QString&, const QString&, const QString&) override { return false; }
    bool setProxyState(FRWProxyKind, const QString&, bool) override { return false; }
    QString queryBypassDomains(const QString&) override { return {}; }
    bool setBypassDomains(const QString&, const QStringList&) override { return false; }
};

} // namespace

Desktop desktopOf(const QProcessEnvironment& environment)
{
    const QStringList desktops =
        environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")).toUpper().split(u':', Qt::SkipEmptyParts);
    for (const QString& desktop : desktops) {
        if (desktop == u"KDE") {
            return Desktop::KDE;
        }
        if (desktop == u"MATE") {
            return Desktop::MATE;
        }
        if (desktop == u"GNOME" || desktop == u"UNITY" || desktop == u"CINNAMON" ||
            desktop == u"X-CINNAMON" || desktop == u"BUDGIE" || desktop == u"PANTHEON") {
            return Desktop::GNOME;
        }
    }
    return Desktop::Unsupported;
}

std::unique_ptr<FRWSystemProxyBackend> forSession(FRWToolRunner& runner,
                                                  const QProcessEnvironment& environment)
{
    const auto gnome = [] {
        return std::make_unique<FRWGSettingsProxyBackend>(
            QStringLiteral("GNOME"), QLatin1String(FRWGSettingsProxyBackend::kGnomeSchema));
    };
    switch (desktopOf(environment)) {
    case Desktop::GNOME:
        return gnome();
    case Desktop::MATE:
        return std::make_unique<FRWGSettingsProxyBackend>(
            QStringLiteral("MATE"), QLatin1String(FRWGSettingsProxyBackend::kMateSchema));
    case Desktop::KDE:
        return std::make_unique<FRWMirroredProxyBackend>(
            std::make_unique<FRWKDEProxyBackend>(runner, FRWKDEProxyBackend::installedTools(),
                                                 &FRWKDEProxyBackend::sendReparseSignal),
            gnome());
    case Desktop::Unsupported:
        break;
    }
    return std::make_unique<UnsupportedDesktopBackend>();
}

} // namespace FRWSystemProxyBackends
