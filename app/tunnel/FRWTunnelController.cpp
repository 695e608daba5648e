#include "FRWTunnelController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>

#include <array>
#include <utility>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include "FRWAPIInfo.h"
#include "FRWAppPaths.h"
#include "FRWConfigWatch.h"
#include "FRWControllerAPI.h"
#include "FRWDefaultsKeys.h"
#include "FRWHelperClient.h"
#include "FRWHelperInstaller.h"
#include "FRWHelperUnits.h"
#include "FRWInstallLayout.h"
#include "FRWNames.h"
#include "FRWPlatformTerms.h"
#include "FRWPrivilegedScriptRunner.h"
#include "FRWProfileStore.h"
#include "FRWSigningKey.h"
#include "FRWSystemProxy.h"
#include "FRWSystemProxyBackend.h"
#include "FRWSystemProxyBackends.h"
#include "FRWToolRunner.h"
#include "FRWUserDefaults.h"

namespace {

constexpr int kTerminateGraceMs = 5000;

QString notConfiguredText()
{
    return QStringLiteral("No server configured. Open Profile, set a server and PSK, then Save.");
}

QString proxyNotAppliedText()
{
    return QStringLiteral("%1 would not apply the proxy settings. This usually means the account is not an "
                          "administrator, or Network settings are locked.")
        .arg(QLatin1String(FRWPlatformTerms::kOperatingSystemCapitalised));
}

void logLeavingProxyRunning()
{
    qWarning("Ferrow: leaving the local proxy running \u2014 %s still points at it",
             FRWPlatformTerms::kOperatingSystem);
}

bool isRunning(const QProcess* process)
{
    return process && process->state() != QProcess::NotRunning;
}

} // namespace

FRWTunnelController::FRWTunnelController(FRWTunnelEnvironment environment, QObject* parent)
    : QObject(parent)
    , m_env(std::move(environment))
    , m_defaults(std::make_unique<FRWUserDefaults>(m_env.settingsFile))
    , m_systemProxy(std::make_unique<FRWSystemProxy>(
          *m_env.proxyBackend, *m_defaults, [this] { return systemProxyRunning(); }, socksAddress()))
{
}

FRWTunnelController::~FRWTunnelController()
{
    if (m_watchThread) {
        m_watchThread->quit();
        m_watchThread->wait();
    }
}

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
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return {};
    }
    QString found;
    for (const ifaddrs* entry = list; entry && found.isEmpty(); entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !(entry->ifa_flags & IFF_UP) ||
            (entry->ifa_flags & IFF_LOOPBACK)) {
            continue;
        }
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        if (!name.startsWith(QLatin1String("en")) && !name.startsWith(QLatin1String("eth")) &&
            !name.startsWith(QLatin1String("wl"))) {
            continue;
        }
        std::array<char, INET_ADDRSTRLEN> text{};
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (inet_ntop(AF_INET, &address->sin_addr, text.data(), text.size())) {
            found = QString::fromLatin1(text.data());
        }
    }
    freeifaddrs(list);
    return found;
}

QString FRWTunnelController::randomAPISecret()
{
    std::array<quint32, 6> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(words.data()), sizeof words).toHex());
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

// ---- Launching cores

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

QStringList FRWTunnelController::probeArguments() const
{
    QStringList arguments{QStringLiteral("-config"),
                          m_env.profiles->configPath(),
                          QStringLiteral("-no-tun"),
                          QStringLiteral("-api"),
                          QLatin1String(ferrow::kAPIBindAddress),
                          QStringLiteral("-api-info"),
                          probeInfoPath(),
                          QStringLiteral("-stats"),
                          probeStatsPath()};
    if (!m_env.ruleSetDir.isEmpty()) {
        arguments << QStringLiteral("-rule-set-dir") << m_env.ruleSetDir;
    }
    return arguments;
}

QProcess* FRWTunnelController::launchCore(const QStringList& arguments, bool quiet, QString* error)
{
    auto* process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(ferrow::kAPISecretEnvironmentVariable), randomAPISecret());
    process->setProcessEnvironment(environment);
    process->setStandardInputFile(QProcess::nullDevice());
    if (quiet) {
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
    } else {
        process->setProcessChannelMode(QProcess::ForwardedChannels);
    }
    process->start(m_env.corePath, arguments);
    if (!process->waitForStarted()) {
        *error = process->errorString();
        delete process;
        return nullptr;
    }
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    return process;
}

void FRWTunnelController::terminate(QProcess* process)
{
    if (!isRunning(process)) {
        return;
    }
    process->terminate();
    // A core that ignores the request does not get to outlive us.
    QTimer::singleShot(kTerminateGraceMs, process, [process] {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
        }
    });
}

// ---- The System Proxy core

void FRWTunnelController::startSystemProxy(std::function<void(FRWResult)> completion)
{
    if (systemProxyRunning()) {
        completion(std::nullopt);
        return;
    }
    if (!m_env.profiles->isConfigured()) {
        return fail(completion, notConfiguredText());
    }
    m_env.profiles->save();
    if (m_env.corePath.isEmpty()) {
        return fail(completion, QStringLiteral("Bundled core binary is missing."));
    }
    QDir().mkpath(m_env.supportFolder);
    QFile::remove(socksInfoPath());

    QString launchError;
    QProcess* task = launchCore(systemProxyArguments(), false, &launchError);
    if (!task) {
        completion(FRWError::ferrow(launchError));
        return;
    }
    m_socksTask = task;
    const QPointer<QProcess> guarded(task);
    connect(task, &QProcess::finished, this, [this, guarded] {
        // A core that dies on its own must not leave the system pointing at a dead proxy.
        if (m_socksTask && m_socksTask == guarded) {
            m_socksTask = nullptr;
            applySystemProxy(false);
        }
    });

    waitForSocksReady(task, [this, guarded, completion = std::move(completion)](const FRWResult& waitError) {
        if (waitError) {
            terminate(guarded);
            if (m_socksTask == guarded) {
                m_socksTask = nullptr;
            }
            return completion(waitError);
        }
        if (applySystemProxy(true)) {
            startConfigWatch();
            return completion(std::nullopt);
        }
        const QString service = m_defaults->string(ferrow::defaults::kProxyService);
        if (!service.isEmpty() && systemProxyEnabledOn(service)) {
            logLeavingProxyRunning();
        } else {
            terminate(guarded);
            if (m_socksTask == guarded) {
                m_socksTask = nullptr;
            }
        }
        fail(completion, proxyNotAppliedText());
    });
}

void FRWTunnelController::stopSystemProxy()
{
    if (!applySystemProxy(false)) {
        logLeavingProxyRunning();
        return;
    }
    QProcess* task = m_socksTask;
    m_socksTask = nullptr;
    terminate(task);
    QFile::remove(socksInfoPath());
}

void FRWTunnelController::waitForSocksReady(QProcess* task, std::function<void(FRWResult)> completion)
{
    const QPointer<QProcess> guarded(task);
    pollForAPIInfoAt(
        socksInfoPath(), task, 0,
        [guarded, completion = std::move(completion)](const std::optional<QJsonObject>& info) {
            if (info) {
                completion(std::nullopt);
            } else if (!isRunning(guarded)) {
                fail(completion,
                     QStringLiteral("The core exited during startup. Check the profile for errors."));
            } else {
                fail(completion, QStringLiteral("The core did not finish starting up."));
            }
        });
}

void FRWTunnelController::pollForAPIInfoAt(const QString& path, QProcess* task, int attempt,
                                           std::function<void(std::optional<QJsonObject>)> completion)
{
    if (std::optional<QJsonObject> info = readAPIInfo(path)) {
        return completion(std::move(info));
    }
    if (attempt > m_env.readinessLastAttempt || !isRunning(task)) {
        return completion(std::nullopt);
    }
    const QPointer<FRWTunnelController> self(this);
    const QPointer<QProcess> guarded(task);
    QTimer::singleShot(m_env.readinessIntervalMs,
                       [self, path, guarded, attempt, completion = std::move(completion)] {
                           if (!self) {
                               return completion(std::nullopt);
                           }
                           self->pollForAPIInfoAt(path, guarded, attempt + 1, completion);
                       });
}

// ---- The probe core

void FRWTunnelController::apiForMeasurement(std::function<void(std::optional<QJsonObject>)> completion)
{
    if (std::optional<QJsonObject> info = readAPIInfo(currentAPIInfoPath())) {
        return completion(std::move(info));
    }
    keepProbeAlive();
    if (std::optional<QJsonObject> info = readAPIInfo(probeInfoPath()); info && isRunning(m_probeTask)) {
        return completion(std::move(info));
    }
    if (isRunning(m_probeTask)) {
        terminate(m_probeTask);
        m_probeTask = nullptr;
    }
    if (m_env.corePath.isEmpty() || !m_env.profiles->isConfigured()) {
        return completion(std::nullopt);
    }
    m_env.profiles->save();
    QFile::remove(probeInfoPath());
    QString launchError;
    QProcess* task = launchCore(probeArguments(), true, &launchError);
    if (!task) {
        qWarning("ferrow: the probe core could not start: %s", qPrintable(launchError));
        return completion(std::nullopt);
    }
    m_probeTask = task;
    const QPointer<QProcess> guarded(task);
    connect(task, &QProcess::finished, this, [this, guarded] {
        if (m_probeTask && m_probeTask == guarded) {
            m_probeTask = nullptr;
        }
    });
    pollForAPIInfoAt(probeInfoPath(), task, 0, std::move(completion));
}

void FRWTunnelController::keepProbeAlive()
{
    if (!m_probeIdleTimer) {
        m_probeIdleTimer = new QTimer(this);
        m_probeIdleTimer->setSingleShot(true);
        connect(m_probeIdleTimer, &QTimer::timeout, this, &FRWTunnelController::stopProbeCore);
    }
    m_probeIdleTimer->start(m_env.probeIdleMs);
}

void FRWTunnelController::stopProbeCore()
{
    if (m_probeIdleTimer) {
        m_probeIdleTimer->stop();
    }
    QProcess* task = m_probeTask;
    m_probeTask = nullptr;
    terminate(task);
    QFile::remove(probeInfoPath());
}

// ---- The system proxy

bool FRWTunnelController::applySystemProxy(bool enable)
{
    return m_systemProxy->applySystemProxy(enable);
}

bool FRWTunnelController::systemProxyEnabledOn(const QString& service)
{
    return m_systemProxy->systemProxyEnabledOn(service);
}

void FRWTunnelController::recoverOrphanedSystemProxy()
{
    m_systemProxy->recoverOrphanedSystemProxy();
}

// ---- Live reload

void FRWTunnelController::startConfigWatch()
{
    if (!m_watchThread) {
        m_watchThread = new QThread(this);
        m_watchThread->setObjectName(QStringLiteral("zq.orbel.ferrow-mac.configwatch"));
        m_watch = new FRWConfigWatch(m_env.watchDebounceMs, m_env.watchRetryMs);
        m_watch->moveToThread(m_watchThread);
        connect(m_watchThread, &QThread::finished, m_watch, &QObject::deleteLater);
        connect(m_watch, &FRWConfigWatch::changesSettled, this, &FRWTunnelController::triggerReload);
        m_watchThread->start();
    }
    QMetaObject::invokeMethod(m_watch, "armWatch", Qt::QueuedConnection,
                              Q_ARG(QString, m_env.profiles->configPath()));
}

void FRWTunnelController::triggerReload()
{
    const std::optional<QJsonObject> info = readAPIInfo(currentAPIInfoPath());
    if (!info) {
        return;
    }
    std::optional<QNetworkRequest> request =
        FRWControllerAPI::requestForPath(QStringLiteral("/reload"), *info);
    if (!request) {
        return;
    }
    request->setTransferTimeout(m_env.reloadTimeoutMs);
    // A client of its own for each reload, gone with its one request.
    auto* network = new QNetworkAccessManager(this);
    network->setProxy(QNetworkProxy::NoProxy);
    QNetworkReply* reply = network->sendCustomRequest(*request, "POST");
    const QPointer<FRWTunnelController> self(this);
    connect(reply, &QNetworkReply::finished, network, [self, network, reply] {
        network->deleteLater();
        const bool transportFailed =
            reply->error() > QNetworkReply::NoError && reply->error() < QNetworkReply::ContentAccessDenied;
        const QByteArray body = reply->readAll();
        if (!self || transportFailed || body.isEmpty()) {
            return;
        }
        const QJsonDocument answer = QJsonDocument::fromJson(body);
        const QJsonValue ok = answer.object().value(QStringLiteral("ok"));
        if (answer.isObject() && !ok.isUndefined() && !ok.toBool()) {
            const QJsonValue error = answer.object().value(QStringLiteral("error"));
            self->presentReloadError(error.isString() ? error.toString() : QStringLiteral("unknown error"));
        }
    });
}

void FRWTunnelController::presentReloadError(const QString& error)
{
    if (m_reloadAlertShowing) {
        return;
    }
    m_reloadAlertShowing = true;
    const QString message =
        QStringLiteral("Profile reload failed \u2014 still using the previous working version");
    const QString detail =
        QStringLiteral(
            "The edited profile could not be applied, so Ferrow kept the last working configuration "
            "and your connection was not interrupted. Fix the profile and save again.\n\n%1")
            .arg(error);
    const QPointer<FRWTunnelController> self(this);
    const auto dismissed = [self] {
        if (self) {
            self->m_reloadAlertShowing = false;
        }
    };
    if (m_env.presentAlert) {
        m_env.presentAlert(message, detail, dismissed);
    } else {
        qWarning("Ferrow: %s: %s", qPrintable(message), qPrintable(error));
        dismissed();
    }
}

// ---- Enhanced Mode and the privileged helper

bool FRWTunnelController::helperReady() const
{
    const FRWHelperLayout& helper = m_env.helper;
    return !helper.installedHelperPath.isEmpty() && QFile::exists(helper.socketUnitPath) &&
           QFile::exists(helper.serviceUnitPath) && QFile::exists(helper.installedHelperPath);
}

bool FRWTunnelController::gatewayMode() const
{
    return m_defaults->boolean(ferrow::defaults::kGatewayMode);
}

void FRWTunnelController::setGatewayMode(bool enabled)
{
    m_defaults->setBoolean(ferrow::defaults::kGatewayMode, enabled);
}

void FRWTunnelController::runPrivilegedScript(const QString& script,
                                              std::function<void(FRWResult)> completion)
{
    FRWPrivilegedScriptRunner(m_env.helper.pkexecPath).run(script, std::move(completion));
}

void FRWTunnelController::installHelperWithCompletion(std::function<void(FRWResult)> completion)
{
    if (helperReady() && !m_forceHelperInstall) {
        return completion(std::nullopt);
    }
    const QFileInfo source(m_env.helper.helperSource);
    if (m_env.helper.helperSource.isEmpty() || !source.isFile() || !source.isExecutable()) {
        return fail(completion, QStringLiteral("Bundled helper is missing from the app."));
    }
    const QString script = FRWHelperInstaller::installScript(
        m_env.helper, QString::fromLatin1(ferrow::kMakerPublicKeyPem),
        QString::fromUtf8(ferrow::kHelperSocketUnitText), QString::fromUtf8(ferrow::kHelperServiceUnitText));
    const QPointer<FRWTunnelController> self(this);
    runPrivilegedScript(script, [self, completion](FRWResult error) {
        if (error) {
            return completion(error);
        }
        if (!self || !self->helperReady()) {
            return fail(completion, QStringLiteral("Helper install did not complete."));
        }
        completion(std::nullopt);
    });
}

void FRWTunnelController::uninstallHelperWithCompletion(std::function<void(FRWResult)> completion)
{
    runPrivilegedScript(FRWHelperInstaller::uninstallScript(m_env.helper), std::move(completion));
}

void FRWTunnelController::reinstallHelperWithCompletion(std::function<void(FRWResult)> completion)
{
    if (m_connection) {
        // The next call must reach the new helper, not the one being replaced.
        FRWHelperClient* old = m_connection;
        m_connection = nullptr;
        old->invalidate();
        old->deleteLater();
    }
    m_forceHelperInstall = true;
    const QPointer<FRWTunnelController> self(this);
    installHelperWithCompletion([self, completion](FRWResult result) {
        if (self) {
            self->m_forceHelperInstall = false;
        }
        completion(std::move(result));
    });
}

FRWHelperClient* FRWTunnelController::connection()
{
    if (!m_connection) {
        auto* client = new FRWHelperClient(m_env.helper.socketPath, this);
        const QPointer<FRWTunnelController> self(this);
        connect(client, &FRWHelperClient::invalidated, this, [self, client] {
            if (self && self->m_connection == client) {
                self->m_connection = nullptr;
            }
            client->deleteLater();
        });
        m_connection = client;
    }
    return m_connection;
}

void FRWTunnelController::helperIsCurrent(std::function<void(bool)> completion)
{
    if (!helperReady()) {
        return completion(false);
    }
    // The reply and the connection's failure may both arrive; the first one decides.
    auto answered = std::make_shared<bool>(false);
    connection()->getVersion(
        [answered, completion](qint64 version) {
            if (!std::exchange(*answered, true)) {
                completion(version >= ferrow::kHelperProtocolVersion);
            }
        },
        [answered, completion](const FRWError&) {
            if (!std::exchange(*answered, true)) {
                completion(false);
            }
        });
}

void FRWTunnelController::startWithCompletion(std::function<void(FRWResult)> completion)
{
    if (!m_env.profiles->isConfigured()) {
        return fail(completion, notConfiguredText());
    }
    m_env.profiles->save();
    if (m_env.corePath.isEmpty()) {
        return fail(completion, QStringLiteral("Bundled core binary is missing."));
    }
    const QPointer<FRWTunnelController> self(this);
    helperIsCurrent([self, completion](bool current) {
        if (!self) {
            return fail(completion, QStringLiteral("Helper install did not complete."));
        }
        if (current) {
            return self->xpcStart(completion);
        }
        self->reinstallHelperWithCompletion([self, completion](FRWResult error) {
            if (error) {
                return completion(error);
            }
            if (!self) {
                return fail(completion, QStringLiteral("Helper install did not complete."));
            }
            self->xpcStart(completion);
        });
    });
}

void FRWTunnelController::startIfHelperCurrentWithCompletion(std::function<void(bool, FRWResult)> completion)
{
    const auto later = [this, completion](bool started, FRWResult error) {
        QTimer::singleShot(0, this, [completion, started, error] { completion(started, error); });
    };
    if (!helperReady()) {
        return later(false, std::nullopt);
    }
    const QPointer<FRWTunnelController> self(this);
    helperIsCurrent([self, later](bool current) {
        if (!self || !current) {
            return later(false, std::nullopt);
        }
        self->startWithCompletion([later](FRWResult error) { later(!error.has_value(), error); });
    });
}

void FRWTunnelController::xpcStart(std::function<void(FRWResult)> completion)
{
    ferrow::helperprotocol::StartCoreParams params;
    params.corePath = m_env.corePath.toStdString();
    params.configPath = m_env.profiles->configPath().toStdString();
    params.apiInfoPath = m_env.helperAPIInfoPath.toStdString();
    params.ruleSetDir = m_env.ruleSetDir.toStdString();
    params.tunName = ferrow::helperprotocol::kDefaultTunName;
    params.gateway = gatewayMode();
    const QPointer<FRWTunnelController> self(this);
    connection()->startCore(
        params,
        [self, completion](FRWResult error) {
            if (!error && self) {
                self->startConfigWatch();
            }
            completion(std::move(error));
        },
        [completion](FRWError error) { completion(std::move(error)); });
}

void FRWTunnelController::xpcStop(std::function<void(FRWResult)> completion)
{
    connection()->stopCore([completion](FRWResult error) { completion(std::move(error)); },
                           [completion](FRWError error) { completion(std::move(error)); });
}

void FRWTunnelController::stopWithCompletion(std::function<void(FRWResult)> completion)
{
    if (helperReady()) {
        return xpcStop(std::move(completion));
    }
    // No helper: a core it left running can still be asked to stop through its own API.
    const std::optional<QJsonObject> info = readAPIInfo(m_env.helperAPIInfoPath);
    std::optional<QNetworkRequest> request =
        info ? FRWControllerAPI::requestForPath(QStringLiteral("/stop"), *info) : std::nullopt;
    if (!request) {
        return completion(std::nullopt);
    }
    request->setTransferTimeout(m_env.helperStopRequestTimeoutMs);
    auto* network = new QNetworkAccessManager(this);
    network->setProxy(QNetworkProxy::NoProxy);
    QNetworkReply* reply = network->sendCustomRequest(*request, "POST");
    connect(reply, &QNetworkReply::finished, network, [network, completion] {
        network->deleteLater();
        completion(std::nullopt);
    });
}
