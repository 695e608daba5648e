#include "FRWColorSchemePortal.h"

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

FRWColorSchemePortal::FRWColorSchemePortal(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus))
{
}

FRWColorSchemePortal::~FRWColorSchemePortal() = default;

void FRWColorSchemePortal::start()
{
    if (!m_bus.isConnected() || m_started) {
        return;
    }
    m_started = true;
    // QtDBus offers signal connections only with a slot named by its signature.
    m_bus.connect(QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
                  QString::fromLatin1(kSettingsInterface), QStringLiteral("SettingChanged"), this,
                  SLOT(settingChanged(QDBusMessage)));

    QDBusMessage read =
        QDBusMessage::createMethodCall(QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
                                       QString::fromLatin1(kSettingsInterface), QStringLiteral("Read"));
    read << QString::fromLatin1(kAppearanceNamespace) << QString::fromLatin1(kColorSchemeKey);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(read), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QVariant> reply = *w;
        if (reply.isValid()) {
            emit colorSchemeChanged(unwrapScheme(reply.value()));
        }
    });
}

void FRWColorSchemePortal::settingChanged(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() != 3) {
        return;
    }
    if (arguments[0].toString() == QLatin1String(kAppearanceNamespace) &&
        arguments[1].toString() == QLatin1String(kColorSchemeKey)) {
        emit colorSchemeChanged(unwrapScheme(arguments[2]));
    }
}
