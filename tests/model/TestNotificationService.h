#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

/// A small org.freedesktop.Notifications service on its own bus connection, keeping what it is
/// asked to show.
class TestNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Shown {
        QString appName;
        uint replacesId = 0;
        QString icon;
        QString summary;
        QString body;
        QVariantMap hints;
    };

    /// Registers the service; false when the bus refused it.
    bool registerOn(const QDBusConnection& bus)
    {
        m_bus = bus;
        return m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                    QDBusConnection::ExportAllSlots) &&
               m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }

    QList<Shown> shown;

public slots:
    QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("sound")}; }

    uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& /*actions*/, const QVariantMap& hints, int /*expiry*/)
    {
        shown.append({appName, replacesId, icon, summary, body, hints});
        return uint(shown.size());
    }

private:
    QDBusConnection m_bus{QStringLiteral("unset")};
};
