#include "FRWAppModel.h"

#include <utility>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QPointer>
#include <QTimer>

#include "FRWAPIInfo.h"
#include "FRWAppPaths.h"
#include "FRWClock.h"
#include "FRWDefaultsKeys.h"
#include "FRWGroupChoices.h"
#include "FRWModelTunnel.h"
#include "FRWOtherAccounts.h"
#include "FRWTunnelController.h"
#include "FRWTunnelPresenter.h"
#include "FRWUserDefaults.h"

namespace {

constexpr qint64 kSweepIntervalSeconds = 300;

QString otherAccountsText(const QStringList& names)
{
    if (names.isEmpty()) {
        return {};
    }
    return QCoreApplication::translate(
               "FRWAppModel",
               "Also logged in to this computer: %1. While Enhanced Mode is on, their traffic and DNS "
               "go through your profile, and you can see it.")
        .arg(names.join(QStringLiteral(", ")));
}

qint64 integerOf(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toInteger(0);
}

void readPeriod(const QJsonObject& stats, const char* period, qint64& up, qint64& down)
{
    const QJsonObject values = stats.value(QLatin1String(period)).toObject();
    up = integerOf(values, "up");
    down = integerOf(values, "down");
}

QStringList stringsOf(const QJsonValue& value)
{
    QStringList strings;
    for (const QJsonValue element : value.toArray()) {
        if (element.isString()) {
            strings.append(element.toString());
        }
    }
    return strings;
}

bool isBuiltInPolicy(const QString& name)
{
    return name == u"DIRECT" || name == u"REJECT" || name == u"Direct" || name == u"Reject";
}

} // namespace

FRWAppModel::FRWAppModel(FRWAppModelSetup setup, QObject* parent)
    : QObject(parent)
    , m_setup(std::move(setup))
    , m_tunnel(*m_setup.tunnel)
    , m_defaults(std::make_unique<FRWUserDefaults>(m_setup.settingsFile))
    , m_api(new FRWControllerAPI(
          [this] { return apiInfo(); },
          [this](auto completion) { m_tunnel.apiForMeasurementWithCompletion(std::move(completion)); }, this))
    , m_pollAPI(new FRWControllerAPI(
          [this]() -> std::optional<QJsonObject> {
              // Runs on the poll thread: only the path noted at the poll's start is used there.
              QString path;
              {
                  QMutexLocker lock(&m_pollInfoMutex);
                  path = m_pollInfoPath;
              }
              return FRWAPIInfo::read(path);
          },
          nullptr))
{
    m_pollThread.setObjectName(QStringLiteral("ferrow-poll"));
    m_pollAPI->moveToThread(&m_pollThread);
    QObject::connect(&m_pollThread, &QThread::finished, m_pollAPI, &QObject::deleteLater);
    m_pollThread.start();

    if (!m_setup.probes.clock) {
        m_setup.probes.clock = m_setup.clock;
    }
    if (!m_setup.probes.networkChecksAllowed) {
        m_setup.probes.networkChecksAllowed = [this] { return networkChecksEnabled(); };
    }
    FRWNetworkProbe::Model probeModel;
    probeModel.running = [this] { return m_running; };
    probeModel.selectedNode = [this] {
        return m_groups.isEmpty() ? QString() : m_groups.constFirst().selected();
    };
    probeModel.testNode = [this](const QString& node, std::function<void(int)> completion) {
        testNode(node, std::move(completion));
    };
    probeModel.systemProxyRunning = [this] { return systemProxyRunning(); };
    m_probe = new FRWNetworkProbe(m_setup.probes, std::move(probeModel), this);
    QObject::connect(m_probe, &FRWNetworkProbe::changed, this, &FRWAppModel::didUpdate);
}

FRWAppModel::~FRWAppModel()
{
    // Poll answers and lookups are posted to this object; stop both before going.
    m_lookups.waitForDone();
    m_pollThread.quit();
    m_pollThread.wait();
}

FRWAppModel& FRWAppModel::shared()
{
    static FRWAppModel* const instance = [] {
        static FRWControllerModelTunnel tunnel(FRWTunnelController::shared());
        FRWAppModelSetup setup;
        setup.tunnel = &tunnel;
        setup.settingsFile = FRWAppPaths::fromEnvironment().settingsFile;
        setup.otherAccounts = [] { return FRWOtherAccounts::system().loggedIn(); };
        return new FRWAppModel(std::move(setup));
    }();
    return *instance;
}

QDateTime FRWAppModel::now() const
{
    return (m_setup.clock ? *m_setup.clock : FRWClock::system()).now();
}

std::optional<QJsonObject> FRWAppModel::apiInfo() const
{
    return FRWAPIInfo::read(m_tunnel.currentAPIInfoPath());
}

bool FRWAppModel::systemProxyRunning() const
{
    return m_tunnel.systemProxyRunning();
}

// ---- The tick

void FRWAppModel::start()
{
    if (m_timer) {
        return;
    }
    m_timer = new QTimer(this);
    m_timer->setInterval(m_setup.tickIntervalMs);
    QObject::connect(m_timer, &QTimer::timeout, this, &FRWAppModel::tick);
    m_timer->start();
    // The first poll that finds a core answering reads its sharing state.
    poll();
    probeNetwork();
}

void FRWAppModel::tick()
{
    poll();
    if ((m_probeTick & 7) == 0) {
        probeNetwork();
    }
    if (m_probeTick % 10 == 0) {
        maybeSweepLatencies();
    }
    ++m_probeTick;
}

void FRWAppModel::poll()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &FRWAppModel::poll, Qt::QueuedConnection);
        return;
    }
    if (m_polling) {
        return;
    }
    const QString path = m_tunnel.currentAPIInfoPath();
    const std::optional<QJsonObject> info = FRWAPIInfo::read(path);
    if (!info || !FRWControllerAPI::requestForPath(QStringLiteral("/status"), *info)) {
        if (m_running) {
            m_running = false;
            clearLocalProxyState();
            publish();
        }
        return;
    }
    m_polling = true;
    {
        QMutexLocker lock(&m_pollInfoMutex);
        m_pollInfoPath = path;
    }
    const PollTicket ticket{m_log.epoch(), FRWControllerAPI::coreIdentity(*info)};
    const qint64 cursor = m_log.requestCursor();
    FRWControllerAPI* api = m_pollAPI;
    QMetaObject::invokeMethod(
        api,
        [this, api, cursor, ticket] {
            api->poll(cursor, [this, ticket](FRWPollResult result) {
                // The model outlives the poll thread (its destructor stops it), so posting is safe.
                QMetaObject::invokeMethod(
                    this, [this, result = std::move(result), ticket] { applyPoll(result, ticket); },
                    Qt::QueuedConnection);
            });
        },
        Qt::QueuedConnection);
}

void FRWAppModel::applyPoll(const FRWPollResult& result, const PollTicket& ticket)
{
    if (result.connections) {
        m_connections = *result.connections;
    }
    if (result.stats) {
        applyStats(*result.stats);
    }
    if (result.outbound) {
        applyOutbound(*result.outbound);
    }
    // Lines from a core replaced meanwhile, or from before a reset of the stream, never enter the log.
    std::optional<QJsonObject> logs = result.logs;
    if (logs) {
        const std::optional<QJsonObject> info = apiInfo();
        if (m_log.epoch() != ticket.logsEpoch || !info ||
            FRWControllerAPI::coreIdentity(*info) != ticket.coreIdentity) {
            logs.reset();
        }
    }
    applyStatus(result.status, result.groups, logs);
    m_polling = false;
}

void FRWAppModel::noticeModeEnded()
{
    const Mode served = std::exchange(m_servedMode, Mode::None);
    // A stop the user asked for clears the wish first; a core that is only slow to answer still
    // has its process or its api-info file.
    if (served == Mode::SystemProxy && m_defaults->boolean(ferrow::defaults::kDesiredSystemProxy) &&
        !m_tunnel.systemProxyRunning()) {
        emit modeEndedOnItsOwn(tr("System Proxy stopped"),
                               tr("Its core exited. The desktop's proxy settings were put back, so "
                                  "traffic now goes out directly."));
    } else if (served == Mode::Enhanced && m_defaults->boolean(ferrow::defaults::kDesiredEnhancedMode) &&
               !m_tunnel.tunnelCoreRunning()) {
        emit modeEndedOnItsOwn(tr("Enhanced Mode stopped"),
                               tr("Its core exited, so traffic now goes out directly."));
    }
}

void FRWAppModel::applyStats(const QJsonObject& stats)
{
    readPeriod(stats, "today", m_statsTodayUp, m_statsTodayDown);
    readPeriod(stats, "month", m_statsMonthUp, m_statsMonthDown);
    const QJsonArray hourly = stats.value(QLatin1String("hourly")).toArray();
    m_statsHourly.clear();
    m_statsHourly.reserve(hourly.size());
    for (const QJsonValue hour : hourly) {
        if (hour.isObject()) {
            const QJsonObject values = hour.toObject();
            m_statsHourly.append(integerOf(values, "up") + integerOf(values, "down"));
        }
    }
}

void FRWAppModel::applyOutbound(const QJsonObject& outbound)
{
    const QJsonValue mode = outbound.value(QLatin1String("mode"));
    if (mode.isString()) {
        m_outboundMode = mode.toString();
    }
    m_outboundGlobalNode = outbound.value(QLatin1String("global")).toString();
    m_outboundNodes = stringsOf(outbound.value(QLatin1String("nodes")));
}

void FRWAppModel::applyStatus(const std::optional<QJsonObject>& status,
                              const std::optional<QJsonArray>& groups, const std::optional<QJsonObject>& logs)
{
    const bool wasRunning = m_running;
    m_running = status && status->value(QLatin1String("running")).toBool();
    if (m_running && !wasRunning) {
        // A new route: look the public address and its location up again through it.
        m_probe->clearGeoIP();
        QMetaObject::invokeMethod(this, &FRWAppModel::probeNetwork, Qt::QueuedConnection);
        // The sharing state belongs to the core that answers now, not to the one seen at launch.
        QMetaObject::invokeMethod(this, &FRWAppModel::refreshLocalProxyState, Qt::QueuedConnection);
    } else if (!m_running && wasRunning) {
        clearLocalProxyState();
        noticeModeEnded();
    }
    if (m_running) {
        m_servedMode = systemProxyRunning() ? Mode::SystemProxy : Mode::Enhanced;
    }
    if (status) {
        // The core saw another network or a wake-up: the name, the public address and its
        // location may all have changed.
        const qint64 networkChanges = integerOf(*status, "networkChanges");
        if (m_running && wasRunning && networkChanges != m_networkChanges) {
            m_probe->clearGeoIP();
            QMetaObject::invokeMethod(this, &FRWAppModel::probeNetwork, Qt::QueuedConnection);
        }
        m_networkChanges = networkChanges;
        m_rates.apply(integerOf(*status, "uplink"), integerOf(*status, "downlink"));
        const QStringList failing = stringsOf(status->value(QLatin1String("failing")));
        m_failingNodes = QSet<QString>(failing.begin(), failing.end());
    } else {
        m_failingNodes.clear();
    }
    if (groups) {
        QList<FRWProxyGroup> rebuilt;
        rebuilt.reserve(groups->size());
        for (const QJsonValue group : *groups) {
            if (group.isObject()) {
                rebuilt.append(FRWProxyGroup::fromRecord(group.toObject()));
            }
        }
        m_groups = std::move(rebuilt);
        applyKeptChoices();
    }
    const std::optional<QJsonObject> info = apiInfo();
    // An answer asked for with another core's cursor would skip the new core's first lines.
    const bool replaced = m_log.noteCoreIdentity(info ? FRWControllerAPI::coreIdentity(*info) : QString());
    if (logs && !replaced) {
        m_log.apply(*logs);
    }
    publish();
}

void FRWAppModel::resetLogStream()
{
    m_log.reset();
}

// ---- Enhanced Mode and System Proxy mode

void FRWAppModel::alert(const QString& message, const FRWError& error, std::function<void()> then)
{
    if (!m_setup.presenter) {
        qWarning("ferrow: %s: %s", qUtf8Printable(message), qUtf8Printable(error.description));
        then();
        return;
    }
    m_setup.presenter->presentWarning(message, error.description, std::move(then));
}

void FRWAppModel::reportFailure(const QString& what, const FRWError& error)
{
    m_log.appendOwn(QStringLiteral("%1 [error] ferrow: %2: %3")
                        .arg(now().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), what,
                             error.description));
    publish();
    QPointer<FRWAppModel> self(this);
    alert(what, error, [self] {
        if (self) {
            self->poll();
        }
    });
}

void FRWAppModel::connect()
{
    QPointer<FRWAppModel> self(this);
    m_tunnel.startWithCompletion([self](const FRWResult& error) {
        if (!self) {
            return;
        }
        if (!error) {
            self->lookForOtherAccounts();
            return self->poll();
        }
        self->m_defaults->setBoolean(ferrow::defaults::kDesiredEnhancedMode, false);
        self->reportFailure(tr("Couldn't connect"), *error);
    });
}

void FRWAppModel::disconnect()
{
    m_otherAccounts.clear();
    m_rates.forgetTotals();
    resetLogStream();
    QPointer<FRWAppModel> self(this);
    m_tunnel.stopWithCompletion([self](const FRWResult& error) {
        if (error) {
            qWarning("ferrow: disconnect failed: %s", qUtf8Printable(error->description));
        }
        if (self) {
            self->poll();
        }
    });
}

void FRWAppModel::lookForOtherAccounts()
{
    m_otherAccounts.clear();
    if (!m_setup.otherAccounts) {
        return;
    }
    m_lookups.start([this, lookup = m_setup.otherAccounts] {
        QStringList names = lookup();
        QMetaObject::invokeMethod(
            this,
            [this, names = std::move(names)] {
                m_otherAccounts = names;
                if (!names.isEmpty()) {
                    m_log.appendOwn(
                        QStringLiteral("%1 [warning] ferrow: %2")
                            .arg(now().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                 otherAccountsText(names)));
                }
                publish();
            },
            Qt::QueuedConnection);
    });
}

QString FRWAppModel::otherAccountsNotice() const
{
    return enhancedRunning() ? otherAccountsText(m_otherAccounts) : QString();
}

void FRWAppModel::toggle()
{
    if (systemProxyRunning()) {
        // The switch says "Enhanced Mode": while System Proxy runs it switches modes, rather than
        // turning off a core that is not Enhanced Mode's.
        m_defaults->setBoolean(ferrow::defaults::kDesiredEnhancedMode, true);
        stopSystemProxyThen(&FRWAppModel::connect);
        return;
    }
    // Either kind of core counts: the switch turns whatever answers off.
    const bool want = !m_running;
    m_defaults->setBoolean(ferrow::defaults::kDesiredEnhancedMode, want);
    if (want) {
        connect();
    } else {
        disconnect();
    }
}

void FRWAppModel::stopSystemProxyThen(void (FRWAppModel::*then)())
{
    m_defaults->setBoolean(ferrow::defaults::kDesiredSystemProxy, false);
    QPointer<FRWAppModel> self(this);
    m_tunnel.stopSystemProxy([self, then] {
        if (self) {
            self->m_rates.forgetTotals();
            self->resetLogStream();
            (self.data()->*then)();
        }
    });
}

void FRWAppModel::toggleSystemProxy()
{
    if (systemProxyRunning()) {
        stopSystemProxyThen(&FRWAppModel::poll);
        return;
    }
    m_defaults->setBoolean(ferrow::defaults::kDesiredSystemProxy, true);
    QPointer<FRWAppModel> self(this);
    m_tunnel.startSystemProxyWithCompletion([self](const FRWResult& error) {
        if (!self) {
            return;
        }
        if (!error) {
            return self->poll();
        }
        self->m_defaults->setBoolean(ferrow::defaults::kDesiredSystemProxy, false);
        self->reportFailure(tr("Couldn't start System Proxy"), *error);
    });
}

void FRWAppModel::restoreDesiredModes()
{
    if (m_running || systemProxyRunning() || m_tunnel.tunnelCoreRunning()) {
        return;
    }
    QPointer<FRWAppModel> self(this);
    if (m_defaults->boolean(ferrow::defaults::kDesiredSystemProxy)) {
        m_tunnel.startSystemProxyWithCompletion([self](const FRWResult& error) {
            if (!self) {
                return;
            }
            if (!error) {
                return self->poll();
            }
            qWarning("ferrow: could not restore System Proxy: %s", qUtf8Printable(error->description));
            self->m_defaults->setBoolean(ferrow::defaults::kDesiredSystemProxy, false);
            // The desktop is left without the proxy the user expects; say so rather than only log it.
            self->reportFailure(tr("System Proxy was not turned back on"), *error);
        });
    } else if (m_defaults->boolean(ferrow::defaults::kDesiredEnhancedMode)) {
        m_tunnel.startIfHelperCurrentWithCompletion([self](bool started, const FRWResult& error) {
            if (!self) {
                return;
            }
            if (error) {
                qWarning("ferrow: could not restore Enhanced Mode: %s", qUtf8Printable(error->description));
                self->m_defaults->setBoolean(ferrow::defaults::kDesiredEnhancedMode, false);
                self->reportFailure(tr("Enhanced Mode was not turned back on"), *error);
                return;
            }
            if (!started) {
                qWarning("ferrow: Enhanced Mode not restored \u2014 helper missing or out of date");
            } else {
                self->lookForOtherAccounts();
            }
            self->poll();
        });
    }
}

// ---- Outbound mode and groups

void FRWAppModel::setOutboundMode(const QString& mode, const QString& node)
{
    if (!apiInfo()) {
        return;
    }
    m_outboundMode = mode;
    if (mode == u"global" && !node.isEmpty()) {
        m_outboundGlobalNode = node;
    }
    publish();
    QPointer<FRWAppModel> self(this);
    m_api->setOutboundMode(mode, node, [self] {
        if (self) {
            self->poll();
        }
    });
}

void FRWAppModel::selectGroup(const QString& group, const QString& member)
{
    FRWGroupChoices::keep(*m_defaults, group, member);
    publish();
    if (!apiInfo()) {
        return;
    }
    QPointer<FRWAppModel> self(this);
    m_api->selectGroup(group, member, [self] {
        if (self) {
            self->poll();
        }
    });
}

bool FRWAppModel::consented(const char* key) const
{
    return !m_defaults->contains(key) || m_defaults->boolean(key);
}

bool FRWAppModel::networkChecksEnabled() const
{
    return consented(ferrow::defaults::kNetworkChecks);
}

void FRWAppModel::setNetworkChecksEnabled(bool enabled)
{
    m_defaults->setBoolean(ferrow::defaults::kNetworkChecks, enabled);
    publish();
}

bool FRWAppModel::updateChecksEnabled() const
{
    return consented(ferrow::defaults::kCheckForUpdates);
}

void FRWAppModel::setUpdateChecksEnabled(bool enabled)
{
    m_defaults->setBoolean(ferrow::defaults::kCheckForUpdates, enabled);
    publish();
}

QString FRWAppModel::chosenMember(const QString& group) const
{
    return FRWGroupChoices::forActiveProfile(*m_defaults).value(group).toString();
}

void FRWAppModel::applyKeptChoices()
{
    const std::optional<QJsonObject> info = apiInfo();
    const QString core = info ? FRWControllerAPI::coreIdentity(*info) : QString();
    if (core != m_choicesCore) {
        m_choicesCore = core;
        m_choicesAsked.clear();
    }
    if (core.isEmpty()) {
        return;
    }
    const QJsonObject choices = FRWGroupChoices::forActiveProfile(*m_defaults);
    for (const FRWProxyGroup& group : std::as_const(m_groups)) {
        const QString member = choices.value(group.name()).toString();
        if (member.isEmpty() || member == group.selected() || !group.members().contains(member)) {
            continue;
        }
        const QString asked = group.name() + u'\n' + member + u'\n' + group.members().join(u'\n');
        if (m_choicesAsked.contains(asked)) {
            continue;
        }
        m_choicesAsked.insert(asked);
        QPointer<FRWAppModel> self(this);
        m_api->selectGroup(group.name(), member, [self] {
            if (self) {
                self->poll();
            }
        });
    }
}

// ---- Node tests

void FRWAppModel::testNode(const QString& node, std::function<void(int)> completion)
{
    m_api->testNode(node, std::move(completion));
}

void FRWAppModel::testNodeCached(const QString& node)
{
    if (m_testingNodes.contains(node)) {
        return;
    }
    m_testingNodes.insert(node);
    publish();
    QPointer<FRWAppModel> self(this);
    m_api->testNode(node,
                    std::function<void(int, const QString&)>([self, node](int ms, const QString& failure) {
                        if (!self) {
                            return;
                        }
                        self->m_testingNodes.remove(node);
                        self->m_latencyCache.insert(node, ms);
                        self->m_latencyFailure.insert(node, ms < 0 ? failure : QString());
                        self->m_latencyAt.insert(node, self->now());
                        self->publish();
                    }));
}

bool FRWAppModel::latencyIsStale(const QString& node) const
{
    const auto at = m_latencyAt.constFind(node);
    if (at == m_latencyAt.constEnd()) {
        return false;
    }
    return at->secsTo(now()) > kSweepIntervalSeconds ||
           (m_failingNodes.contains(node) && m_latencyCache.value(node) >= 0);
}

void FRWAppModel::testAllNodes(const QStringList& alsoNodes)
{
    QStringList names;
    QSet<QString> seen;
    const auto add = [&names, &seen](const QString& name) {
        if (!isBuiltInPolicy(name) && !seen.contains(name)) {
            seen.insert(name);
            names.append(name);
        }
    };
    for (const FRWProxyGroup& group : std::as_const(m_groups)) {
        for (const QString& member : group.members()) {
            add(member);
        }
    }
    for (const QString& node : std::as_const(m_outboundNodes)) {
        add(node);
    }
    for (const QString& node : alsoNodes) {
        add(node);
    }
    for (const QString& name : std::as_const(names)) {
        testNodeCached(name);
    }
}

void FRWAppModel::maybeSweepLatencies()
{
    if (!m_running) {
        return;
    }
    const QDateTime at = now();
    if (m_lastSweepAt.isValid() && m_lastSweepAt.secsTo(at) < kSweepIntervalSeconds &&
        m_lastSweepAt.secsTo(at) >= 0) {
        return;
    }
    m_lastSweepAt = at;
    testAllNodes();
}

// ---- Local proxy sharing and the thin wrappers

void FRWAppModel::applyLocalProxyState(const std::optional<QJsonObject>& state)
{
    if (!state) {
        return;
    }
    m_localProxyRunning = state->value(QLatin1String("running")).toBool();
    m_localProxyAddress = state->value(QLatin1String("address")).toString();
    publish();
}

void FRWAppModel::clearLocalProxyState()
{
    m_localProxyRunning = false;
    m_localProxyAddress.clear();
}

void FRWAppModel::setLocalProxyEnabled(bool enabled, const QString& listen)
{
    if (!apiInfo()) {
        return;
    }
    QPointer<FRWAppModel> self(this);
    m_api->setLocalProxyEnabled(enabled, listen, [self](const std::optional<QJsonObject>& state) {
        if (self) {
            self->applyLocalProxyState(state);
        }
    });
}

void FRWAppModel::refreshLocalProxyState()
{
    if (!apiInfo()) {
        return;
    }
    QPointer<FRWAppModel> self(this);
    m_api->refreshLocalProxyState([self](const std::optional<QJsonObject>& state) {
        if (self) {
            self->applyLocalProxyState(state);
        }
    });
}

void FRWAppModel::fetchRuleSets(std::function<void(QJsonArray)> completion)
{
    m_api->fetchRuleSets(std::move(completion));
}

void FRWAppModel::fetchHistory(const QString& dimension, int days,
                               std::function<void(std::optional<QJsonObject>)> completion)
{
    m_api->fetchHistory(dimension, days, std::move(completion));
}

void FRWAppModel::updateAllRuleSets(std::function<void()> completion)
{
    m_api->updateAllRuleSets(std::move(completion));
}

void FRWAppModel::fetchEventsSince(qint64 cursor, std::function<void(QJsonArray, qint64)> completion)
{
    m_api->fetchEventsSince(cursor, std::move(completion));
}
