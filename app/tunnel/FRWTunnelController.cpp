#include "FRWTunnelController.h"

#include <utility>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include "FRWAPIInfo.h"
#include "FRWAppPaths.h"
#include "FRWControllerAPI.h"
#include "FRWCoreLauncher.h"
#include "FRWDefaultsKeys.h"
#include "FRWEnhancedMode.h"
#include "FRWGroupChoices.h"
#include "FRWInstallLayout.h"
#include "FRWLeftoverCore.h"
#include "FRWLiveReload.h"
#include "FRWNames.h"
#include "FRWPhysicalInterface.h"
#include "FRWPlatformTerms.h"
#include "FRWProbeCore.h"
#include "FRWProfileStore.h"
#include "FRWSystemProxy.h"
#include "FRWSystemProxyBackend.h"
#include "FRWSystemProxyBackends.h"
#include "FRWSystemProxyWorker.h"
#include "FRWToolRunner.h"
#include "FRWTunnelTexts.h"
#include "FRWUserDefaults.h"

namespace {

QString proxyNotAppliedText()
{
    return QCoreApplication::translate(
               "FRWTunnelController",
               "%1 would not apply the proxy settings. This usually means the account is not an "
               "administrator, or Network settings are locked.")
        .arg(FRWPlatformTerms::term(FRWPlatformTerms::kOperatingSystemCapitalised));
}

void logLeavingProxyRunning()
{
    qWarning("Ferrow: leaving the local proxy running \u2014 %s still points at it",
             FRWPlatformTerms::kOperatingSystem);
}

bool isRunning(const QProcess* process)
{
    return FRWCoreLauncher::isRunning(process);
}

} // namespace

FRWTunnelController::FRWTunnelController(FRWTunnelEnvironment environment, QObject* parent)
    : QObject(parent)
    , m_env(std::move(environment))
    , m_defaults(std::make_unique<FRWUserDefaults>(m_env.settingsFile))
    , m_launcher(
          new FRWCoreLauncher(m_env.corePath, m_env.readinessIntervalMs, m_env.readinessLastAttempt, this))
    , m_proxyWorker(std::make_unique<FRWSystemProxyWorker>(
          m_env.proxyBackend, m_env.settingsFile, [this] { return m_socksTaskSet.load(); }, socksAddress()))
{
    FRWProbeCore::Setup probe;
    probe.profiles = m_env.profiles;
    probe.infoPath = probeInfoPath();
    probe.statsPath = probeStatsPath();
    probe.ruleSetDir = m_env.ruleSetDir;
    probe.idleMs = m_env.probeIdleMs;
    probe.runningCoreAPI = [this] { return readAPIInfo(currentAPIInfoPath()); };
    probe.timers = m_env.timers;
    m_probe = new FRWProbeCore(*m_launcher, std::move(probe), this);

    FRWLiveReload::Setup reload;
    reload.configPath = [profiles = m_env.profiles] { return profiles->configPath(); };
    reload.apiInfoPath = [this] { return currentAPIInfoPath(); };
    reload.debounceMs = m_env.watchDebounceMs;
    reload.retryMs = m_env.watchRetryMs;
    reload.reloadTimeoutMs = m_env.reloadTimeoutMs;
    reload.timers = m_env.timers;
    m_liveReload = new FRWLiveReload(std::move(reload), this);
    m_liveReload->setPresenter(m_env.presenter);

    FRWEnhancedMode::Setup enhanced;
    enhanced.profiles = m_env.profiles;
    enhanced.corePath = m_env.corePath;
    enhanced.ruleSetDir = m_env.ruleSetDir;
    enhanced.helperAPIInfoPath = m_env.helperAPIInfoPath;
    enhanced.helper = m_env.helper;
    enhanced.stopRequestTimeoutMs = m_env.helperStopRequestTimeoutMs;
    enhanced.startConfigWatch = [this] { startConfigWatch(); };
    m_enhancedMode = new FRWEnhancedMode(std::move(enhanced), *m_defaults, this);
}

FRWTunnelController::~FRWTunnelController() = default;

FRWTunnelController& FRWTunnelController::shared()
{
    static FRWTunnelController* const instance = [] {
        static FRWToolRunner runner;
        const FRWAppPaths paths = FRWAppPaths::fromEnvironment();
        const FRWInstallLayout layout =
            FRWInstallLayout::forProgramIn(QCoreApplication::applicationDirPath());
        FRWTunnelEnvironment environment;
        environment.profiles = &FRWProfileStore::shared();
        environment.settingsFile = paths.settingsFile;
        environment.supportFolder = paths.supportFolder;
        environment.corePath = layout.corePath;
        environment.ruleSetDir = layout.ruleSetDir;
        environment.helperAPIInfoPath = QLatin1String(ferrow::kHelperAPIInfoPath);
        environment.proxyBackend =
            FRWSystemProxyBackends::forSession(runner, QProcessEnvironment::systemEnvironment());
        environment.helper = FRWHelperLayout::system(QCoreApplication::applicationDirPath());
        auto* controller = new FRWTunnelController(std::move(environment));
        FRWProfileStore::shared().setAPIInfoPathProvider(
            [controller] { return controller->currentAPIInfoPath(); });
        return controller;
    }();
    return *instance;
}

void FRWTunnelController::setPresenter(FRWTunnelPresenter* presenter)
{
    m_env.presenter = presenter;
    m_liveReload->setPresenter(presenter);
}

// ---- Where things are

QString FRWTunnelController::socksInfoPath() const
{
    return m_env.supportFolder + u'/' + QLatin1String(ferrow::kSocksAPIInfoFileName);
}

QString FRWTunnelController::probeInfoPath() const
{
    return m_env.supportFolder + u'/' + QLatin1String(ferrow::kProbeAPIInfoFileName);
}

QString FRWTunnelController::probeStatsPath() const
{
    return m_env.supportFolder + u'/' + QLatin1String(ferrow::kProbeStatsFileName);
}

QString FRWTunnelController::currentAPIInfoPath() const
{
    return systemProxyRunning() ? socksInfoPath() : m_env.helperAPIInfoPath;
}

bool FRWTunnelController::systemProxyRunning() const
{
    return isRunning(m_socksTask);
}

bool FRWTunnelController::tunnelCoreRunning() const
{
    return readAPIInfo(m_env.helperAPIInfoPath).has_value();
}

QString FRWTunnelController::socksAddress() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_env.socksPort);
}

bool FRWTunnelController::allowLAN() const
{
    return m_defaults->boolean(ferrow::defaults::kAllowLAN);
}

void FRWTunnelController::setAllowLAN(bool allow)
{
    m_defaults->setBoolean(ferrow::defaults::kAllowLAN, allow);
}

QString FRWTunnelController::socksBindAddress() const
{
    return allowLAN() ? QStringLiteral("0.0.0.0:%1").arg(m_env.socksPort) : socksAddress();
}

// The address other devices on the LAN reach this computer at: the first IPv4 address of a wired
// or wireless interface that is up.
QString FRWTunnelController::lanIPv4()
{
    const auto link = FRWPhysicalInterface::find();
    return link ? link->addr : QString();
}

QString FRWTunnelController::randomAPISecret()
{
    return FRWCoreLauncher::randomAPISecret();
}

std::optional<QJsonObject> FRWTunnelController::readAPIInfo(const QString& path)
{
    return FRWAPIInfo::read(path);
}

void FRWTunnelController::fail(const std::function<void(FRWResult)>& completion, const QString& message)
{
    if (completion) {
        completion(FRWError::ferrow(message));
    }
}

// ---- The System Proxy core

QStringList FRWTunnelController::systemProxyArguments() const
{
    QStringList arguments{QStringLiteral("-config"),
                          m_env.profiles->configPath(),
                          QStringLiteral("-no-tun"),
                          QStringLiteral("-socks"),
                          socksBindAddress(),
                          QStringLiteral("-api"),
                          QLatin1String(ferrow::kAPIBindAddress),
                          QStringLiteral("-api-info"),
                          socksInfoPath()};
    if (!m_env.ruleSetDir.isEmpty()) {
        arguments << QStringLiteral("-rule-set-dir") << m_env.ruleSetDir;
    }
    return arguments;
}

void FRWTunnelController::startSystemProxyWithCompletion(std::function<void(FRWResult)> completion)
{
    if (m_socksStarting) {
        m_socksStartWaiters.push_back(std::move(completion));
        return;
    }
    if (systemProxyRunning()) {
        completion(std::nullopt);
        return;
    }
    if (!m_env.profiles->isConfigured()) {
        return fail(completion, FRWTunnelTexts::notConfigured());
    }
    m_env.profiles->save();
    if (m_env.corePath.isEmpty()) {
        return fail(completion, FRWTunnelTexts::coreMissing());
    }
    QDir().mkpath(m_env.supportFolder);
    m_socksStarting = true;
    m_socksStartWaiters.push_back(std::move(completion));
    // A core an earlier run left serving the desktop still holds the local proxy's port; it may
    // take seconds to end.
    m_proxyWorker->run<bool>(
        [info = socksInfoPath(), core = m_env.corePath, grace = m_env.leftoverCoreGraceMs](FRWSystemProxy&) {
            FRWLeftoverCore::stop(info, core, grace);
            QFile::remove(info);
            return true;
        },
        [this](bool) { launchSystemProxyCore(); });
}

void FRWTunnelController::launchSystemProxyCore()
{
    QString launchError;
    auto coreError = std::make_shared<QString>();
    QProcess* task = m_launcher->launch(systemProxyArguments(), FRWCoreLauncher::Output::Inherited,
                                        FRWCoreLauncher::Lifetime::OutlivesApp, &launchError, coreError);
    if (!task) {
        return finishSystemProxyStart(FRWError::ferrow(launchError));
    }
    setSocksTask(task);
    const QPointer<QProcess> guarded(task);
    connect(task, &QProcess::finished, this, [this, guarded] {
        // A core that dies on its own must not leave the system pointing at a dead proxy.
        if (m_socksTask && m_socksTask == guarded) {
            setSocksTask(nullptr);
            applySystemProxy(false, {});
        }
    });
    waitForSocksReady(task, coreError, [this, guarded](const FRWResult& waitError) {
        if (waitError) {
            dropSocksTask(guarded);
            return finishSystemProxyStart(waitError);
        }
        applyKeptChoicesThen([this, guarded] { takeOverFor(guarded); });
    });
}

// The core starts on each select group's first member; the desktop is pointed at it only once it
// serves the members the user chose, so no request goes out through a node they did not pick.
void FRWTunnelController::applyKeptChoicesThen(std::function<void()> then)
{
    const QJsonObject choices = FRWGroupChoices::forActiveProfile(*m_defaults);
    if (choices.isEmpty()) {
        return then();
    }
    auto* api = new FRWControllerAPI([this] { return readAPIInfo(socksInfoPath()); }, nullptr, this);
    auto pending = std::make_shared<int>(static_cast<int>(choices.size()));
    const auto answered = [api, pending, then = std::move(then)] {
        if (--*pending == 0) {
            api->deleteLater();
            then();
        }
    };
    for (auto choice = choices.begin(); choice != choices.end(); ++choice) {
        api->selectGroup(choice.key(), choice.value().toString(), answered);
    }
}

void FRWTunnelController::takeOverFor(const QPointer<QProcess>& task)
{
    struct Takeover {
        bool applied = false;
        bool stillOn = false;
    };
    m_proxyWorker->run<Takeover>(
        [](FRWSystemProxy& proxy) {
            Takeover result;
            result.applied = proxy.applySystemProxy(true);
            if (!result.applied) {
                const QString service = proxy.takenOverService();
                result.stillOn = !service.isEmpty() && proxy.systemProxyEnabledOn(service);
            }
            return result;
        },
        [this, task](Takeover result) {
            if (result.applied) {
                startConfigWatch();
                return finishSystemProxyStart(std::nullopt);
            }
            if (result.stillOn) {
                logLeavingProxyRunning();
            } else {
                dropSocksTask(task);
            }
            finishSystemProxyStart(FRWError::ferrow(proxyNotAppliedText()));
        });
}

void FRWTunnelController::finishSystemProxyStart(const FRWResult& result)
{
    m_socksStarting = false;
    const auto waiters = std::exchange(m_socksStartWaiters, {});
    for (const auto& waiter : waiters) {
        if (waiter) {
            waiter(result);
        }
    }
}

void FRWTunnelController::setSocksTask(QProcess* task)
{
    m_socksTask = task;
    m_socksTaskSet = task != nullptr;
}

void FRWTunnelController::dropSocksTask(const QPointer<QProcess>& task)
{
    if (m_socksTask == task) {
        setSocksTask(nullptr);
    }
    FRWCoreLauncher::terminate(task);
}

void FRWTunnelController::stopSystemProxy(std::function<void()> done)
{
    if (m_socksStarting) {
        // Stopping in the middle of a start would be undone by its takeover.
        m_socksStartWaiters.emplace_back(
            [this, done = std::move(done)](const FRWResult&) mutable { stopSystemProxy(std::move(done)); });
        return;
    }
    const QPointer<QProcess> task = m_socksTask;
    applySystemProxy(false, [this, task, done = std::move(done)](bool restored) {
        if (!restored) {
            logLeavingProxyRunning();
        } else {
            dropSocksTask(task);
            if (!systemProxyRunning()) {
                QFile::remove(socksInfoPath());
            }
        }
        if (done) {
            done();
        }
    });
}

void FRWTunnelController::waitForSocksReady(QProcess* task, std::shared_ptr<QString> coreError,
                                            std::function<void(FRWResult)> completion)
{
    const QPointer<QProcess> guarded(task);
    m_launcher->pollForAPIInfoAt(
        socksInfoPath(), task, 0,
        [guarded, coreError = std::move(coreError),
         completion = std::move(completion)](const std::optional<QJsonObject>& info) {
            if (info) {
                completion(std::nullopt);
            } else if (!isRunning(guarded)) {
                fail(completion, coreError->isEmpty()
                                     ? tr("The core exited during startup. Check the profile for errors.")
                                     : tr("The core exited during startup: %1").arg(*coreError));
            } else {
                fail(completion, tr("The core did not finish starting up."));
            }
        });
}

// ---- The probe core

void FRWTunnelController::apiForMeasurementWithCompletion(
    std::function<void(std::optional<QJsonObject>)> completion)
{
    m_probe->apiForMeasurementWithCompletion(std::move(completion));
}

void FRWTunnelController::stopProbeCore()
{
    m_probe->stopProbeCore();
}

// ---- The system proxy

void FRWTunnelController::applySystemProxy(bool enable, std::function<void(bool applied)> completion)
{
    m_proxyWorker->run<bool>([enable](FRWSystemProxy& proxy) { return proxy.applySystemProxy(enable); },
                             std::move(completion));
}

void FRWTunnelController::finishSystemProxyWork(std::function<void()> done)
{
    // Jobs run in the order posted: when this one answers, all before it have ended.
    m_proxyWorker->run<bool>([](FRWSystemProxy&) { return true; },
                             [done = std::move(done)](bool) {
                                 if (done) {
                                     done();
                                 }
                             });
}

void FRWTunnelController::recoverOrphanedSystemProxy(std::function<void()> done)
{
    m_proxyWorker->run<bool>(
        [probeInfo = probeInfoPath(), socksInfo = socksInfoPath(), core = m_env.corePath,
         grace = m_env.leftoverCoreGraceMs, ourCoreRuns = systemProxyRunning()](FRWSystemProxy& proxy) {
            proxy.recoverOrphanedSystemProxy();
            // A probe core never outlives its app on purpose; one left by an earlier run is stale.
            FRWLeftoverCore::stop(probeInfo, core, grace);
            if (ourCoreRuns) {
                return true;
            }
            // While a restore is still pending the desktop points at the leftover core: it keeps
            // serving until our own System Proxy core replaces it.
            if (proxy.takenOverService().isEmpty()) {
                FRWLeftoverCore::stop(socksInfo, core, grace);
            } else {
                qWarning(
                    "Ferrow: leaving the previous run's core running until the proxy settings are restored");
            }
            return true;
        },
        [done = std::move(done)](bool) {
            if (done) {
                done();
            }
        });
}

// ---- Live reload

void FRWTunnelController::startConfigWatch()
{
    m_liveReload->startConfigWatch();
}

// ---- Enhanced Mode and the privileged helper

bool FRWTunnelController::helperReady() const
{
    return m_enhancedMode->helperReady();
}

void FRWTunnelController::helperInstallation(std::function<void(FRWHelperInstallation)> completion)
{
    m_enhancedMode->helperInstallation(std::move(completion));
}

bool FRWTunnelController::gatewayMode() const
{
    return m_enhancedMode->gatewayMode();
}

void FRWTunnelController::setGatewayMode(bool enabled)
{
    m_enhancedMode->setGatewayMode(enabled);
}

void FRWTunnelController::installHelperWithCompletion(std::function<void(FRWResult)> completion)
{
    m_enhancedMode->installHelperWithCompletion(std::move(completion));
}

void FRWTunnelController::uninstallHelperWithCompletion(std::function<void(FRWResult)> completion)
{
    m_enhancedMode->uninstallHelperWithCompletion(std::move(completion));
}

void FRWTunnelController::reinstallHelperWithCompletion(std::function<void(FRWResult)> completion)
{
    m_enhancedMode->reinstallHelperWithCompletion(std::move(completion));
}

void FRWTunnelController::helperIsCurrent(std::function<void(bool)> completion)
{
    m_enhancedMode->helperIsCurrent(std::move(completion));
}

void FRWTunnelController::startWithCompletion(std::function<void(FRWResult)> completion)
{
    m_enhancedMode->startWithCompletion(std::move(completion));
}

void FRWTunnelController::startIfHelperCurrentWithCompletion(std::function<void(bool, FRWResult)> completion)
{
    m_enhancedMode->startIfHelperCurrentWithCompletion(std::move(completion));
}

void FRWTunnelController::xpcStart(std::function<void(FRWResult)> completion)
{
    m_enhancedMode->xpcStart(std::move(completion));
}

void FRWTunnelController::xpcStop(std::function<void(FRWResult)> completion)
{
    m_enhancedMode->xpcStop(std::move(completion));
}

void FRWTunnelController::stopWithCompletion(std::function<void(FRWResult)> completion)
{
    m_enhancedMode->stopWithCompletion(std::move(completion));
}
