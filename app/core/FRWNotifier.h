#pragma once

#include <functional>

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>

class FRWNotificationCenter;
class QTimer;

/// Follows the core's numbered event stream and shows each new event as a desktop notification.
/// The first answer after launch only takes the cursor; the cursor moves on even when events are
/// dropped, so nothing is shown twice or late; at most one fetch is in flight. GUI thread.
class FRWNotifier : public QObject {
    Q_OBJECT

public:
    using EventsFetcher = std::function<void(qint64 cursor, std::function<void(QJsonArray, qint64)>)>;

    struct Setup {
        /// The app model's /events request.
        EventsFetcher fetchEventsSince;
        FRWNotificationCenter* center = nullptr;
        int intervalMs = 5000;
    };

    explicit FRWNotifier(Setup setup, QObject* parent = nullptr);

    /// The process's notifier, following the shared app model.
    static FRWNotifier& shared();

    /// Asks whether notifications can be shown, starts the 5 s poll and polls once. Once only.
    void start();
    void poll();
    /// Shows one event: needs permission and a non-empty title; the body may be empty.
    void notify(const QJsonObject& event);
    /// Shows what the app itself has to say (a mode that ended on its own), under the same rules.
    void post(const QString& title, const QString& body);

    bool granted() const { return m_granted; }
    bool polling() const { return m_polling; }
    qint64 cursor() const { return m_cursor; }

private:
    Setup m_setup;
    QTimer* m_timer = nullptr;
    bool m_granted = false;
    bool m_polling = false;
    qint64 m_cursor = -1;
};
