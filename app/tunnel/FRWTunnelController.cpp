#include "FRWTunnelController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include "FRWAPIInfo.h"
#include "FRWAppPaths.h"
#include "FRWConfigWatch.h"
#include "FRWControllerAPI.h"
#include "FRWDefaultsKeys.h"
#include "FRWInstallLayout.h"
#include "FRWNames.h"
#include "FRWPlatformTerms.h"
#include "FRWProfileStore.h"
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

QString FRWTunnelController::socksAddress()
{
    return QLatin1String(ferrow::kSocksAddress);
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
    return allowLAN() ? QLatin1String(ferrow::kSocksLANBindAddress) : QLatin1String(ferrow::kSocksAddress);
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

    waitForSocksReady(task, [this, guarded, completion](FRWResult waitError) {
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
    pollForAPIInfoAt(socksInfoPath(), task, 0, [guarded, completion](std::optional<QJsonObject> info) {
        if (info) {
            completion(std::nullopt);
        } else if (!isRunning(guarded)) {
            fail(completion, QStringLiteral("The core exited during startup. Check the profile for errors."));
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
    QTimer::singleShot(m_env.readinessIntervalMs, [self, path, guarded, attempt, completion] {
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
