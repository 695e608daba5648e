#include "SnapshotScreens.h"

#include <cmath>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListView>
#include <QMessageBox>
#include <QSaveFile>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include "FRWAppModel.h"
#include "FRWAppPaths.h"
#include "FRWClock.h"
#include "FRWConnectionsViewController.h"
#include "FRWDesktopEntries.h"
#include "FRWExternalResourcesController.h"
#include "FRWMainWindowController.h"
#include "FRWModelTunnel.h"
#include "FRWNodeEditorSheet.h"
#include "FRWNodeShareSheet.h"
#include "FRWPageKeys.h"
#include "FRWPolicyViewController.h"
#include "FRWProfileStore.h"
#include "FRWRuleViewController.h"
#include "FRWScreens.h"
#include "FRWSidebarViewController.h"
#include "FRWTakeoverSettings.h"

namespace {

/// Answers the core's controller requests and the address probes with canned JSON, longest
/// matching path prefix first.
class CannedController : public QObject {
public:
    CannedController()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }
    void set(const QString& prefix, const QByteArray& body) { m_answers.insert(prefix, body); }
    void set(const QString& prefix, const QJsonObject& body) { set(prefix, QJsonDocument(body).toJson()); }
    void set(const QString& prefix, const QJsonArray& body) { set(prefix, QJsonDocument(body).toJson()); }

private:
    void answer(QTcpSocket* socket)
    {
        QByteArray& buffer = m_pending[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n")) {
            return;
        }
        const QString target = QString::fromLatin1(buffer.split(' ').value(1));
        m_pending.remove(socket);
        QString best;
        for (auto it = m_answers.cbegin(); it != m_answers.cend(); ++it) {
            if (target.startsWith(it.key()) && it.key().size() > best.size()) {
                best = it.key();
            }
        }
        const QByteArray body = best.isEmpty() ? QByteArray("{}") : m_answers.value(best);
        socket->write(
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
            QByteArray::number(body.size()) + "\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QString, QByteArray> m_answers;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

/// The tunnel as the model sees it: a core announced by a fixed api-info file, or none.
class CannedTunnel : public FRWModelTunnel {
public:
    bool systemProxyRunning() const override { return systemProxy; }
    bool tunnelCoreRunning() const override { return false; }
    QString currentAPIInfoPath() const override { return apiInfoPath; }
    void apiForMeasurementWithCompletion(std::function<void(std::optional<QJsonObject>)> completion) override
    {
        completion(std::nullopt);
    }
    void startWithCompletion(std::function<void(FRWResult)> completion) override { completion(std::nullopt); }
    void stopWithCompletion(std::function<void(FRWResult)> completion) override { completion(std::nullopt); }
    void startSystemProxyWithCompletion(std::function<void(FRWResult)> completion) override
    {
        completion(std::nullopt);
    }
    void stopSystemProxy(std::function<void()> done) override { done(); }
    void startIfHelperCurrentWithCompletion(std::function<void(bool, FRWResult)> completion) override
    {
        completion(false, std::nullopt);
    }
    QString apiInfoPath;
    // Enhanced Mode: the address probes then go straight to the canned services.
    bool systemProxy = false;
};

class CannedTakeover : public FRWTakeoverSettings {
public:
    bool allowLAN() const override { return true; }
    bool gatewayMode() const override { return gateway; }
    void setGatewayMode(bool enabled) override { gateway = enabled; }
    QString lanIPv4() const override { return QStringLiteral("192.168.1.4"); }
    bool gateway = true;
};

class SteppedClock : public FRWClock {
public:
    QDateTime now() const override { return current; }
    QDateTime current = QDateTime::currentDateTimeUtc();
};

bool waitUntil(const std::function<bool()>& done, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return done();
}

bool pollOnce(FRWAppModel& model)
{
    model.poll();
    return waitUntil([&model] { return !model.polling(); }, 5000);
}

QJsonObject connection(int id, const QString& host, const QString& process, const QString& source,
                       const QString& policy, const QString& rule, qint64 bytes, qint64 startMs, bool closed)
{
    return {{"id", id},
            {"host", host},
            {"process", process},
            {"srcip", source},
            {"srcport", 50000 + id},
            {"network", "tcp"},
            {"policy", policy},
            {"rule", rule},
            {"up", bytes / 5},
            {"down", bytes - bytes / 5},
            {"start", double(startMs)},
            {"closed", closed}};
}

QJsonArray busyConnections(qint64 now, double grow)
{
    struct Row {
        const char* host;
        const char* process;
        const char* source;
        const char* policy;
        const char* rule;
        qint64 bytes;
        bool closed;
    };
    const Row rows[] = {
        {"www.example.com", "firefox", "127.0.0.1", "HK", "DOMAIN-SUFFIX,example.com", 48200000, false},
        {"video.example.net", "firefox", "127.0.0.1", "HK", "DOMAIN-KEYWORD,video", 312000000, false},
        {"api.github.com", "git", "127.0.0.1", "DIRECT", "DOMAIN-SUFFIX,github.com", 2400000, false},
        {"imap.mail.example.org", "thunderbird", "127.0.0.1", "JP", "FINAL", 830000, false},
        {"updates.example.org", "apt", "127.0.0.1", "DIRECT", "GEOIP,NL", 96000000, true},
        {"ads.tracker.example", "firefox", "127.0.0.1", "REJECT", "DOMAIN-SUFFIX,tracker.example", 1200,
         true},
        {"cdn.example.io", "", "192.168.1.20", "HK", "FINAL", 54000000, false},
        {"time.example.com", "", "192.168.1.21", "DIRECT", "FINAL", 4800, false},
        {"a-very-long-host-name-that-will-not-fit-into-the-row.static.cdn.example.com", "curl", "127.0.0.1",
         "HK", "FINAL", 700000, false},
    };
    QJsonArray out;
    int id = 1;
    for (const Row& row : rows) {
        const qint64 bytes = row.closed ? row.bytes : qint64(double(row.bytes) * grow);
        out.append(connection(id, QString::fromLatin1(row.host), QString::fromLatin1(row.process),
                              QString::fromLatin1(row.source), QString::fromLatin1(row.policy),
                              QString::fromLatin1(row.rule), bytes, now - qint64{id} * 37000, row.closed));
        ++id;
    }
    return out;
}

void feedBusyState(CannedController& controller)
{
    QJsonArray hourly;
    for (int hour = 0; hour < 24; ++hour) {
        const qint64 bytes = hour < 7 ? 0 : qint64(4e7 * (1.2 + std::sin(hour * 0.7)));
        hourly.append(QJsonObject{{"up", bytes / 5}, {"down", bytes - bytes / 5}});
    }
    controller.set(QStringLiteral("/stats"),
                   QJsonObject{{"today", QJsonObject{{"up", 182000000.0}, {"down", 1460000000.0}}},
                               {"month", QJsonObject{{"up", 5200000000.0}, {"down", 41000000000.0}}},
                               {"hourly", hourly}});
    controller.set(QStringLiteral("/outbound"),
                   QJsonObject{{"mode", "rule"}, {"global", "HK"}, {"nodes", QJsonArray{"HK", "JP"}}});
    controller.set(QStringLiteral("/groups"), QJsonArray{});
    controller.set(QStringLiteral("/socks"), QJsonObject{{"running", true}, {"address", "0.0.0.0:7891"}});
    QJsonArray lines;
    const char* texts[] = {"[info] ferrow-core started, controller on 127.0.0.1",
                           "[info] HTTP and SOCKS5 listener on 127.0.0.1:7891",
                           "[info] www.example.com:443 via HK (DOMAIN-SUFFIX,example.com)",
                           "[warning] node JP answered slowly (812 ms)",
                           "[info] api.github.com:443 direct (DOMAIN-SUFFIX,github.com)",
                           "[error] ads.tracker.example:443 rejected (DOMAIN-SUFFIX,tracker.example)"};
    for (int i = 0; i < 36; ++i) {
        lines.append(QStringLiteral("2024-05-01 12:%1:%2 %3")
                         .arg(i / 6, 2, 10, QChar('0'))
                         .arg((i * 7) % 60, 2, 10, QChar('0'))
                         .arg(QString::fromLatin1(texts[i % 6])));
    }
    controller.set(QStringLiteral("/logs"),
                   QJsonObject{{"capacity", 1000}, {"lines", lines}, {"cursor", 36}});
    controller.set(QStringLiteral("/ipinfo"), QJsonObject{{"country", "NL"},
                                                          {"country_name", "Netherlands"},
                                                          {"city", "Amsterdam"},
                                                          {"asn", "AS64500"},
                                                          {"as_name", "Example Net"}});
    controller.set(QStringLiteral("/ip"), QByteArray("203.0.113.42"));
}

const char* const kPages[] = {ferrow::pages::kActivity, ferrow::pages::kOverview, ferrow::pages::kConnections,
                              ferrow::pages::kProcess,  ferrow::pages::kDevice,   ferrow::pages::kLogs,
                              ferrow::pages::kSettings, ferrow::pages::kAbout,    ferrow::pages::kProfile,
                              ferrow::pages::kPolicy,   ferrow::pages::kRule};

/// Nodes, a group and rules, so that the editing pages have something to show.
void fillProfile(FRWProfileStore& profiles)
{
    profiles.addNode(QStringLiteral("Hong Kong"), QStringLiteral("hk.example.net"), 443,
                     QStringLiteral("a2V5"), QStringLiteral("auto"));
    profiles.addNode(QStringLiteral("Tokyo"), QStringLiteral("203.0.113.20"), 8443, QStringLiteral("a2V5"),
                     QStringLiteral("off"));
    profiles.addGroup(QStringLiteral("Proxy"), QStringLiteral("select"),
                      {QStringLiteral("Hong Kong"), QStringLiteral("Tokyo"), QStringLiteral("DIRECT")},
                      QString());
    profiles.setRules({
        {{"type", "DOMAIN-SUFFIX"}, {"value", "example.org"}, {"policy", "Proxy"}},
        {{"type", "IP-CIDR"}, {"value", "192.168.0.0/16"}, {"policy", "DIRECT"}},
        {{"type", "DEST-PORT"}, {"value", "25"}, {"policy", "REJECT"}},
        {{"type", "FINAL"}, {"value", ""}, {"policy", "Proxy"}},
    });
}

/// The editing pages' sheets, each over the page that opens it.
bool saveEditorSheets(FRWMainWindowController& window, const QDir& out, const QString& suffix,
                      const std::function<bool(QWidget*, const QDir&, const QString&)>& save)
{
    bool ok = true;
    const auto settle = [] { QCoreApplication::processEvents(); };
    window.showPage(QLatin1String(ferrow::pages::kPolicy));
    auto* policy =
        static_cast<FRWPolicyViewController*>(window.pageForKey(QLatin1String(ferrow::pages::kPolicy)));
    if (FRWNodeEditorSheet* sheet = policy->showNodeEditor(QStringLiteral("Hong Kong"))) {
        sheet->applyShareURI(QStringLiteral("ferrow://a2V5@hk2.example.net:9443?tfo=on#Hong%20Kong"));
        settle();
        ok = save(sheet, out, QStringLiteral("sheet-node-editor-%1.png").arg(suffix)) && ok;
        sheet->close();
    }
    settle();
    if (FRWNodeShareSheet* sheet = policy->shareNode(QStringLiteral("Hong Kong"))) {
        settle();
        ok = save(sheet, out, QStringLiteral("sheet-node-share-%1.png").arg(suffix)) && ok;
        sheet->close();
    }
    policy->addGroup();
    if (QDialog* dialog = policy->groupDialog()) {
        settle();
        ok = save(dialog, out, QStringLiteral("sheet-add-group-%1.png").arg(suffix)) && ok;
        dialog->close();
    }
    policy->deleteGroup(QStringLiteral("Proxy"));
    if (QMessageBox* box = policy->deleteConfirmation()) {
        settle();
        ok = save(box, out, QStringLiteral("sheet-delete-group-%1.png").arg(suffix)) && ok;
        box->close();
    }
    settle();
    window.showPage(QLatin1String(ferrow::pages::kRule));
    auto* rules = static_cast<FRWRuleViewController*>(window.pageForKey(QLatin1String(ferrow::pages::kRule)));
    rules->table()->selectRow(0);
    rules->editSelectedRule();
    if (FRWRuleEditorSheet* sheet = rules->ruleEditor()) {
        settle();
        ok = save(sheet, out, QStringLiteral("sheet-rule-editor-%1.png").arg(suffix)) && ok;
        sheet->commit();
        if (QMessageBox* confirmation = sheet->confirmation()) {
            settle();
            ok = save(confirmation, out, QStringLiteral("sheet-rule-confirmation-%1.png").arg(suffix)) && ok;
            confirmation->close();
        }
        sheet->close();
    }
    settle();
    return ok;
}

} // namespace

bool saveScreenSnapshots(const QDir& folder, const QString& suffix,
                         const std::function<bool(QWidget*, const QDir&, const QString&)>& save)
{
    QTemporaryDir home;
    QDir out(folder.filePath(QStringLiteral("screens")));
    if (!home.isValid() || !out.mkpath(QStringLiteral("."))) {
        return false;
    }
    CannedController controller;
    CannedTunnel tunnel;
    CannedTakeover takeover;
    SteppedClock clock;
    FRWDesktopEntries entries({home.filePath(QStringLiteral("applications"))}, {});
    QDir(home.path()).mkpath(QStringLiteral("applications"));
    {
        QSaveFile entry(home.filePath(QStringLiteral("applications/org.mozilla.firefox.desktop")));
        entry.open(QIODevice::WriteOnly);
        entry.write("[Desktop Entry]\nType=Application\nName=Firefox Web Browser\nExec=firefox %u\n");
        entry.commit();
    }
    FRWProfileStore profiles(
        FRWAppPaths::under(home.filePath(QStringLiteral("data")), home.filePath(QStringLiteral("config"))));
    profiles.load();
    fillProfile(profiles);

    FRWAppModelSetup setup;
    setup.tunnel = &tunnel;
    setup.settingsFile = home.filePath(QStringLiteral("config/Ferrow/Ferrow.conf"));
    const QUrl base(QStringLiteral("http://%1").arg(controller.address()));
    setup.probes.services = FRWProbeServices::referenceShaped(base, base, base, QStringLiteral("127.0.0.1"));
    setup.probes.services.connectPort = controller.port();
    setup.probes.services.dnsPort = controller.port();
    setup.probes.bindToPhysicalInterface = false;
    setup.probes.networkName = [](const QString&) { return QStringLiteral("Home Wi-Fi"); };
    FRWAppModel model(setup);

    FRWScreensContext context;
    context.model = &model;
    context.profiles = &profiles;
    context.takeover = &takeover;
    context.clock = &clock;
    context.desktopEntries = &entries;
    context.version = QStringLiteral("1.0.0");
    context.build = QStringLiteral("snapshot");

    bool ok = true;
    const auto shoot = [&](const QString& state,
                           const std::function<void(FRWMainWindowController&, const QString&)>& prepare) {
        FRWMainWindowController window(makeScreenPages(context));
        window.window()->show();
        for (const char* key : kPages) {
            const QString page = QLatin1String(key);
            window.sidebar()->selectItemID(page);
            window.showPage(page);
            prepare(window, page);
            ok = save(window.window(), out, QStringLiteral("screen-%1-%2-%3.png").arg(page, state, suffix)) &&
                 ok;
        }
    };

    // Empty: no core has ever answered.
    shoot(QStringLiteral("empty"), [](FRWMainWindowController&, const QString&) {});

    // Busy: a running core with traffic, a minute of rate history and the address looked up.
    const QString apiInfo = home.filePath(QStringLiteral("api-info.json"));
    {
        QSaveFile file(apiInfo);
        file.open(QIODevice::WriteOnly);
        file.write(
            QJsonDocument(QJsonObject{{"address", controller.address()}, {"secret", "snapshot"}}).toJson());
        file.commit();
    }
    tunnel.apiInfoPath = apiInfo;
    feedBusyState(controller);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    qint64 up = 1000000;
    qint64 down = 9000000;
    for (int second = 0; second < 40; ++second) {
        up += qint64(90000 + 60000 * std::sin(second * 0.45));
        down += qint64(900000 + 700000 * std::sin(second * 0.3 + 1.7) + 300000 * std::sin(second * 1.2));
        controller.set(QStringLiteral("/status"),
                       QJsonObject{{"running", true}, {"uplink", double(up)}, {"downlink", double(down)}});
        controller.set(QStringLiteral("/connections"), busyConnections(now, 1.0 + second * 0.002));
        ok = pollOnce(model) && ok;
    }
    model.refreshLocalProxyState();
    waitUntil(
        [&model] {
            return model.externalIP().contains(QLatin1Char('.')) && !model.geoASN().isEmpty() &&
                   model.localProxyRunning();
        },
        10000);

    shoot(QStringLiteral("busy"), [&](FRWMainWindowController& window, const QString& page) {
        if (page == QLatin1String(ferrow::pages::kProcess) || page == QLatin1String(ferrow::pages::kDevice)) {
            // A second sample one second later gives the rows their rates.
            clock.current = clock.current.addSecs(1);
            controller.set(QStringLiteral("/connections"), busyConnections(now, 1.2));
            pollOnce(model);
        }
        if (page == QLatin1String(ferrow::pages::kConnections)) {
            auto* connections = static_cast<FRWConnectionsViewController*>(window.pageForKey(page));
            connections->table()->selectionModel()->select(connections->table()->model()->index(1, 0),
                                                           QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
        }
    });

    {
        FRWMainWindowController window(makeScreenPages(context));
        window.window()->show();
        ok = saveEditorSheets(window, out, suffix, save) && ok;
    }

    // The external resources window over the busy core's rule sets.
    const QString updated = QDateTime::currentDateTimeUtc().addSecs(qint64{-3} * 3600).toString(Qt::ISODate);
    controller.set(
        QStringLiteral("/rulesets"),
        QJsonArray{
            QJsonObject{{"url", "https://lists.example.net/ads.list"}, {"rules", 1840}, {"updated", updated}},
            QJsonObject{{"url", "https://lists.example.net/streaming.list"},
                        {"rules", 212},
                        {"error", "HTTP 503"},
                        {"updated", updated}},
            QJsonObject{
                {"url", "https://lists.example.net/missing.list"}, {"rules", 0}, {"error", "HTTP 404"}}});
    FRWExternalResourcesController resources(model);
    bool reloaded = false;
    QObject::connect(&resources, &FRWExternalResourcesController::reloaded, [&reloaded] { reloaded = true; });
    resources.presentOver(nullptr);
    ok = waitUntil([&reloaded] { return reloaded; }, 5000) && ok;
    ok = save(resources.window(), out, QStringLiteral("external-resources-%1.png").arg(suffix)) && ok;
    resources.dismiss();
    return ok;
}
