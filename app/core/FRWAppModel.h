#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QThreadPool>

#include "FRWControllerAPI.h"
#include "FRWError.h"
#include "FRWLogStream.h"
#include "FRWNetworkProbe.h"
#include "FRWProxyGroup.h"
#include "FRWTimings.h"
#include "FRWTrafficRates.h"

class FRWClock;
class FRWModelTunnel;
class FRWTunnelPresenter;
class FRWUserDefaults;
class QTimer;

/// What the app model works with; the real program builds it around the shared tunnel controller.
struct FRWAppModelSetup {
    FRWModelTunnel* tunnel = nullptr;
    QString settingsFile;
    /// Where "Couldn't connect" and "Couldn't start System Proxy" go; the GUI sets it.
    FRWTunnelPresenter* presenter = nullptr;
    const FRWClock* clock = nullptr;
    int tickIntervalMs = FRWTimings::kTickIntervalMs;
    FRWNetworkProbe::Setup probes;
    /// The other accounts logged in to this computer; blocking, called on a worker thread after each
    /// Enhanced Mode start. Nothing is asked when null.
    std::function<QStringList()> otherAccounts;
};

/// The application's one live picture of the running core. Polls the core's controller API once a
/// second, turns the answers into plain values, keeps histories for the charts, runs the network
/// probes and node sweeps, and offers every user-level operation on the core. Views read it when
/// `didUpdate` fires (possibly several times a tick) and call its operations; they never talk to the
/// core. GUI thread only; nothing here blocks it: the poll's HTTP and JSON work runs on a worker
/// thread, and operations complete asynchronously and publish when they land.
class FRWAppModel : public QObject {
    Q_OBJECT

public:
    explicit FRWAppModel(FRWAppModelSetup setup, QObject* parent = nullptr);
    ~FRWAppModel() override;
    Q_DISABLE_COPY_MOVE(FRWAppModel)

    /// The process's model, around the shared tunnel controller.
    static FRWAppModel& shared();

    void setPresenter(FRWTunnelPresenter* presenter) { m_setup.presenter = presenter; }

    // ---- The tick
    /// Starts the one-second tick, once; polls and probes at once. Each core that starts answering
    /// has its sharing state read, and the state is cleared when it stops.
    void start();
    /// One firing of the tick: poll, probe every 8th, consider a sweep every 10th.
    void tick();
    /// One poll of the core; at most one is in flight. May be called from any thread.
    void poll();

    // ---- Operations
    void connect();
    void disconnect();
    void toggle();
    void toggleSystemProxy();
    /// At launch: brings back the mode the user last chose, without any password prompt.
    void restoreDesiredModes();
    void setOutboundMode(const QString& mode, const QString& node);
    /// Keeps the choice for the active profile and, when a core answers, makes it at once. A choice
    /// made while nothing runs is made by the next core that starts.
    void selectGroup(const QString& group, const QString& member);
    /// The member last chosen in the active profile's group; empty when none was.
    QString chosenMember(const QString& group) const;
    void testNode(const QString& node, std::function<void(int ms)> completion);
    void testNodeCached(const QString& node);
    /// Tests every node the groups and global mode can use, and `alsoNodes` (the profile's, so that
    /// they are tested while no core runs: the measurement core starts for them).
    void testAllNodes(const QStringList& alsoNodes = {});
    void maybeSweepLatencies();
    void setLocalProxyEnabled(bool enabled, const QString& listen);
    void refreshLocalProxyState();
    void fetchRuleSets(std::function<void(QJsonArray)> completion);
    void fetchHistory(const QString& dimension, int days,
                      std::function<void(std::optional<QJsonObject>)> completion);
    void updateAllRuleSets(std::function<void()> completion);
    void fetchEventsSince(qint64 cursor, std::function<void(QJsonArray, qint64)> completion);
    void resetLogStream();

    /// Whether the external address, its location and the resolver latency may be looked up from
    /// public services; on unless the user turned it off. Honoured from the next probe.
    bool networkChecksEnabled() const;
    void setNetworkChecksEnabled(bool enabled);
    /// Whether the update feed may be read without the user asking; on unless turned off.
    bool updateChecksEnabled() const;
    void setUpdateChecksEnabled(bool enabled);

    // ---- Probes
    void probeNetwork() { m_probe->probeNetwork(); }
    void refreshExternalIP() { m_probe->refreshExternalIP(); }
    void setShowIPv6(bool show) { m_probe->setShowIPv6(show); }
    QString externalIP() const { return m_probe->externalIP(); }
    QString externalIPUpdatedText() const { return m_probe->externalIPUpdatedText(); }
    std::optional<FRWPhysicalInterface> physicalIf() const { return m_probe->physicalIf(); }
    QString displayNetworkNameFor(const QString& interface) const
    {
        return m_probe->displayNetworkNameFor(interface);
    }
    void requestLocationForSSIDIfNeeded() { m_probe->requestLocationForSSIDIfNeeded(); }
    FRWNetworkProbe& probes() { return *m_probe; }

    // ---- Published state
    bool running() const { return m_running; }
    double uplinkRate() const { return m_rates.uplinkRate(); }
    double downlinkRate() const { return m_rates.downlinkRate(); }
    /// Bytes per poll, oldest first, at most 60.
    const QList<double>& uplinkHistory() const { return m_rates.uplinkHistory(); }
    const QList<double>& downlinkHistory() const { return m_rates.downlinkHistory(); }
    const QString& outboundMode() const { return m_outboundMode; }
    const QString& outboundGlobalNode() const { return m_outboundGlobalNode; }
    const QStringList& outboundNodes() const { return m_outboundNodes; }
    const QList<FRWProxyGroup>& groups() const { return m_groups; }
    /// Connection records as the core sends them.
    const QJsonArray& connections() const { return m_connections; }
    const QStringList& logs() const { return m_log.logs(); }
    /// Changes whenever the log changed; a jump of about 1,000,000 means "rebuild".
    qint64 logsCursor() const { return m_log.logsCursor(); }
    qint64 statsTodayUp() const { return m_statsTodayUp; }
    qint64 statsTodayDown() const { return m_statsTodayDown; }
    qint64 statsMonthUp() const { return m_statsMonthUp; }
    qint64 statsMonthDown() const { return m_statsMonthDown; }
    const QList<qint64>& statsHourly() const { return m_statsHourly; }
    bool localProxyRunning() const { return m_localProxyRunning; }
    const QString& localProxyAddress() const { return m_localProxyAddress; }
    const QString& networkName() const { return m_probe->networkName(); }
    const QString& latencyText() const { return m_probe->latencyText(); }
    const QString& dnsLatencyText() const { return m_probe->dnsLatencyText(); }
    const QString& proxyLatencyText() const { return m_probe->proxyLatencyText(); }
    bool showIPv6() const { return m_probe->showIPv6(); }
    const QString& ipv4() const { return m_probe->ipv4(); }
    const QString& ipv6() const { return m_probe->ipv6(); }
    const QDateTime& ipUpdated() const { return m_probe->ipUpdated(); }
    const QString& geoCountryCode() const { return m_probe->geoCountryCode(); }
    const QString& geoCountry() const { return m_probe->geoCountry(); }
    const QString& geoCity() const { return m_probe->geoCity(); }
    const QString& geoASN() const { return m_probe->geoASN(); }
    const QString& geoIP() const { return m_probe->geoIP(); }

    // ---- Derived
    bool systemProxyRunning() const;
    /// A core answers and it is not the System Proxy core: the helper-run one.
    bool enhancedRunning() const { return m_running && !systemProxyRunning(); }
    /// While Enhanced Mode runs and other accounts were logged in at its start: one line saying that
    /// their traffic and DNS pass through it too. Empty otherwise.
    QString otherAccountsNotice() const;
    /// Node name → milliseconds of its last test; −1 when that test failed.
    const QHash<QString, int>& nodeLatencies() const { return m_latencyCache; }
    /// What the node's last failed test said went wrong (see FRWControllerAPI::testNode); empty
    /// after a success.
    QString nodeFailure(const QString& node) const { return m_latencyFailure.value(node); }
    const QSet<QString>& nodesTesting() const { return m_testingNodes; }
    /// The node's last result is older than the sweep interval, or a connection through the node
    /// failed since, so it no longer says how it is now.
    bool latencyIsStale(const QString& node) const;

    // ---- Internal state, readable for the screens' diagnostics and for tests
    bool polling() const { return m_polling; }
    qint64 probeTick() const { return m_probeTick; }
    qint64 logCursor() const { return m_log.requestCursor(); }
    qint64 logsEpoch() const { return m_log.epoch(); }
    const QDateTime& lastSweepAt() const { return m_lastSweepAt; }
    /// The current api-info record, read afresh.
    std::optional<QJsonObject> apiInfo() const;

signals:
    /// The model changed; re-read what you show.
    void didUpdate();
    /// System Proxy or Enhanced Mode ended without being asked to: its core died. Worth a
    /// notification, as the user may not be looking.
    void modeEndedOnItsOwn(const QString& title, const QString& body);

private:
    struct PollTicket {
        qint64 logsEpoch = 0;
        QString coreIdentity;
    };

    void publish() { emit didUpdate(); }
    void applyPoll(const FRWPollResult& result, const PollTicket& ticket);
    void applyStatus(const std::optional<QJsonObject>& status, const std::optional<QJsonArray>& groups,
                     const std::optional<QJsonObject>& logs);
    void applyStats(const QJsonObject& stats);
    void applyOutbound(const QJsonObject& outbound);
    void applyLocalProxyState(const std::optional<QJsonObject>& state);
    void clearLocalProxyState();
    /// Asks the answering core for every kept choice it does not show yet, each at most once per
    /// core and member list, so a choice the core refuses is not asked for again every tick.
    void applyKeptChoices();
    /// A switch the user may turn off: on while absent.
    bool consented(const char* key) const;
    /// Stops System Proxy and forgets the wish for it, then starts the rates and the log afresh.
    void stopSystemProxyThen(void (FRWAppModel::*then)());
    /// After an Enhanced Mode start: asks, off this thread, who else is logged in, and says so.
    void lookForOtherAccounts();
    /// After the core stopped answering: says so when the mode it served is still wished for.
    void noticeModeEnded();
    /// Puts a failed start into Logs, where nothing from a core that never ran can appear, shows
    /// the alert, and polls once it is gone.
    void reportFailure(const QString& what, const FRWError& error);
    /// Shows an alert through the presenter, or logs it without one; `then` runs once it is gone.
    void alert(const QString& message, const FRWError& error, std::function<void()> then);
    QDateTime now() const;

    FRWAppModelSetup m_setup;
    FRWModelTunnel& m_tunnel;
    std::unique_ptr<FRWUserDefaults> m_defaults;
    FRWControllerAPI* m_api;
    // The poll's requests and JSON parsing run on their own thread.
    QThread m_pollThread;
    FRWControllerAPI* m_pollAPI;
    mutable QMutex m_pollInfoMutex;
    QString m_pollInfoPath;
    FRWNetworkProbe* m_probe;
    QTimer* m_timer = nullptr;

    bool m_polling = false;
    qint64 m_probeTick = 0;
    bool m_running = false;
    qint64 m_networkChanges = 0; // the core's count of other networks and wake-ups
    FRWTrafficRates m_rates;
    FRWLogStream m_log;
    QString m_outboundMode = QStringLiteral("rule");
    QString m_outboundGlobalNode;
    QStringList m_outboundNodes;
    QList<FRWProxyGroup> m_groups;
    QJsonArray m_connections;
    qint64 m_statsTodayUp = 0;
    qint64 m_statsTodayDown = 0;
    qint64 m_statsMonthUp = 0;
    qint64 m_statsMonthDown = 0;
    QList<qint64> m_statsHourly;
    bool m_localProxyRunning = false;
    QString m_localProxyAddress;
    QHash<QString, int> m_latencyCache;
    QHash<QString, QDateTime> m_latencyAt;
    QHash<QString, QString> m_latencyFailure;
    // Nodes whose latest connection failed, as the core says: their green results are contradicted.
    QSet<QString> m_failingNodes;
    QSet<QString> m_testingNodes;
    QDateTime m_lastSweepAt;
    QString m_choicesCore;
    QSet<QString> m_choicesAsked;
    QStringList m_otherAccounts;
    enum class Mode { None, SystemProxy, Enhanced };
    // The mode the last answering core served, to tell a death from a stop.
    Mode m_servedMode = Mode::None;
    // Blocking lookups; waited for before the model goes, as they post back to it.
    QThreadPool m_lookups;
};
