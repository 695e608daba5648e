// The real Ferrow program, end to end: started in a temporary home with the build's core, it
// brings back System Proxy mode, the desktop's proxy settings carry traffic through the core to a
// loopback origin, and quitting puts the user's own settings back exactly.

#include <csignal>
#include <optional>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include "FRWActivityViewController.h"
#include "FRWAppModel.h"
#include "FRWAppPaths.h"
#include "FRWDefaultsKeys.h"
#include "FRWProfileStore.h"
#include "FRWUserDefaults.h"
#include "FindWidget.h"
#include "LoopbackHttpServer.h"
#include "ModelTestSupport.h"
#include "PrivateNetwork.h"
#include "ServerProcess.h"
#include "TemporaryHome.h"

using namespace ferrow::test;

namespace {

/// The ferrow-core that `parent` started, or 0.
pid_t coreChildOf(qint64 parent)
{
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!number || !stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (comm) state ppid ..."; comm may hold spaces, so read after the last ')'.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == parent &&
            QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(entry)).endsWith("/ferrow-core")) {
            return pid;
        }
    }
    return 0;
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The program's proxy listens on the fixed port 7891. Whatever holds that port on this
        // machine (here: this test itself) must not matter, so the program runs in a network of
        // its own.
        hostPort.listen(QHostAddress::LocalHost, 7891);
        network.emplace();
        if (!network->entered()) {
            GTEST_SKIP() << "cannot make a private network namespace here";
        }
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("GSETTINGS_BACKEND", "keyfile");
        environment.insert("XDG_CURRENT_DESKTOP", "GNOME");
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        const QString runtime = QString::fromStdString((home.root() / "runtime").string());
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        environment.insert("XDG_RUNTIME_DIR", runtime);
    }

    QString gsettings(const QStringList& arguments) const
    {
        QProcess tool;
        tool.setProcessEnvironment(environment);
        tool.start("gsettings", arguments);
        tool.waitForFinished(10000);
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }

    QString proxyMode() const { return gsettings({"get", "org.gnome.system.proxy", "mode"}); }
    /// Waits for the takeover a launch makes on its own.
    bool systemProxyCameOn() const
    {
        return QTest::qWaitFor([&] { return proxyMode() == "'manual'"; }, 30000);
    }
    int httpProxyPort() const { return gsettings({"get", "org.gnome.system.proxy.http", "port"}).toInt(); }

    void wishForSystemProxy() const
    {
        const QString settings = QString::fromStdString((home.configHome() / "Ferrow").string());
        QDir().mkpath(settings);
        QFile file(settings + "/Ferrow.conf");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[General]\nFRWDesiredSystemProxy=true\n");
    }

    /// Starts the program in this home and network; false when it did not start.
    bool launch(QProcess& ferrow) const
    {
        ferrow.setProcessEnvironment(environment);
        ferrow.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        ferrow.start(FERROW_PROGRAM, {});
        return ferrow.waitForStarted(10000);
    }

    QTcpServer hostPort;
    std::optional<PrivateNetwork> network;
    TemporaryHome home;
    QProcessEnvironment environment;
};

/// A GET through the HTTP proxy at 127.0.0.1:`proxyPort`; the status line answered, or empty.
QString getThroughProxy(int proxyPort, const std::string& origin)
{
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", static_cast<quint16>(proxyPort));
    if (!socket.waitForConnected(5000)) {
        return {};
    }
    const QByteArray url = QByteArray("http://") + origin.c_str() + "/through-ferrow";
    socket.write("GET " + url + " HTTP/1.1\r\nHost: " + QByteArray(origin.c_str()) +
                 "\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    while (socket.waitForReadyRead(5000)) {
        answer += socket.readAll();
    }
    return QString::fromUtf8(answer.left(answer.indexOf("\r\n")));
}

} // namespace

TEST_F(ProgramTest, SystemProxyCarriesTrafficAndQuitRestoresTheUsersSettings)
{
    gsettings({"set", "org.gnome.system.proxy", "mode", "auto"});
    gsettings({"set", "org.gnome.system.proxy", "autoconfig-url", "http://pac.example/proxy.pac"});
    wishForSystemProxy();

    LoopbackHttpServer origin;
    origin.setResponse(200, "hello", "text/plain");
    QProcess ferrow;
    ASSERT_TRUE(launch(ferrow));

    // The chosen mode comes back on its own a moment after launch.
    ASSERT_TRUE(systemProxyCameOn()) << "System Proxy never came on";
    EXPECT_EQ(gsettings({"get", "org.gnome.system.proxy.http", "host"}), "'127.0.0.1'");
    const int port = httpProxyPort();
    ASSERT_GT(port, 0);
    EXPECT_EQ(getThroughProxy(port, origin.address()), "HTTP/1.1 200 OK");
    EXPECT_GE(origin.requestCount(), 1u);

    QElapsedTimer quitting;
    quitting.start();
    ::kill(static_cast<pid_t>(ferrow.processId()), SIGTERM);
    ASSERT_TRUE(ferrow.waitForFinished(15000));
    EXPECT_LT(quitting.elapsed(), 11000);
    EXPECT_EQ(ferrow.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(ferrow.exitCode(), 0);
    EXPECT_EQ(proxyMode(), "'auto'");
    EXPECT_EQ(gsettings({"get", "org.gnome.system.proxy", "autoconfig-url"}),
              "'http://pac.example/proxy.pac'");
    EXPECT_TRUE(getThroughProxy(port, origin.address()).isEmpty()) << "the core outlived the program";
}

TEST_F(ProgramTest, ASecondLaunchHandsOverAndEnds)
{
    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(FERROW_PROGRAM, {});
    ASSERT_TRUE(first.waitForStarted(10000));
    const QString socket = environment.value("XDG_RUNTIME_DIR") + "/zq.orbel.ferrow-mac.instance";
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(socket); }, 20000));
    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(FERROW_PROGRAM, {});
    EXPECT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    EXPECT_TRUE(first.waitForFinished(15000));
}

TEST_F(ProgramTest, AQuitRightAfterTheCoreDiedStillPutsTheDesktopBack)
{
    gsettings({"set", "org.gnome.system.proxy", "mode", "auto"});
    wishForSystemProxy();
    for (int run = 0; run < 10; ++run) {
        QProcess ferrow;
        ASSERT_TRUE(launch(ferrow));
        ASSERT_TRUE(systemProxyCameOn()) << "run " << run;
        const pid_t core = coreChildOf(ferrow.processId());
        ASSERT_GT(core, 0) << "run " << run;
        // The core dies and the quit follows at once, before the program has seen the death.
        ::kill(core, SIGKILL);
        ::kill(static_cast<pid_t>(ferrow.processId()), SIGTERM);
        ASSERT_TRUE(ferrow.waitForFinished(15000)) << "run " << run;
        ASSERT_EQ(proxyMode(), "'auto'") << "run " << run << " left the desktop on a dead proxy";
    }
}

TEST_F(ProgramTest, AFirstRunAddsTheServerFromTheClipboardAndTheNextLaunchGoesThroughIt)
{
    // A server of the user's own, inside this test's private network.
    ServerProcess::Options serverOptions;
    serverOptions.psk = newPsk();
    // Only the server knows the origin's name, so the request can reach it only through the node.
    serverOptions.hosts = "127.0.0.1 origin.example.test\n";
    ServerProcess server(serverOptions);
    ASSERT_TRUE(server.started()) << server.stderrText();
    const QString link = QStringLiteral("ferrow://%1@127.0.0.1:%2#Home")
                             .arg(QString::fromLatin1(QByteArray::fromStdString(serverOptions.psk)
                                                          .toBase64(QByteArray::Base64UrlEncoding |
                                                                    QByteArray::OmitTrailingEquals)))
                             .arg(server.port());

    // First run over the real page and the real profile library in this home.
    const QString settingsFile =
        QString::fromStdString((home.configHome() / "Ferrow" / "Ferrow.conf").string());
    {
        FRWProfileStore profiles(FRWAppPaths::fromEnvironment());
        profiles.load();
        ASSERT_FALSE(profiles.hasUsableNode()) << "a fresh home holds only the example nodes";
        ScriptedTunnel tunnel;
        ManualClock clock;
        KeptAlerts alerts;
        FRWAppModelSetup setup =
            loopbackModelSetup(tunnel, clock, alerts, QString::fromStdString(home.configHome().string()),
                               QUrl(QStringLiteral("http://127.0.0.1:9")));
        FRWAppModel model(std::move(setup));
        FRWScreensContext context;
        context.model = &model;
        context.profiles = &profiles;
        context.presenter = &alerts;
        context.clock = &clock;
        FRWActivityViewController activity(context);
        activity.view()->show();
        QApplication::clipboard()->setText(link);
        activity.refresh();
        ASSERT_TRUE(widget<QWidget>(activity, "firstRunPanel")->isVisibleTo(activity.view()));
        EXPECT_EQ(widget<QPushButton>(activity, "pasteLinkButton")->text(),
                  QString::fromUtf8("Add \u201CHome\u201D"));
        activity.pasteFirstNode();
        EXPECT_FALSE(widget<QWidget>(activity, "firstRunPanel")->isVisibleTo(activity.view()));
        EXPECT_EQ(model.chosenMember(QStringLiteral("Proxy")), "Home");
    }
    {
        // The one press on System Proxy, as the next launch finds it.
        FRWUserDefaults defaults(settingsFile);
        defaults.setBoolean(ferrow::defaults::kDesiredSystemProxy, true);
        defaults.sync();
    }

    LoopbackHttpServer origin;
    origin.setResponse(200, "hello", "text/plain");
    QProcess ferrow;
    ASSERT_TRUE(launch(ferrow));
    ASSERT_TRUE(systemProxyCameOn()) << "System Proxy never came on";
    const int port = httpProxyPort();
    const std::string named =
        "origin.example.test:" + origin.address().substr(origin.address().rfind(':') + 1);
    EXPECT_EQ(getThroughProxy(port, named), "HTTP/1.1 200 OK");
    EXPECT_TRUE(server.waitForLines("-> " + named, 1))
        << "the request did not pass the chosen node: " << server.stderrText();

    ::kill(static_cast<pid_t>(ferrow.processId()), SIGTERM);
    EXPECT_TRUE(ferrow.waitForFinished(15000));
}
