#include "FRWNotificationCenter.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "FRWNames.h"

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
constexpr int kAnswerTimeoutMs = 5000;

QDBusMessage callTo(const char* method)
{
    return QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                          QLatin1String(kInterface), QLatin1String(method));
}

} // namespace

FRWDesktopNotifications::FRWDesktopNotifications(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus))
{
}

void FRWDesktopNotifications::requestAuthorization(std::function<void(bool)> answer)
{
    if (!m_bus.isConnected()) {
        QMetaObject::invokeMethod(
            this, [answer] { answer(false); }, Qt::QueuedConnection);
        return;
    }
    auto* watcher =
        new QDBusPendingCallWatcher(m_bus.asyncCall(callTo("GetCapabilities"), kAnswerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, answer] {
        watcher->deleteLater();
        answer(!watcher->isError());
    });
}

void FRWDesktopNotifications::post(const QString& title, const QString& body, const QString& identifier)
{
    QDBusMessage message = callTo("Notify");
    const QVariantMap hints{
        {QStringLiteral("sound-name"), QStringLiteral("message-new-instant")},
        {QStringLiteral("x-ferrow-identifier"), identifier},
    };
    // app name, replaces id (0: a new one), icon, summary, body, actions, hints, expiry (server's default)
    message.setArguments({QStringLiteral("Ferrow"), 0U, QLatin1String(ferrow::kApplicationIdentifier), title,
                          body, QStringList(), hints, -1});
    m_bus.asyncCall(message);
}
