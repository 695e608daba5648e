#pragma once

#include <functional>

#include <QDBusConnection>
#include <QObject>
#include <QString>

/// Where user notifications go. GUI thread.
class FRWNotificationCenter {
public:
    FRWNotificationCenter() = default;
    virtual ~FRWNotificationCenter() = default;
    FRWNotificationCenter(const FRWNotificationCenter&) = delete;
    FRWNotificationCenter& operator=(const FRWNotificationCenter&) = delete;

    /// Asks once whether notifications can be shown; `answer` runs once, on the GUI thread.
    virtual void requestAuthorization(std::function<void(bool granted)> answer) = 0;
    /// Shows one notification at once, with the default sound. `identifier` is unique, so no
    /// notification replaces another. The outcome is not reported.
    virtual void post(const QString& title, const QString& body, const QString& identifier) = 0;
};

/// The desktop's notification service, org.freedesktop.Notifications on the session bus. There is
/// no permission to ask for: notifications count as allowed when the service answers.
class FRWDesktopNotifications : public QObject, public FRWNotificationCenter {
    Q_OBJECT

public:
    explicit FRWDesktopNotifications(QDBusConnection bus, QObject* parent = nullptr);

    void requestAuthorization(std::function<void(bool)> answer) override;
    void post(const QString& title, const QString& body, const QString& identifier) override;

private:
    QDBusConnection m_bus;
};
