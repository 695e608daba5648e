#include "FRWOtherAccounts.h"

#include <unistd.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace {

constexpr char kService[] = "org.freedesktop.login1";
constexpr char kManagerPath[] = "/org/freedesktop/login1";
constexpr char kManager[] = "org.freedesktop.login1.Manager";
constexpr char kSession[] = "org.freedesktop.login1.Session";
constexpr int kCallTimeoutMs = 1000;

struct SessionEntry {
    uint uid = 0;
    QString user;
    QString path;
};

// ListSessions answers a(susso): id, uid, user name, seat, object path.
QList<SessionEntry> sessionsIn(const QDBusMessage& reply)
{
    QList<SessionEntry> sessions;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return sessions;
    }
    const QVariant first = reply.arguments().constFirst();
    if (!first.canConvert<QDBusArgument>()) {
        return sessions;
    }
    const auto argument = first.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a(susso)")) {
        return sessions;
    }
    argument.beginArray();
    while (!argument.atEnd()) {
        SessionEntry entry;
        QString id;
        QString seat;
        QDBusObjectPath path;
        argument.beginStructure();
        argument >> id >> entry.uid >> entry.user >> seat >> path;
        argument.endStructure();
        entry.path = path.path();
        sessions.append(entry);
    }
    argument.endArray();
    return sessions;
}

} // namespace

FRWOtherAccounts::FRWOtherAccounts(QDBusConnection bus, uint ownUid) : m_bus(std::move(bus)), m_ownUid(ownUid)
{
}

FRWOtherAccounts FRWOtherAccounts::system()
{
    return {QDBusConnection::systemBus(), static_cast<uint>(::getuid())};
}

QStringList FRWOtherAccounts::loggedIn() const
{
    if (!m_bus.isConnected()) {
        return {};
    }
    const auto call = [this](const QString& path, const QString& interface, const QString& method,
                             const QVariantList& arguments) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(QLatin1String(kService), path, interface, method);
        message.setArguments(arguments);
        return m_bus.call(message, QDBus::Block, kCallTimeoutMs);
    };
    const auto property = [&call](const QString& path, const QString& name) {
        const QDBusMessage reply = call(path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                        QStringLiteral("Get"), {QLatin1String(kSession), name});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            return QString();
        }
        return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toString();
    };

    QStringList names;
    const QList<SessionEntry> sessions = sessionsIn(
        call(QLatin1String(kManagerPath), QLatin1String(kManager), QStringLiteral("ListSessions"), {}));
    for (const SessionEntry& session : sessions) {
        // Root already sees everything, and a login screen is nobody's traffic.
        if (session.uid == m_ownUid || session.uid == 0 || session.user.isEmpty() ||
            names.contains(session.user)) {
            continue;
        }
        if (property(session.path, QStringLiteral("Class")) != u"user") {
            continue;
        }
        const QString state = property(session.path, QStringLiteral("State"));
        if (state != u"active" && state != u"online") {
            continue;
        }
        names.append(session.user);
    }
    names.sort();
    return names;
}
