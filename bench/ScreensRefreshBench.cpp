// The monitoring screens with 1,000 live connections: GUI-thread CPU time of one refresh of the
// Connections, Activity and Process pages after each poll (every connection's byte counts change,
// a few connections come and go), against a baseline that rebuilds the connection list from
// scratch each time. A refresh must stay well inside one 60 Hz frame (16 ms) to show no lag.
#include <cstdio>
#include <ctime>

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include "FRWActivityViewController.h"
#include "FRWAppModel.h"
#include "FRWAppPaths.h"
#include "FRWConnectionsModel.h"
#include "FRWConnectionsViewController.h"
#include "FRWDesktopEntries.h"
#include "FRWModelTunnel.h"
#include "FRWProcessViewController.h"
#include "FRWProfileStore.h"
#include "FRWScreens.h"
#include "LoopbackHttpServer.h"

namespace {

constexpr int kConnections = 1000;
constexpr int kRounds = 60;
constexpr double kFrameMs = 16.0;

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

class FixedTunnel : public FRWModelTunnel {
public:
    bool systemProxyRunning() const override { return false; }
    bool tunnelCoreRunning() const override { return false; }
    QString currentAPIInfoPath() const override { return path; }
    void apiForMeasurementWithCompletion(std::function<void(std::optional<QJsonObject>)> done) override
    {
        done(std::nullopt);
    }
    void startWithCompletion(std::function<void(FRWResult)> done) override { done(std::nullopt); }
    void stopWithCompletion(std::function<void(FRWResult)> done) override { done(std::nullopt); }
    void startSystemProxyWithCompletion(std::function<void(FRWResult)> done) override { done(std::nullopt); }
    void stopSystemProxy(std::function<void()> done) override { done(); }
    void startIfHelperCurrentWithCompletion(std::function<void(bool, FRWResult)> done) override
    {
        done(false, std::nullopt);
    }
    QString path;
};

std::string connections(int round)
{
    QJsonArray out;
    // Each round one connection ends and a new one starts; every count grows.
    for (int i = round; i < round + kConnections; ++i) {
        out.append(QJsonObject{{"id", i},
                               {"host", QStringLiteral("host%1.example.com").arg(i % 300)},
                               {"process", QStringLiteral("/usr/bin/program%1").arg(i % 40)},
                               {"srcip", QStringLiteral("192.168.1.%1").arg(i % 50)},
                               {"policy", i % 3 == 0 ? "DIRECT" : "HK"},
                               {"rule", "FINAL"},
                               {"up", double(1000 * i + 100 * round)},
                               {"down", double(5000 * i + 900 * round)},
                               {"start", double(1700000000000LL + i)},
                               {"closed", i % 10 == 0}});
    }
    return QJsonDocument(out).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir home;
    ferrow::test::LoopbackHttpServer controller;
    controller.setResponseFor("/status", 200, R"({"running":false})");
    const QString info = home.filePath(QStringLiteral("api.json"));
    QFile file(info);
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray::fromStdString(R"({"address":")" + controller.address() + R"(","secret":"s"})"));
    file.close();
    FixedTunnel tunnel;
    tunnel.path = info;

    FRWAppModelSetup setup;
    setup.tunnel = &tunnel;
    setup.settingsFile = home.filePath(QStringLiteral("Ferrow.conf"));
    setup.probes.bindToPhysicalInterface = false;
    FRWAppModel model(setup);
    FRWProfileStore profiles(FRWAppPaths::under(home.filePath("data"), home.filePath("config")));
    FRWDesktopEntries entries({}, {});
    FRWScreensContext context;
    context.model = &model;
    context.profiles = &profiles;
    context.desktopEntries = &entries;

    FRWConnectionsViewController connectionsPage(context);
    FRWActivityViewController activityPage(context);
    FRWProcessViewController processPage(context);
    for (FRWViewController* page :
         std::initializer_list<FRWViewController*>{&connectionsPage, &activityPage, &processPage}) {
        page->view()->resize(732, 726);
        page->view()->show();
    }
    // The pages answer the model's updates themselves; the bench calls them one by one instead.
    QObject::disconnect(&model, nullptr, nullptr, nullptr);

    double connectionsMs = 0;
    double activityMs = 0;
    double processMs = 0;
    double rebuildMs = 0;
    double worstMs = 0;
    for (int round = 0; round < kRounds; ++round) {
        controller.setResponseFor("/connections", 200, connections(round));
        model.poll();
        if (!QTest::qWaitFor([&] { return !model.polling(); }, 10000) ||
            model.connections().size() != kConnections) {
            std::fprintf(stderr, "poll %d failed\n", round);
            return 1;
        }
        double start = threadCpuMs();
        connectionsPage.refresh();
        QCoreApplication::processEvents(); // the view's own relayout and paint
        const double one = threadCpuMs() - start;
        connectionsMs += one;
        worstMs = std::max(worstMs, one);
        start = threadCpuMs();
        activityPage.refresh();
        activityMs += threadCpuMs() - start;
        start = threadCpuMs();
        processPage.refresh();
        processMs += threadCpuMs() - start;
        // Baseline: the same list built from nothing, as a model reset would.
        start = threadCpuMs();
        {
            FRWConnectionsModel fresh;
            FRWConnectionsFilter order;
            order.setSourceModel(&fresh);
            order.sort(0);
            fresh.setConnections(model.connections());
        }
        rebuildMs += threadCpuMs() - start;
    }
    const double perConnections = connectionsMs / kRounds;
    std::printf("connections page refresh: %.2f ms (worst %.2f ms), baseline rebuild %.2f ms, ratio %.2f\n",
                perConnections, worstMs, rebuildMs / kRounds, perConnections / (rebuildMs / kRounds));
    std::printf("activity page refresh: %.2f ms; process page refresh: %.2f ms\n", activityMs / kRounds,
                processMs / kRounds);
    const bool met = worstMs < kFrameMs && activityMs / kRounds < kFrameMs && processMs / kRounds < kFrameMs;
    std::printf("target: every refresh under %.0f ms with %d connections: %s\n", kFrameMs, kConnections,
                met ? "met" : "NOT MET");
    return met ? 0 : 1;
}
