#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

/// Reads and watches org.freedesktop.appearance color-scheme through the desktop portal.
/// Silent when no portal answers: the appearance then follows the palette.
class FRWColorSchemePortal : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FRWColorSchemePortal)

public:
    FRWColorSchemePortal(QDBusConnection bus, QObject* parent = nullptr);
    ~FRWColorSchemePortal() override;

    /// Subscribes to changes and asks for the current value once, asynchronously.
    void start();

signals:
    /// 0 no preference, 1 dark, 2 light (the portal's values).
    void colorSchemeChanged(uint value);

private slots:
    void settingChanged(const QDBusMessage& message);

private:
    QDBusConnection m_bus;
    bool m_started = false;
};
