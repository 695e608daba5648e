// One tick of the app model against a real ferrow-core holding 1,000 live connections, 100 groups
// and a full log: the GUI thread's CPU time per tick, against a baseline that polls the same six
// endpoints with the API client on the GUI thread; then the process's memory after 300 and after
// 3,000 ticks (the model's clock is moved by hand, so sweeps and probes run as they would).
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include <unistd.h>

#include "FRWAPIInfo.h"
#include "FRWAppModel.h"
#include "FRWClock.h"
#include "FRWControllerAPI.h"
#include "FRWModelTunnel.h"
#include "LoopbackOrigins.h"
#include "LoopbackSocket.h"
#include "Socks5Client.h"

#ifndef FERROW_CORE_PATH
#error "FERROW_CORE_PATH must name the ferrow-core to measure against"
#endif

namespace {

constexpr int kConnections = 1000;
constexpr int kGroups = 100;
constexpr int kLogLines = 1000;
constexpr int kTimedTicks = 200;
constexpr double kTargetMs = 2.0;

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

long residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

class BenchClock : public FRWClock {
public:
    QDateTime now() const override { return current; }
    QDateTime current = QDateTime::currentDateTimeUtc();
};

/// The tunnel, reduced to where the core's api-info file is.
class FixedTunnel : public FRWModelTunnel {
public:
    explicit FixedTunnel(QString path) : m_path(std::move(path)) {}
    bool systemProxyRunning() const override { return true; }
    bool tunnelCoreRunning() const override { return false; }
    QString currentAPIInfoPath() const override { return m_path; }
    void apiForMeasurementWithCompletion(std::function<void(std::optional<QJsonObject>)> completion) override
    {
        completion(FRWAPIInfo::read(m_path));
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

private:
    QString m_path;
};

/// One SOCKS5 CONNECT through the core to 127.0.0.1:port, kept open; -1 when it failed.
int openThroughCore(quint16 socksPort, quint16 port)
{
    const int fd = ferrow::test::connectTcp(socksPort);
    if (fd >= 0 && ferrow::test::socks5Connect(fd, "127.0.0.1", port, std::chrono::seconds(5)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

QByteArray profileText()
{
    QByteArray text = "[General]\nlog-history = " + QByteArray::number(kLogLines) +
                      "\nmax-connections = 4000\nconnection-history = 100\n\n[Proxy]\n";
    // Nodes on a closed loopback port, so node tests fail at once.
    text += "N1 = ferrow, 127.0.0.1, 1, psk=k\nN2 = ferrow, 127.0.0.1, 2, psk=k\n\n[Proxy Group]\n";
    for (int i = 1; i <= kGroups; ++i) {
        text += "Group " + QByteArray::number(i) + " = select, N1, N2, DIRECT\n";
    }
    text += "\n[Rule]\nFINAL,DIRECT\n";
    return text;
}

/// Runs the event loop until `done`, at most `timeoutMs`. Sleeps between events, so the waiting
/// itself costs no CPU time.
bool runUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&timedOut] { timedOut = true; });
    watchdog.start(timeoutMs);
    while (!done() && !timedOut) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    const QString config = folder.filePath(QStringLiteral("profile.conf"));
    const QString apiInfo = folder.filePath(QStringLiteral("api.json"));
    {
        QFile file(config);
        file.open(QIODevice::WriteOnly);
        file.write(profileText());
    }
    ferrow::test::HoldingServer origin;
    const quint16 socksPort = ferrow::test::freePort();

    QProcess core;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("FERROW_API_SECRET"), QStringLiteral("bench-secret"));
    core.setProcessEnvironment(environment);
    core.setStandardOutputFile(QProcess::nullDevice());
    core.setStandardErrorFile(QProcess::nullDevice());
    core.start(QStringLiteral(FERROW_CORE_PATH),
               {QStringLiteral("-config"), config, QStringLiteral("-no-tun"), QStringLiteral("-socks"),
                QStringLiteral("127.0.0.1:%1").arg(socksPort), QStringLiteral("-api"),
                QStringLiteral("127.0.0.1:0"), QStringLiteral("-api-info"), apiInfo});
    if (!core.waitForStarted() || !runUntil([&] { return FRWAPIInfo::read(apiInfo).has_value(); })) {
        std::fprintf(stderr, "ferrow-core did not start\n");
        return 1;
    }

    std::vector<int> clients;
    for (int i = 0; i < kConnections; ++i) {
        const int fd = openThroughCore(socksPort, origin.port());
        if (fd < 0) {
            std::fprintf(stderr, "connection %d through the core failed\n", i);
            return 1;
        }
        clients.push_back(fd);
    }

    FixedTunnel tunnel(apiInfo);
    FRWControllerAPI guiAPI([&] { return FRWAPIInfo::read(apiInfo); }, nullptr);
    // Fill the core's log: each change of outbound mode is one line.
    int logRequests = 0;
    for (int i = 0; i < kLogLines + 10; ++i) {
        guiAPI.setOutboundMode(i % 2 ? QStringLiteral("rule") : QStringLiteral("direct"), {},
                               [&] { ++logRequests; });
        if (i % 50 == 49 && !runUntil([&] { return logRequests == i + 1; })) {
            std::fprintf(stderr, "filling the log failed\n");
            return 1;
        }
    }
    runUntil([&] { return logRequests == kLogLines + 10; });

    BenchClock clock;
    FRWAppModelSetup setup;
    setup.tunnel = &tunnel;
    setup.settingsFile = folder.filePath(QStringLiteral("Ferrow.conf"));
    setup.clock = &clock;
    const QUrl nowhere(QStringLiteral("http://127.0.0.1:1"));
    setup.probes.services =
        FRWProbeServices::referenceShaped(nowhere, nowhere, nowhere, QStringLiteral("127.0.0.1"));
    setup.probes.services.connectPort = 1;
    setup.probes.services.dnsPort = 1;
    setup.probes.bindToPhysicalInterface = false;
    setup.probes.networkName = [](const QString&) { return QStringLiteral("Internet"); };
    FRWAppModel model(setup);

    const auto oneTick = [&] {
        model.tick();
        clock.current = clock.current.addSecs(1);
        return runUntil([&] { return !model.polling(); });
    };
    for (int i = 0; i < 5; ++i) {
        oneTick();
    }
    if (model.connections().size() < kConnections || model.groups().size() != kGroups ||
        model.logs().size() != kLogLines) {
        std::fprintf(stderr, "unexpected state: %lld connections, %lld groups, %lld log lines\n",
                     qlonglong(model.connections().size()), qlonglong(model.groups().size()),
                     qlonglong(model.logs().size()));
        return 1;
    }

    // The model: requests and parsing on its poll thread, applying on the GUI thread.
    std::vector<double> modelMs;
    for (int i = 0; i < kTimedTicks; ++i) {
        const double before = threadCpuMs();
        if (!oneTick()) {
            std::fprintf(stderr, "a tick did not finish\n");
            return 1;
        }
        modelMs.push_back(threadCpuMs() - before);
    }
    // The baseline: the same six requests answered and parsed on the GUI thread.
    std::vector<double> baselineMs;
    for (int i = 0; i < kTimedTicks / 4; ++i) {
        bool done = false;
        const double before = threadCpuMs();
        guiAPI.poll(-1, [&](const FRWPollResult&) { done = true; });
        runUntil([&] { return done; });
        baselineMs.push_back(threadCpuMs() - before);
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    const auto mean = [](const std::vector<double>& values) {
        double sum = 0;
        for (const double v : values) {
            sum += v;
        }
        return sum / double(values.size());
    };
    const double modelMedian = median(modelMs);
    const double baselineMedian = median(baselineMs);
    std::printf("model tick, GUI-thread CPU: median %.3f ms, mean %.3f ms (target <= %.1f ms) %s\n",
                modelMedian, mean(modelMs), kTargetMs, modelMedian <= kTargetMs ? "MET" : "NOT MET");
    std::printf("baseline poll parsed on the GUI thread: median %.3f ms; ratio model/baseline %.2f\n",
                baselineMedian, modelMedian / baselineMedian);
    std::printf("idle share of one core at one tick a second: %.3f %%\n", modelMedian / 1000.0 * 100.0);

    // Memory: ticks 1..300 then on to 3,000.
    for (int i = 0; i < 300; ++i) {
        oneTick();
    }
    const long after300 = residentKiB();
    long after1650 = 0;
    for (int i = 300; i < 3000; ++i) {
        if (i == 1650) {
            after1650 = residentKiB();
        }
        if (!oneTick()) {
            std::fprintf(stderr, "a tick did not finish\n");
            return 1;
        }
    }
    const long after3000 = residentKiB();
    // Allocator noise of a few hundred KiB is not growth; a leak per tick would show 2,700 times.
    std::printf("resident memory after 300 ticks %ld KiB, 1650 ticks %ld KiB, 3000 ticks %ld KiB (ratio "
                "3000/300 %.3f) %s\n",
                after300, after1650, after3000, double(after3000) / double(after300),
                after3000 <= after300 + 1024 ? "no growth beyond 1 MiB" : "GROWTH");

    for (const int fd : clients) {
        ::close(fd);
    }
    core.terminate();
    core.waitForFinished(5000);
    return 0;
}
