#include "FRWColorSchemePortal.h"

#include <QDBusAbstractInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {
constexpr char kPortalService[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr char kSettingsInterface[] = "org.freedesktop.portal.Settings";
constexpr char kAppearanceNamespace[] = "org.freedesktop.appearance";
constexpr char kColorSchemeKey[] = "color-scheme";

// The portal wraps the value in one or two variants depending on its version.
uint unwrapScheme(QVariant value)
{
    for (int depth = 0; depth < 3 && value.userType() == qMetaTypeId<QDBusVariant>(); ++depth) {
        value = value.value<QDBusVariant>().variant();
    }
    bool ok = false;
    const uint scheme = value.toUInt(&ok);
    return ok ? scheme : 0;
}
} // namespace

// A typed proxy, so the portal's signal is connected with a checked signature.
class FRWPortalSettingsInterface : public QDBusAbstractInterface {
    Q_OBJECT
public:
    FRWPortalSettingsInterface(const QDBusConnection& bus, QObject* parent)
        : QDBusAbstractInterface(kPortalService, kPortalPath, kSettingsInterface, bus, parent)
    {
    }
signals:
    void SettingChanged(const QString& ns, const QString& key, const QDBusVariant& value);
};

FRWColorSchemePortal::FRWColorSchemePortal(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus)
{
}

FRWColorSchemePortal::~FRWColorSchemePortal() = default;

void FRWColorSchemePortal::start()
{
    if (!m_bus.isConnected() || m_settings) {
        return;
    }
    m_settings = new FRWPortalSettingsInterface(m_bus, this);
    connect(m_settings, &FRWPortalSettingsInterface::SettingChanged, this,
            &FRWColorSchemePortal::settingChanged);
    QDBusPendingCall call =
        m_settings->asyncCall(QStringLiteral("Read"), QString::fromLatin1(kAppearanceNamespace),
                              QString::fromLatin1(kColorSchemeKey));
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QVariant> reply = *w;
        if (reply.isValid()) {
            emit colorSchemeChanged(unwrapScheme(reply.value()));
        }
    });
}

void FRWColorSchemePortal::settingChanged(const QString& ns, const QString& key, const QDBusVariant& value)
{
    if (ns == QLatin1String(kAppearanceNamespace) && key == QLatin1String(kColorSchemeKey)) {
        emit colorSchemeChanged(unwrapScheme(value.variant()));
    }
}

#include "FRWColorSchemePortal.moc"
