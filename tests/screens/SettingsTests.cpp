// The Settings page: the login item on disk, the helper's real state and its install and removal
// through a real tunnel controller with a fake pkexec and a fake systemctl.

#include <QCheckBox>
#include <QJsonDocument>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>

#include "FRWAppPaths.h"
#include "FRWHelperControl.h"
#include "FRWHelperInstaller.h"
#include "FRWLoginItem.h"
#include "FRWNotificationCenter.h"
#include "FRWSettingsViewController.h"
#include "FRWSignature.h"
#include "FRWTunnelController.h"
#include "FindWidget.h"
#include "RecordingProxyBackend.h"
#include "ScreensTestSupport.h"

namespace {

QString text(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

void writeText(const QString& path, const QByteArray& bytes, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    if (executable) {
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

/// Notifications answer as told.
class FixedNotifications : public FRWNotificationCenter {
public:
    void requestAuthorization(std::function<void(bool)> answer) override { answer(granted); }
    void post(const QString&, const QString&, const QString&) override {}
    bool granted = true;
};

/// A stand-in helper on its socket that answers every request and notes each method in `log`.
class NotingHelper : public QObject {
public:
    NotingHelper(const QString& socketPath, QString log) : m_log(std::move(log))
    {
        QLocalServer::removeServer(socketPath);
        m_server.listen(socketPath);
        connect(&m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                    while (socket->canReadLine()) {
                        const QJsonObject request = QJsonDocument::fromJson(socket->readLine()).object();
                        QFile log(m_log);
                        if (log.open(QIODevice::Append)) {
                            log.write(request.value("method").toString().toUtf8() + "\n");
                        }
                        QJsonObject reply{
                            {"id", request.value("id")}, {"version", 99}, {"error", QJsonValue::Null}};
                        socket->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
                    }
                });
            }
        });
    }

private:
    QLocalServer m_server;
    QString m_log;
};

class SettingsTest : public ScreensTest {
protected:
    void SetUp() override
    {
        ScreensTest::SetUp();
        root = text(home.root()) + QStringLiteral("/system");
        tools = text(home.root()) + QStringLiteral("/tools");
        // pkexec: a dismissed prompt exits 126; otherwise the script runs, its calls logged.
        writeText(tools + "/pkexec",
                  QStringLiteral("#!/bin/bash\necho run >> %1/pkexec.log\n[ -e %1/cancel ] && exit 126\n"
                                 "exec \"$@\"\n")
                      .arg(FRWHelperInstaller::shellQuoted(tools))
                      .toUtf8(),
                  true);
        // systemctl: each call logged; "show" answers from files named after the unit: the unit
        // file systemd loads it from, or its state.
        writeText(tools + "/systemctl",
                  QStringLiteral("#!/bin/bash\necho \"$*\" >> %1/calls.log\n"
                                 "if [ \"$2\" = --property=FragmentPath ]; then\n"
                                 "  cat %1/fragment-\"$4\" 2>/dev/null; exit 0\n"
                                 "fi\n"
                                 "if [ \"$1\" = show ]; then\n"
                                 "  for unit in \"${@:4}\"; do cat %1/state-\"$unit\" 2>/dev/null || "
                                 "echo inactive; done\nfi\nexit 0\n")
                      .arg(FRWHelperInstaller::shellQuoted(tools))
                      .toUtf8(),
                  true);

        const auto keys = ferrow::signature::generateKeyPair();
        ASSERT_TRUE(keys);
        const std::string body = "#!/bin/sh\nexit 0\n";
        const auto signedHelper =
            ferrow::signature::sign({reinterpret_cast<const std::uint8_t*>(body.data()), body.size()},
                                    "zq.orbel.ferrow-mac.helper", keys->privateKeyPem);
        ASSERT_TRUE(signedHelper);
        writeText(root + "/bundle/ferrow-helper",
                  QByteArray(reinterpret_cast<const char*>(signedHelper->data()),
                             static_cast<qsizetype>(signedHelper->size())),
                  true);

        layout.helperSource = root + "/bundle/ferrow-helper";
        layout.installedHelperPath = root + "/libexec/zq.orbel.ferrow-mac.helper";
        layout.socketUnitPath = root + "/units/zq.orbel.ferrow-mac.helper.socket";
        layout.serviceUnitPath = root + "/units/zq.orbel.ferrow-mac.helper.service";
        layout.stagedCorePath = root + "/libexec/zq.orbel.ferrow-mac.core";
        layout.polkitPolicyPath = root + "/polkit/zq.orbel.ferrow-mac.helper.policy";
        layout.stateDirectory = root + "/state";
        layout.coreStateDirectory = root + "/core-state";
        layout.socketPath = text(home.root()) + "/no-helper.sock";
        layout.packagedHelperPath = root + "/usr/libexec/ferrow/ferrow-helper";
        layout.packagedUnitDirectories = {root + "/lib/systemd/system"};
        writeText(tools + "/dpkg-query", "#!/bin/sh\necho 1.4.0-1\n", true);
        layout.dpkgQueryPath = tools + "/dpkg-query";
        layout.pkexecPath = tools + "/pkexec";
        layout.systemctlPath = tools + "/systemctl";
        layout.opensslPath = QStringLiteral("openssl");
        layout.owner = QStringLiteral("%1:%2").arg(::geteuid()).arg(::getegid());
        layout.makerPublicKeyPem = QString::fromStdString(keys->publicKeyPem);

        const FRWAppPaths paths = FRWAppPaths::fromEnvironment();
        FRWTunnelEnvironment env;
        env.profiles = profiles.get();
        env.settingsFile = paths.settingsFile;
        env.supportFolder = paths.supportFolder;
        env.helperAPIInfoPath = text(home.root()) + "/run/api-info.json";
        env.proxyBackend = std::make_shared<RecordingProxyBackend>();
        env.helper = layout;
        env.helperStopRequestTimeoutMs = 2000;
        tunnel = std::make_unique<FRWTunnelController>(std::move(env));
        helper = std::make_unique<FRWTunnelHelperControl>(*tunnel, layout);
        login = std::make_unique<FRWLoginItem>(text(home.configHome()) + "/autostart",
                                               "/opt/Ferrow App/bin/Ferrow");
    }

    std::unique_ptr<FRWSettingsViewController> page(const QString& releaseLocation = {})
    {
        FRWScreensContext c = context();
        c.releaseLocation = releaseLocation;
        c.helper = helper.get();
        c.loginItem = login.get();
        c.notifications = &notifications;
        c.version = QStringLiteral("1.4.0");
        return load(std::make_unique<FRWSettingsViewController>(c));
    }

    void pretendInstalled()
    {
        for (const QString& file :
             {layout.installedHelperPath, layout.socketUnitPath, layout.serviceUnitPath}) {
            writeText(file, "x");
        }
    }

    static bool shown(QWidget* widget) { return widget->isVisibleTo(widget->window()); }

    QString root;
    QString tools;
    FRWHelperLayout layout;
    std::unique_ptr<FRWTunnelController> tunnel;
    std::unique_ptr<FRWTunnelHelperControl> helper;
    std::unique_ptr<FRWLoginItem> login;
    FixedNotifications notifications;
};

TEST_F(SettingsTest, LoginItemRoundTripOnDiskAndOutsideChanges)
{
    auto settings = page();
    const QString entry = login->entryPath();
    EXPECT_FALSE(widget<QCheckBox>(settings, "loginToggle")->isChecked());

    widget<QCheckBox>(settings, "loginToggle")->setChecked(true);
    ASSERT_TRUE(QFile::exists(entry));
    const QString written = readText(entry);
    EXPECT_TRUE(written.contains(R"(Exec="/opt/Ferrow App/bin/Ferrow")")) << written.toStdString();
    EXPECT_TRUE(login->enabled());
    widget<QCheckBox>(settings, "loginToggle")->setChecked(false);
    EXPECT_FALSE(QFile::exists(entry));
    widget<QCheckBox>(settings, "loginToggle")->setChecked(true);
    EXPECT_TRUE(QFile::exists(entry));

    // Switched off by the desktop's own settings, then removed by hand: each shows on the next visit.
    writeText(entry,
              written.toUtf8().replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false"));
    settings->view()->hide();
    settings->view()->show();
    EXPECT_FALSE(widget<QCheckBox>(settings, "loginToggle")->isChecked());
    EXPECT_TRUE(QFile::exists(entry)) << "reading the state must not rewrite the entry";
    writeText(entry, written.toUtf8() + "Hidden=true\n");
    EXPECT_FALSE(login->enabled());
    writeText(entry, written.toUtf8());
    settings->view()->hide();
    settings->view()->show();
    EXPECT_TRUE(widget<QCheckBox>(settings, "loginToggle")->isChecked());
    QFile::remove(entry);
    settings->view()->hide();
    settings->view()->show();
    EXPECT_FALSE(widget<QCheckBox>(settings, "loginToggle")->isChecked());

    // An autostart folder that cannot be created leaves the box as clicked and writes nothing.
    writeText(text(home.root()) + "/blocked", "file");
    FRWLoginItem blocked(text(home.root()) + "/blocked/autostart", "/bin/true");
    EXPECT_TRUE(blocked.setEnabled(true).has_value());
    EXPECT_FALSE(blocked.enabled());
}

TEST_F(SettingsTest, HelperStatesFromSystemd)
{
    auto settings = page();
    EXPECT_TRUE(shown(widget<QPushButton>(settings, "installButton")));
    EXPECT_FALSE(shown(widget<QPushButton>(settings, "uninstallButton")));
    EXPECT_FALSE(shown(widget<QLabel>(settings, "helperCheck")));
    EXPECT_TRUE(widget<QLabel>(settings, "helperStatus")->text().isEmpty());

    pretendInstalled();
    writeText(tools + "/state-zq.orbel.ferrow-mac.helper.socket", "active\n");
    settings->refreshHelperDetails();
    // No helper answers on its socket here, so it also counts as out of date.
    // The unit states and the version check answer in either order; wait for both.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QString status = widget<QLabel>(settings, "helperStatus")->text();
            return status.contains("out of date") && status.contains("Ferrow");
        },
        10000));
    EXPECT_FALSE(shown(widget<QPushButton>(settings, "installButton")));
    EXPECT_TRUE(shown(widget<QPushButton>(settings, "uninstallButton")));
    EXPECT_TRUE(shown(widget<QLabel>(settings, "helperCheck")));
    EXPECT_TRUE(widget<QLabel>(settings, "helperStatus")
                    ->text()
                    .startsWith(QString::fromUtf8("Installed · waiting for Ferrow")))
        << widget<QLabel>(settings, "helperStatus")->text().toStdString();

    writeText(tools + "/state-zq.orbel.ferrow-mac.helper.service", "active\n");
    settings->refreshHelperDetails();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return widget<QLabel>(settings, "helperStatus")->text().contains("running"); }, 10000));

    writeText(tools + "/state-zq.orbel.ferrow-mac.helper.socket", "failed\n");
    writeText(tools + "/state-zq.orbel.ferrow-mac.helper.service", "inactive\n");
    settings->refreshHelperDetails();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return widget<QLabel>(settings, "helperStatus")->text().contains("not started (failed)"); },
        10000));
}

// The package's helper has no Install or Uninstall here; only a build folder's copy beside it can
// be removed, and the card says why.
TEST_F(SettingsTest, HelperCardForEachInstallation)
{
    const auto systemdLoadsSocketFrom = [&](const QString& unitFile) {
        writeText(tools + "/fragment-zq.orbel.ferrow-mac.helper.socket", unitFile.toUtf8() + "\n");
    };
    const QStringList packagedFiles{layout.packagedHelperPath,
                                    root + "/lib/systemd/system/zq.orbel.ferrow-mac.helper.socket"};
    const auto setPackaged = [&](bool present) {
        for (const QString& file : packagedFiles) {
            present ? writeText(file, "x") : void(QFile::remove(file));
        }
    };
    const auto waitForStatus = [](FRWSettingsViewController& settings, const QString& start) {
        return QTest::qWaitFor(
            [&] { return widget<QLabel>(settings, "helperStatus")->text().startsWith(start); }, 10000);
    };
    auto settings = page();
    EXPECT_TRUE(shown(widget<QPushButton>(settings, "installButton")));
    EXPECT_FALSE(shown(widget<QLabel>(settings, "helperNote")));
    EXPECT_LT(widget<QPushButton>(settings, "installButton")->width(), settings->view()->width() / 3)
        << "alone on its row, the button keeps its own width";

    // The package's: systemd loads its socket from the package's place.
    setPackaged(true);
    systemdLoadsSocketFrom("/lib/systemd/system/zq.orbel.ferrow-mac.helper.socket");
    settings->refreshHelperDetails();
    ASSERT_TRUE(waitForStatus(*settings, "Installed by the system package (version 1.4.0-1)"))
        << widget<QLabel>(settings, "helperStatus")->text().toStdString();
    EXPECT_FALSE(shown(widget<QPushButton>(settings, "installButton")));
    EXPECT_FALSE(shown(widget<QPushButton>(settings, "uninstallButton")));
    EXPECT_TRUE(shown(widget<QLabel>(settings, "helperCheck")));
    // This program's own helper is not the package's: the package's helper may not serve it.
    EXPECT_TRUE(shown(widget<QLabel>(settings, "helperNote")));
    EXPECT_TRUE(widget<QLabel>(settings, "helperNote")->text().contains("not the one the package installed"));
    // A helper that does not answer is out of date: the package is to be updated, not reinstalled.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return widget<QLabel>(settings, "helperStatus")->text().contains("out of date"); }, 10000));
    EXPECT_TRUE(
        widget<QLabel>(settings, "helperStatus")->text().endsWith("out of date, update the ferrow package"));

    // The build folder's alone.
    setPackaged(false);
    pretendInstalled();
    systemdLoadsSocketFrom(layout.socketUnitPath);
    settings->refreshHelperDetails();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return widget<QLabel>(settings, "helperStatus")->text().contains("reinstalled"); }, 10000))
        << widget<QLabel>(settings, "helperStatus")->text().toStdString();
    EXPECT_FALSE(widget<QLabel>(settings, "helperStatus")->text().contains("system package"));
    EXPECT_TRUE(shown(widget<QPushButton>(settings, "uninstallButton")));
    EXPECT_FALSE(shown(widget<QPushButton>(settings, "installButton")));

    // Both: the package's is named, the copy that shadows it may go, and the card says why.
    setPackaged(true);
    settings->view()->hide();
    settings->view()->show();
    EXPECT_TRUE(
        widget<QLabel>(settings, "helperStatus")->text().startsWith("Installed by the system package"))
        << "the files alone already name the package";
    ASSERT_TRUE(waitForStatus(*settings, "Installed by the system package (version 1.4.0-1)"));
    EXPECT_TRUE(shown(widget<QPushButton>(settings, "uninstallButton")));
    EXPECT_FALSE(shown(widget<QPushButton>(settings, "installButton")));
    EXPECT_TRUE(shown(widget<QLabel>(settings, "helperNote")));
    EXPECT_TRUE(widget<QLabel>(settings, "helperNote")->text().contains("build folder"));
    EXPECT_TRUE(
        widget<QLabel>(settings, "helperNote")->text().contains("never installs its own over the package's"));

    // None.
    setPackaged(false);
    QFile::remove(layout.installedHelperPath);
    systemdLoadsSocketFrom(QString());
    settings->refreshHelperDetails();
    EXPECT_TRUE(shown(widget<QPushButton>(settings, "installButton")));
    EXPECT_FALSE(shown(widget<QPushButton>(settings, "uninstallButton")));
    EXPECT_FALSE(shown(widget<QLabel>(settings, "helperNote")));
    QTest::qWait(300);
    EXPECT_TRUE(shown(widget<QPushButton>(settings, "installButton")))
        << "a late answer from systemd changed it";
    EXPECT_TRUE(widget<QLabel>(settings, "helperStatus")->text().isEmpty());
}

TEST_F(SettingsTest, CancelledPasswordPromptAndAnUnsignedHelper)
{
    auto settings = page();
    QSignalSpy changed(settings.get(), &FRWSettingsViewController::helperChanged);
    writeText(tools + "/cancel", "");
    widget<QPushButton>(settings, "installButton")->click();
    ASSERT_TRUE(changed.wait(10000));
    ASSERT_EQ(alerts.alerts.size(), 1);
    EXPECT_EQ(alerts.alerts.first(), "Helper installation needs approval | Authorization was cancelled.");
    EXPECT_TRUE(shown(widget<QPushButton>(settings, "installButton")));
    EXPECT_TRUE(widget<QPushButton>(settings, "installButton")->isEnabled());

    // The script refuses a helper whose signature does not verify: the signed-build alert.
    QFile::remove(tools + "/cancel");
    writeText(layout.helperSource, "#!/bin/sh\nexit 0\n", true);
    widget<QPushButton>(settings, "installButton")->click();
    ASSERT_TRUE(changed.wait(30000));
    ASSERT_EQ(alerts.alerts.size(), 2);
    EXPECT_TRUE(alerts.alerts.last().startsWith("Helper requires a signed build | "))
        << alerts.alerts.last().toStdString();
    EXPECT_FALSE(QFile::exists(layout.installedHelperPath));
    EXPECT_TRUE(shown(widget<QPushButton>(settings, "installButton")));
}

TEST_F(SettingsTest, UninstallAsksThenStopsEnhancedModeBeforeRemoving)
{
    pretendInstalled();
    NotingHelper running(layout.socketPath, tools + "/pkexec.log");
    auto settings = page();
    ASSERT_TRUE(shown(widget<QPushButton>(settings, "uninstallButton")));
    QSignalSpy changed(settings.get(), &FRWSettingsViewController::helperChanged);

    // Cancel changes nothing.
    widget<QPushButton>(settings, "uninstallButton")->click();
    auto* alert = settings->view()->window()->findChild<QMessageBox*>("uninstallAlert");
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->informativeText().contains("(system service)"));
    EXPECT_TRUE(alert->informativeText().contains("The system will ask for your password."));
    alert->button(QMessageBox::Cancel)->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(changed.wait(300));
    EXPECT_TRUE(QFile::exists(layout.installedHelperPath));
    EXPECT_FALSE(readText(tools + "/pkexec.log").contains("run"));

    widget<QPushButton>(settings, "uninstallButton")->click();
    QMessageBox* confirm = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            confirm = settings->view()->window()->findChild<QMessageBox*>("uninstallAlert");
            return confirm && confirm->isVisible();
        },
        5000));
    for (QAbstractButton* button : confirm->buttons()) {
        if (button->text() == "Uninstall") {
            button->click();
        }
    }
    ASSERT_TRUE(changed.wait(30000));
    EXPECT_TRUE(alerts.alerts.isEmpty()) << alerts.alerts.join(", ").toStdString();
    EXPECT_FALSE(QFile::exists(layout.installedHelperPath));
    EXPECT_FALSE(QFile::exists(layout.socketUnitPath));
    EXPECT_TRUE(shown(widget<QPushButton>(settings, "installButton")));
    EXPECT_FALSE(shown(widget<QPushButton>(settings, "uninstallButton")));
    // Enhanced Mode's stop reached the helper before the removal's password prompt.
    QStringList order = readText(tools + "/pkexec.log").split(u'\n', Qt::SkipEmptyParts);
    order.removeAll("getVersion");
    EXPECT_EQ(order, QStringList({"stopCore", "run"}));
}

TEST_F(SettingsTest, PrivacySwitchesNetworkChecksAndUpdateChecks)
{
    auto settings = page();
    ASSERT_TRUE(widget<QCheckBox>(settings, "networkChecksToggle")->isChecked()) << "on by default";
    const auto echoRequests = [&] {
        std::size_t count = 0;
        for (const auto& request : controller.requests()) {
            count += request.target.rfind("/ip", 0) == 0 ? 1 : 0;
        }
        return count;
    };
    widget<QCheckBox>(settings, "networkChecksToggle")->click();
    EXPECT_FALSE(model->networkChecksEnabled());
    QSignalSpy probed(&model->probes(), &FRWNetworkProbe::changed);
    model->probeNetwork();
    ASSERT_TRUE(probed.wait(5000)) << "the network's name is still read";
    QCoreApplication::processEvents();
    EXPECT_EQ(echoRequests(), 0u);

    widget<QCheckBox>(settings, "networkChecksToggle")->click();
    model->probeNetwork();
    EXPECT_TRUE(QTest::qWaitFor([&] { return echoRequests() > 0; }, 5000));
    EXPECT_EQ(settings->view()->findChild<QCheckBox*>("updateChecksToggle"), nullptr)
        << "this build has no release feed";

    auto released = page(QStringLiteral("https://releases.test"));
    ASSERT_NE(widget<QCheckBox>(released, "updateChecksToggle"), nullptr);
    EXPECT_TRUE(widget<QCheckBox>(released, "updateChecksToggle")->isChecked());
    widget<QCheckBox>(released, "updateChecksToggle")->click();
    EXPECT_FALSE(model->updateChecksEnabled());
}

TEST_F(SettingsTest, PermissionRows)
{
    notifications.granted = false;
    auto settings = page();
    EXPECT_EQ(widget<QLabel>(settings, "locStatus")->text(), "Granted");
    EXPECT_FALSE(shown(widget<QPushButton>(settings, "locButton")));
    QStringList texts;
    for (const QLabel* label : settings->view()->findChildren<QLabel*>()) {
        texts << label->text();
    }
    EXPECT_TRUE(texts.join('\n').contains("interface name. Reading it needs no permission, and no location"));
    EXPECT_FALSE(shown(widget<QLabel>(settings, "notifStatus")));
    EXPECT_TRUE(shown(widget<QPushButton>(settings, "notifButton")));
    EXPECT_EQ(widget<QPushButton>(settings, "notifButton")->text(), "Open Settings");

    notifications.granted = true;
    settings->refreshPermissions();
    EXPECT_EQ(widget<QLabel>(settings, "notifStatus")->text(), "Granted");
    EXPECT_FALSE(shown(widget<QPushButton>(settings, "notifButton")));
    EXPECT_EQ(settings->versionLabel()->text(), "Ferrow 1.4.0");

    EXPECT_EQ(FRWSettingsViewController::notificationSettingsCommand("ubuntu:GNOME").first(),
              "gnome-control-center");
    EXPECT_EQ(FRWSettingsViewController::notificationSettingsCommand("KDE").first(), "systemsettings");
    EXPECT_TRUE(FRWSettingsViewController::notificationSettingsCommand("XFCE").isEmpty());
}

} // namespace
