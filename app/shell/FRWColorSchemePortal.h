#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>

class FRWPortalSettingsInterface;

/// Reads and watches org.freedesktop.appearance color-scheme through the desktop portal.
/// Silent when no portal answers: the appearance then follows the palette.
class FRWColorSchemePortal : public QObject {
    Q_OBJECT
public:
    FRWColorSchemePortal(const QDBusConnection& bus, QObject* parent = nullptr);
    ~FRWColorSchemePortal() override;

    /// Subscribes to changes and asks for the current value once, asynchronously.
    void start();

signals:
    /// 0 no preference, 1 dark, 2 light (the portal's values).
    void colorSchemeChanged(uint value);

private:
    void settingChanged(const QString& ns, const QString& key, const QDBusVariant& value);

    QDBusConnection m_bus;
    FRWPortalSettingsInterface* m_settings = nullptr;
};
