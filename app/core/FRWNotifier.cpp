#include "FRWNotifier.h"

#include <QPointer>
#include <QTimer>
#include <QUuid>

#include "FRWAppModel.h"
#include "FRWNotificationCenter.h"

FRWNotifier::FRWNotifier(Setup setup, QObject* parent) : QObject(parent), m_setup(std::move(setup))
{
}

FRWNotifier& FRWNotifier::shared()
{
    static FRWNotifier* const instance = [] {
        static FRWDesktopNotifications center(QDBusConnection::sessionBus());
        Setup setup;
        setup.fetchEventsSince = [](qint64 cursor, std::function<void(QJsonArray, qint64)> completion) {
            FRWAppModel::shared().fetchEventsSince(cursor, std::move(completion));
        };
        setup.center = &center;
        return new FRWNotifier(std::move(setup));
    }();
    return *instance;
}

void FRWNotifier::start()
{
    if (m_timer) {
        return;
    }
    QPointer<FRWNotifier> self(this);
    if (m_setup.center) {
        m_setup.center->requestAuthorization([self](bool granted) {
            if (self) {
                self->m_granted = granted;
            }
        });
    }
    m_timer = new QTimer(this);
    m_timer->setInterval(m_setup.intervalMs);
    connect(m_timer, &QTimer::timeout, this, &FRWNotifier::poll);
    m_timer->start();
    poll();
}

void FRWNotifier::poll()
{
    if (m_polling || !m_setup.fetchEventsSince) {
        return;
    }
    m_polling = true;
    const qint64 sent = m_cursor;
    QPointer<FRWNotifier> self(this);
    m_setup.fetchEventsSince(sent, [self, sent](const QJsonArray& events, qint64 next) {
        if (!self) {
            return;
        }
        self->m_polling = false;
        self->m_cursor = next;
        // The first answer after launch only says where the stream stands.
        if (sent < 0) {
            return;
        }
        for (const QJsonValue event : events) {
            self->notify(event.toObject());
        }
    });
}

void FRWNotifier::notify(const QJsonObject& event)
{
    post(event.value(QLatin1String("title")).toString(), event.value(QLatin1String("message")).toString());
}

void FRWNotifier::post(const QString& title, const QString& body)
{
    if (!m_granted || !m_setup.center || title.isEmpty()) {
        return;
    }
    m_setup.center->post(title, body, QUuid::createUuid().toString(QUuid::WithoutBraces));
}
