#include "FRWLiveReload.h"

#include <QPointer>
#include <QThread>

#include "FRWAPIInfo.h"
#include "FRWConfigWatch.h"
#include "FRWControllerAPI.h"
#include "FRWTunnelPresenter.h"

FRWLiveReload::FRWLiveReload(Setup setup, QObject* parent)
    : QObject(parent), m_setup(std::move(setup)), m_api(new FRWControllerAPI(nullptr, nullptr, this))
{
}

FRWLiveReload::~FRWLiveReload()
{
    if (m_watchThread) {
        m_watchThread->quit();
        m_watchThread->wait();
    }
}

void FRWLiveReload::startConfigWatch()
{
    if (!m_watchThread) {
        m_watchThread = new QThread(this);
        m_watchThread->setObjectName(QStringLiteral("zq.orbel.ferrow-mac.configwatch"));
        m_watch = new FRWConfigWatch(m_setup.debounceMs, m_setup.retryMs, m_setup.timers);
        m_watch->moveToThread(m_watchThread);
        connect(m_watchThread, &QThread::finished, m_watch, &QObject::deleteLater);
        connect(m_watch, &FRWConfigWatch::changesSettled, this, &FRWLiveReload::triggerReload);
        m_watchThread->start();
    }
    QMetaObject::invokeMethod(m_watch, "armWatch", Qt::QueuedConnection,
                              Q_ARG(QString, m_setup.configPath()));
}

void FRWLiveReload::triggerReload()
{
    const std::optional<QJsonObject> info = FRWAPIInfo::read(m_setup.apiInfoPath());
    if (!info) {
        return; // no core runs
    }
    const QPointer<FRWLiveReload> self(this);
    m_api->reload(*info, m_setup.reloadTimeoutMs, [self](const std::optional<QString>& rejection) {
        if (self && rejection) {
            self->presentReloadError(*rejection);
        }
    });
}

void FRWLiveReload::presentReloadError(const QString& error)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, error] { presentReloadError(error); }, Qt::QueuedConnection);
        return;
    }
    if (m_reloadAlertShowing) {
        return;
    }
    m_reloadAlertShowing = true;
    const QString message = tr("Profile reload failed \u2014 still using the previous working version");
    const QString detail =
        tr("The edited profile could not be applied, so Ferrow kept the last working configuration "
           "and your connection was not interrupted. Fix the profile and save again.\n\n%1")
            .arg(error);
    const QPointer<FRWLiveReload> self(this);
    const auto dismissed = [self] {
        if (self) {
            self->m_reloadAlertShowing = false;
        }
    };
    if (m_presenter) {
        m_presenter->presentWarning(message, detail, dismissed);
    } else {
        qWarning("Ferrow: %s: %s", qPrintable(message), qPrintable(error));
        dismissed();
    }
}
