#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>

#include "FRWError.h"
#include "FRWHelperInstallation.h"
#include "FRWHelperLayout.h"
#include "FRWNames.h"

class FRWCoreLauncher;
class FRWEnhancedMode;
class FRWLiveReload;
class FRWProbeCore;
class FRWProfileStore;
class FRWSystemProxyWorker;
class FRWSystemProxyBackend;
class FRWTimerSource;
class FRWTunnelPresenter;
class FRWUserDefaults;
class QProcess;

/// What the tunnel controller works with; the real program builds it from the environment,
/// tests point it into a temporary home with fake tools and short timings.
struct FRWTunnelEnvironment {
    FRWProfileStore* profiles = nullptr;
    QString settingsFile;
    QString supportFolder;
    QString corePath;
    QString ruleSetDir;
    QString helperAPIInfoPath;
    std::shared_ptr<FRWSystemProxyBackend> proxyBackend;

    /// The local proxy's port; only tests move it away from the fixed one.
    int socksPort = ferrow::kSocksPort;

    int readinessIntervalMs = 50;
    int readinessLastAttempt = 99;
    int probeIdleMs = 90 * 1000;
    int watchDebounceMs = 300;
    int watchRetryMs = 300;
    int reloadTimeoutMs = 20 * 1000;
    /// How long a leftover core of an earlier run gets to stop at launch before it is killed.
    int leftoverCoreGraceMs = 3000;
    /// The probe core's idle stop and the profile watch's timers; the real timers when null.
    FRWTimerSource* timers = nullptr;

    // Enhanced Mode: where the helper is installed from and to, and the tools that install it.
    FRWHelperLayout helper;
    int helperStopRequestTimeoutMs = 8000;

    /// Where the reload-failure alert goes; the GUI sets it (also later, with `setPresenter`).
    FRWTunnelPresenter* presenter = nullptr;
};

/// Starts and stops the proxy core, tells everyone where the running core's API is, takes over
/// the system proxy while the System Proxy core runs, and reloads a running core when its
/// profile changes. The one object callers see; the work is done by parts with one job each
/// (core launch, probe core, system proxy, live reload, Enhanced Mode). GUI thread only;
/// completions run on the GUI thread exactly once.
class FRWTunnelController : public QObject {
    Q_OBJECT

public:
    explicit FRWTunnelController(FRWTunnelEnvironment environment, QObject* parent = nullptr);
    ~FRWTunnelController() override;
    Q_DISABLE_COPY_MOVE(FRWTunnelController)

    /// The process's controller, built from the environment on first use.
    static FRWTunnelController& shared();

    void setPresenter(FRWTunnelPresenter* presenter);

    // Where things are
    QString corePath() const { return m_env.corePath; }
    QString socksInfoPath() const;
    QString probeInfoPath() const;
    QString probeStatsPath() const;
    QString currentAPIInfoPath() const;
    bool systemProxyRunning() const;
    bool tunnelCoreRunning() const;
    /// Where the system proxy settings point: 127.0.0.1 and the local proxy's port.
    QString socksAddress() const;
    bool allowLAN() const;
    void setAllowLAN(bool allow);
    QString socksBindAddress() const;
    static QString lanIPv4();
    static QString randomAPISecret();
    static std::optional<QJsonObject> readAPIInfo(const QString& path);

    // The System Proxy core
    /// Completes once the core serves and the desktop points at it; a call while a start is
    /// under way completes with it.
    void startSystemProxyWithCompletion(std::function<void(FRWResult)> completion);
    /// Puts the desktop's settings back, then ends the core; when they cannot be put back the core
    /// keeps serving. `done` runs when that is over.
    void stopSystemProxy(std::function<void()> done = {});
    /// `coreError` holds the core's last error line, shown when it ends before it is ready.
    void waitForSocksReady(QProcess* task, std::shared_ptr<QString> coreError,
                           std::function<void(FRWResult)> completion);

    // The probe core, started on demand for measurements
    void apiForMeasurementWithCompletion(std::function<void(std::optional<QJsonObject>)> completion);
    void stopProbeCore();

    // The system proxy: the work runs on a worker thread, in the order asked for.
    void applySystemProxy(bool enable, std::function<void(bool applied)> completion);
    /// `done` runs once every system proxy job posted so far is over (a restore queued when a core
    /// died included), so a quit never leaves the desktop pointing at a proxy that is gone.
    void finishSystemProxyWork(std::function<void()> done);
    /// Run once at launch, before anything starts a core: repairs a takeover an earlier run left
    /// behind and stops the cores it left running. Whatever is asked later runs after it.
    void recoverOrphanedSystemProxy(std::function<void()> done = {});

    // Live reload
    void startConfigWatch();
    /// Asks the System Proxy core for the members kept for the active profile, then runs `then`.
    void applyKeptChoicesThen(std::function<void()> then);

    static void fail(const std::function<void(FRWResult)>& completion, const QString& message);

    // ---- Enhanced Mode and the privileged helper
    /// A helper is in place: the build folder's (both unit files and the helper) or the package's.
    bool helperReady() const;
    /// Which helper is installed, as systemd says; completes once on the GUI thread.
    void helperInstallation(std::function<void(FRWHelperInstallation)> completion);
    void installHelperWithCompletion(std::function<void(FRWResult)> completion);
    void uninstallHelperWithCompletion(std::function<void(FRWResult)> completion);
    /// Drops the connection and installs over the build folder's helper (never the package's).
    void reinstallHelperWithCompletion(std::function<void(FRWResult)> completion);
    /// Whether the installed helper answers with a current protocol version; completes once.
    void helperIsCurrent(std::function<void(bool)> completion);
    /// Connect in Enhanced Mode; installs or upgrades the helper first when needed (a password prompt).
    void startWithCompletion(std::function<void(FRWResult)> completion);
    /// Restoring Enhanced Mode at launch: starts only through a current helper, never prompts.
    /// Always completes on a later turn of the event loop.
    void startIfHelperCurrentWithCompletion(std::function<void(bool started, FRWResult)> completion);
    void stopWithCompletion(std::function<void(FRWResult)> completion);
    void xpcStart(std::function<void(FRWResult)> completion);
    void xpcStop(std::function<void(FRWResult)> completion);
    /// Whether the helper-run core also routes other devices' traffic (next start).
    bool gatewayMode() const;
    void setGatewayMode(bool enabled);

private:
    QStringList systemProxyArguments() const;
    void launchSystemProxyCore();
    void takeOverFor(const QPointer<QProcess>& task);
    void finishSystemProxyStart(const FRWResult& result);
    void setSocksTask(QProcess* task);
    void dropSocksTask(const QPointer<QProcess>& task);

    FRWTunnelEnvironment m_env;
    std::unique_ptr<FRWUserDefaults> m_defaults;
    FRWCoreLauncher* m_launcher;
    FRWProbeCore* m_probe;
    FRWLiveReload* m_liveReload;
    FRWEnhancedMode* m_enhancedMode;
    QPointer<QProcess> m_socksTask;
    // Read by the worker thread, which must not touch m_socksTask.
    std::atomic<bool> m_socksTaskSet{false};
    bool m_socksStarting = false;
    std::vector<std::function<void(FRWResult)>> m_socksStartWaiters;
    // Last, so that it finishes its queued work while everything it may call still exists.
    std::unique_ptr<FRWSystemProxyWorker> m_proxyWorker;
};
