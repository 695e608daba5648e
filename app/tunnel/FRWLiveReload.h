#pragma once

#include <functional>

#include <QObject>
#include <QString>

class FRWConfigWatch;
class FRWControllerAPI;
class FRWTimerSource;
class FRWTunnelPresenter;
class QThread;

/// Watches the rendered configuration on a thread of its own and, once changes settle, asks the
/// running core to reload it; a rejection is presented once at a time. GUI thread.
class FRWLiveReload : public QObject {
    Q_OBJECT

public:
    struct Setup {
        std::function<QString()> configPath;
        /// Where the running core announces its API (re-read before every reload).
        std::function<QString()> apiInfoPath;
        int debounceMs = 300;
        int retryMs = 300;
        int reloadTimeoutMs = 20 * 1000;
        /// Where the watch's debounce and retry timers come from; the real timers when null.
        FRWTimerSource* timers = nullptr;
    };

    explicit FRWLiveReload(Setup setup, QObject* parent = nullptr);
    ~FRWLiveReload() override;
    Q_DISABLE_COPY_MOVE(FRWLiveReload)

    void setPresenter(FRWTunnelPresenter* presenter) { m_presenter = presenter; }

    /// (Re)arms the watch; idempotent.
    void startConfigWatch();
    void triggerReload();
    void presentReloadError(const QString& error);

private:
    Setup m_setup;
    FRWTunnelPresenter* m_presenter = nullptr;
    FRWControllerAPI* m_api;
    QThread* m_watchThread = nullptr;
    FRWConfigWatch* m_watch = nullptr;
    bool m_reloadAlertShowing = false;
};
