#include <QElapsedTimer>
#include <QProcess>
#include <QXmlStreamReader>

#include "EnhancedModeFixture.h"
#include "FRWHelperUnits.h"
#include "FRWNames.h"
#include "FRWSignature.h"

using namespace ferrow::test;

TEST(HelperScripts, QuotingSurvivesTheShell)
{
    for (const QString& text : {QStringLiteral("plain"), QStringLiteral("it's"), QStringLiteral("a \"b\" c"),
                                QStringLiteral("back\\slash\\"), QStringLiteral("$(touch /tmp/x) `id` $HOME"),
                                QStringLiteral("''"), QStringLiteral("new\nline"), QStringLiteral("*?[a]")}) {
        QProcess bash;
        bash.start(
            QStringLiteral("/bin/bash"),
            {QStringLiteral("-c"), QStringLiteral("printf %s ") + FRWHelperInstaller::shellQuoted(text)});
        ASSERT_TRUE(bash.waitForFinished(10000));
        EXPECT_EQ(QString::fromUtf8(bash.readAllStandardOutput()), text);
    }
    EXPECT_EQ(FRWHelperInstaller::shellQuoted(QStringLiteral("it's")), QStringLiteral("'it'\\''s'"));
}

TEST_F(EnhancedModeTest, InstallCopiesVerifiesWritesTheUnitsAndStartsTheSocket)
{
    EXPECT_FALSE(controller->helperReady());
    EXPECT_EQ(await([&](auto done) { controller->installHelperWithCompletion(done); }), std::nullopt)
        << readText(tools + "/stderr").toStdString();
    EXPECT_TRUE(controller->helperReady());
    EXPECT_EQ(readText(layout.installedHelperPath), readText(layout.helperSource));
    EXPECT_EQ(QFileInfo(layout.installedHelperPath).permissions() & 0x7777,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                  QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser |
                  QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                  QFileDevice::ExeOther);
    EXPECT_EQ(readText(layout.socketUnitPath), QString::fromUtf8(ferrow::kHelperSocketUnitText));
    EXPECT_EQ(readText(layout.serviceUnitPath), QString::fromUtf8(ferrow::kHelperServiceUnitText));
    struct stat unit {};
    ASSERT_EQ(::stat(layout.socketUnitPath.toUtf8().constData(), &unit), 0);
    EXPECT_EQ(unit.st_mode & 07777, 0644u);
    EXPECT_EQ(readText(layout.polkitPolicyPath), FRWHelperInstaller::defaultPolkitPolicy());
    struct stat policy {};
    ASSERT_EQ(::stat(layout.polkitPolicyPath.toUtf8().constData(), &policy), 0);
    EXPECT_EQ(policy.st_mode & 07777, 0644u);
    EXPECT_FALSE(QFile::exists(layout.installedHelperPath + ".new"));

    const QStringList calls = systemctlCalls();
    const auto index = [&](const QString& call) { return calls.indexOf(call); };
    const int stop = index("stop zq.orbel.ferrow-mac.helper.socket zq.orbel.ferrow-mac.helper.service");
    const int reload = index("daemon-reload");
    const int enable = index("enable --now zq.orbel.ferrow-mac.helper.socket");
    EXPECT_GE(stop, 0);
    EXPECT_GT(reload, stop);
    EXPECT_GT(enable, reload);
    EXPECT_EQ(pkexecRuns(), 1);
}

TEST_F(EnhancedModeTest, InstallFilesBelongToRoot)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "SKIPPED: needs root for chown root:root";
    }
    layout.owner = QStringLiteral("root:root");
    makeController();
    ASSERT_EQ(await([&](auto done) { controller->installHelperWithCompletion(done); }), std::nullopt);
    struct stat helper {};
    ASSERT_EQ(::stat(layout.installedHelperPath.toUtf8().constData(), &helper), 0);
    EXPECT_EQ(helper.st_uid, 0u);
    EXPECT_EQ(helper.st_gid, 0u);
}

TEST_F(EnhancedModeTest, AHelperStillLoadedIsNeverReplaced)
{
    writeText(layout.installedHelperPath, "old helper");
    writeText(tools + "/state-zq.orbel.ferrow-mac.helper.service", "deactivating");
    const FRWResult result = await([&](auto done) { controller->installHelperWithCompletion(done); });
    ASSERT_TRUE(result);
    EXPECT_EQ(result->description, "the existing helper is still loaded; refusing to replace it")
        << "the script's own reason, not a prompt that was never dismissed";
    EXPECT_EQ(result->domain, "Ferrow");
    EXPECT_EQ(readText(layout.installedHelperPath), "old helper");
    EXPECT_TRUE(
        readText(tools + "/stderr").contains("the existing helper is still loaded; refusing to replace it"));
    EXPECT_FALSE(systemctlCalls().join('\n').contains("enable"));
    EXPECT_FALSE(QFile::exists(layout.socketUnitPath));
}

TEST_F(EnhancedModeTest, AHelperNotSignedByUsIsDeletedAndNeverEnabled)
{
    const auto otherKey = ferrow::signature::generateKeyPair();
    ASSERT_TRUE(otherKey);
    const std::string source = layout.helperSource.toStdString();
    const std::vector<std::function<bool()>> badHelpers{
        [&] { return copyUnsigned(FERROW_HELPER_BINARY, source); },
        [&] { return copySigned(FERROW_HELPER_BINARY, source, "zq.orbel.ferrow-mac", signingKeyPem()); },
        [&] {
            return copySigned(FERROW_HELPER_BINARY, source, "zq.orbel.ferrow-mac.helper",
                              otherKey->privateKeyPem);
        },
    };
    for (std::size_t i = 0; i < badHelpers.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(badHelpers[i]());
        const FRWResult result = await([&](auto done) { controller->installHelperWithCompletion(done); });
        ASSERT_TRUE(result);
        EXPECT_FALSE(result->description.isEmpty());
        EXPECT_TRUE(readText(tools + "/stderr").contains(result->description))
            << result->description.toStdString();
        EXPECT_FALSE(QFile::exists(layout.installedHelperPath));
        EXPECT_FALSE(QFile::exists(layout.socketUnitPath));
        EXPECT_FALSE(systemctlCalls().join('\n').contains("enable"));
        EXPECT_TRUE(readText(tools + "/stderr").contains("helper is not signed by Ferrow"));
    }
}

TEST_F(EnhancedModeTest, ALinkAsTheSourceNeverExposesWhatItPointsAt)
{
    // A file only its owner may read, and the bundled helper replaced by a link to it.
    const QString secret = root + "/secret";
    writeText(secret, "owner-only bytes");
    QFile::setPermissions(secret, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::remove(layout.helperSource);
    ASSERT_TRUE(QFile::link(secret, layout.helperSource));
    const FRWResult result = await([&](auto done) { controller->installHelperWithCompletion(done); });
    ASSERT_TRUE(result);
    EXPECT_TRUE(readText(tools + "/stderr").contains("helper is not a regular file"));
    EXPECT_FALSE(QFile::exists(layout.installedHelperPath));
    EXPECT_FALSE(QFile::exists(layout.installedHelperPath + ".new"));
    EXPECT_EQ(QFile::permissions(secret) & 0x0077, QFileDevice::Permissions())
        << "the secret became readable";
}

TEST_F(EnhancedModeTest, AFifoAsTheSourceIsRefusedWithoutWaiting)
{
    // Swapped for a FIFO after the app looked, just before the script runs as root.
    writeText(tools + "/before-run", QStringLiteral("rm -f -- %1 && mkfifo -m 700 -- %1\n")
                                         .arg(FRWHelperInstaller::shellQuoted(layout.helperSource)));
    QElapsedTimer timer;
    timer.start();
    const FRWResult result = await([&](auto done) { controller->installHelperWithCompletion(done); });
    EXPECT_LT(timer.elapsed(), 10000) << "root waited on the user's FIFO";
    ASSERT_TRUE(result);
    EXPECT_TRUE(readText(tools + "/stderr").contains("helper is not a regular file"));
    EXPECT_FALSE(QFile::exists(layout.installedHelperPath));
    EXPECT_FALSE(QFile::exists(layout.installedHelperPath + ".new"));
}

TEST_F(EnhancedModeTest, AnUnverifiedCopyIsNeverReadableByOthers)
{
    // The verification fails, so the copy must have stayed owner-only until it was removed: the
    // script's own trace shows the mode changes in order.
    ASSERT_TRUE(copyUnsigned(FERROW_HELPER_BINARY, layout.helperSource.toStdString()));
    const QString script = FRWHelperInstaller::installScript(layout, layout.makerPublicKeyPem, "s", "u");
    const int verify = script.indexOf("ferrow_verify '");
    const int open = script.indexOf("chmod 755");
    EXPECT_GT(verify, 0);
    EXPECT_GT(open, verify) << "the copy became readable before it was verified";
    EXPECT_LT(script.indexOf("chmod 700"), verify);
    EXPECT_TRUE(script.contains("umask 077"));
    EXPECT_TRUE(script.contains("iflag=nofollow,nonblock"));
}

TEST(HelperScripts, TheSystemsScriptsAreValidBash)
{
    // Plain paths: an apostrophe in a test folder's name once balanced a stray quote in the script.
    const FRWHelperLayout layout = FRWHelperLayout::system(QStringLiteral("/usr/bin"));
    const QString install = FRWHelperInstaller::installScript(
        layout, layout.makerPublicKeyPem, QStringLiteral("[Unit]\n"), QStringLiteral("[Service]\n"));
    for (const QString& script : {install, FRWHelperInstaller::uninstallScript(layout)}) {
        QProcess bash;
        bash.start(QStringLiteral("/bin/bash"), {QStringLiteral("-n"), QStringLiteral("/dev/stdin")});
        bash.write(script.toUtf8());
        bash.closeWriteChannel();
        ASSERT_TRUE(bash.waitForFinished(10000));
        EXPECT_EQ(bash.exitCode(), 0) << bash.readAllStandardError().toStdString();
    }
}

TEST(HelperPolkitAction, GrantsStartsToActiveLocalSessionsOnly)
{
    QXmlStreamReader xml(FRWHelperInstaller::defaultPolkitPolicy());
    QString action;
    QMap<QString, QString> defaults;
    bool doctype = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isDTD()) {
            doctype = xml.dtdName() == QStringLiteral("policyconfig");
        }
        if (xml.isStartElement() && xml.name() == QStringLiteral("action")) {
            action = xml.attributes().value(QStringLiteral("id")).toString();
        }
        if (xml.isStartElement() && xml.name().startsWith(QStringLiteral("allow_"))) {
            const QString name = xml.name().toString();
            defaults[name] = xml.readElementText();
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(doctype);
    EXPECT_EQ(action, QLatin1String(ferrow::kHelperPolkitAction));
    EXPECT_EQ(defaults.value("allow_any"), "no");
    EXPECT_EQ(defaults.value("allow_inactive"), "no");
    EXPECT_EQ(defaults.value("allow_active"), "yes");
}

TEST_F(EnhancedModeTest, ACancelledOrRefusedPromptOrAnIncompleteInstallIsReported)
{
    writeText(tools + "/pkexec-cancel", "");
    FRWResult result = await([&](auto done) { controller->installHelperWithCompletion(done); });
    ASSERT_TRUE(result);
    EXPECT_EQ(result->description, "Authorization was cancelled.");
    QFile::remove(tools + "/pkexec-cancel");

    writeText(tools + "/pkexec-refuse", "");
    result = await([&](auto done) { controller->installHelperWithCompletion(done); });
    ASSERT_TRUE(result);
    EXPECT_EQ(result->description,
              "This account is not allowed to make this change, or the password could not be checked.");
    QFile::remove(tools + "/pkexec-refuse");

    writeText(tools + "/pkexec-skip", "");
    result = await([&](auto done) { controller->installHelperWithCompletion(done); });
    ASSERT_TRUE(result);
    EXPECT_EQ(result->description, "Helper install did not complete.");
}

TEST_F(EnhancedModeTest, AMissingBundledHelperIsReportedWithoutAPrompt)
{
    QFile::remove(layout.helperSource);
    const FRWResult result = await([&](auto done) { controller->installHelperWithCompletion(done); });
    ASSERT_TRUE(result);
    EXPECT_EQ(result->description, "Bundled helper is missing from the app.");
    EXPECT_EQ(pkexecRuns(), 0);
}

TEST_F(EnhancedModeTest, AnInstalledHelperIsNotInstalledAgainUnlessForced)
{
    pretendInstalled();
    EXPECT_EQ(await([&](auto done) { controller->installHelperWithCompletion(done); }), std::nullopt);
    EXPECT_EQ(pkexecRuns(), 0);
    EXPECT_EQ(await([&](auto done) { controller->reinstallHelperWithCompletion(done); }), std::nullopt);
    EXPECT_EQ(pkexecRuns(), 1);
    EXPECT_EQ(readText(layout.installedHelperPath), readText(layout.helperSource));
    // The force lasts for one install only.
    EXPECT_EQ(await([&](auto done) { controller->installHelperWithCompletion(done); }), std::nullopt);
    EXPECT_EQ(pkexecRuns(), 1);
}

TEST_F(EnhancedModeTest, UninstallRemovesEverything)
{
    ASSERT_EQ(await([&](auto done) { controller->installHelperWithCompletion(done); }), std::nullopt);
    writeText(layout.stagedCorePath, "staged");
    QDir().mkpath(layout.coreStateDirectory + "/1000");
    EXPECT_EQ(await([&](auto done) { controller->uninstallHelperWithCompletion(done); }), std::nullopt);
    for (const QString& file : {layout.installedHelperPath, layout.socketUnitPath, layout.serviceUnitPath,
                                layout.stagedCorePath, layout.polkitPolicyPath, layout.coreStateDirectory}) {
        EXPECT_FALSE(QFile::exists(file)) << file.toStdString();
    }
    EXPECT_FALSE(controller->helperReady());
    const QStringList calls = systemctlCalls();
    EXPECT_TRUE(calls.contains("stop zq.orbel.ferrow-mac.helper.socket zq.orbel.ferrow-mac.helper.service"));
    EXPECT_TRUE(calls.contains("disable zq.orbel.ferrow-mac.helper.socket"));
}

TEST_F(EnhancedModeTest, GatewayModeIsOffUntilSetAndIsKept)
{
    EXPECT_FALSE(controller->gatewayMode());
    controller->setGatewayMode(true);
    makeController();
    EXPECT_TRUE(controller->gatewayMode());
}

// ---- The system package's helper and the build folder's

namespace {

FRWHelperInstallation awaitInstallation(FRWTunnelController& controller)
{
    std::optional<FRWHelperInstallation> answer;
    controller.helperInstallation([&](FRWHelperInstallation installation) { answer = installation; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 10000)) << "no answer";
    return answer.value_or(FRWHelperInstallation{});
}

} // namespace

TEST_F(EnhancedModeTest, SystemdSaysWhichHelperIsInstalled)
{
    using Kind = FRWHelperInstallation::Kind;
    EXPECT_EQ(awaitInstallation(*controller).kind, Kind::None);

    for (const QString& place :
         {QStringLiteral("/lib/systemd/system"), QStringLiteral("/usr/lib/systemd/system")}) {
        systemdLoadsSocketFrom(place + "/zq.orbel.ferrow-mac.helper.socket");
        const FRWHelperInstallation packaged = awaitInstallation(*controller);
        EXPECT_EQ(packaged.kind, Kind::Packaged) << place.toStdString();
        EXPECT_EQ(packaged.packageVersion, "1.4.0-1");
        EXPECT_TRUE(packaged.servesAnotherBuild)
            << "this program's helper is the bundle's, not the package's";
    }
    EXPECT_EQ(readText(tools + "/dpkg-query.log"), "--show --showformat=${Version} ferrow\n"
                                                   "--show --showformat=${Version} ferrow\n");

    // The build folder's units, where systemd loads them from: the package manager is not asked.
    pretendInstalled();
    systemdLoadsSocketFrom(layout.socketUnitPath);
    const FRWHelperInstallation buildFolder = awaitInstallation(*controller);
    EXPECT_EQ(buildFolder.kind, Kind::BuildFolder);
    EXPECT_TRUE(buildFolder.packageVersion.isEmpty());
    EXPECT_EQ(readText(tools + "/dpkg-query.log").count('\n'), 2);

    // They shadow a package's units installed since.
    pretendPackaged();
    EXPECT_EQ(awaitInstallation(*controller).kind, Kind::Both);
    EXPECT_FALSE(awaitInstallation(*controller).servesAnotherBuild) << "the build folder's helper serves it";

    // Without systemd the files decide.
    writeText(tools + "/systemd-down", "");
    EXPECT_EQ(awaitInstallation(*controller).kind, Kind::Both);
    QFile::remove(layout.socketUnitPath);
    EXPECT_EQ(awaitInstallation(*controller).kind, Kind::Packaged);
    // The package's own program finds the package's helper beside it.
    layout.helperSource = layout.packagedHelperPath;
    makeController();
    EXPECT_FALSE(awaitInstallation(*controller).servesAnotherBuild);

    // Whatever is not a path names no unit file.
    for (const QString& answer :
         {QString(), QStringLiteral("inactive"), QStringLiteral("lib/systemd/system/x")}) {
        EXPECT_EQ(FRWHelperInstallation::classify(answer, layout, false, false), Kind::None)
            << answer.toStdString();
    }
    EXPECT_EQ(FRWHelperInstallation::classify(std::nullopt, layout, false, true), Kind::BuildFolder);
}

TEST_F(EnhancedModeTest, ThePackagesHelperIsNeverInstalledOverOrRemovedAndTheAppSaysWhy)
{
    // Known to systemd only: the files of the build folder's layout are absent.
    systemdLoadsSocketFrom("/lib/systemd/system/zq.orbel.ferrow-mac.helper.socket");
    const FRWResult refused = await([&](auto done) { controller->installHelperWithCompletion(done); });
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->description.contains("comes with the system package ferrow 1.4.0-1"))
        << refused->description.toStdString();
    EXPECT_FALSE(QFile::exists(layout.installedHelperPath));

    // An out-of-date packaged helper is not replaced either, nor removed from here.
    pretendPackaged();
    EXPECT_TRUE(controller->helperReady());
    EXPECT_TRUE(await([&](auto done) { controller->reinstallHelperWithCompletion(done); }));
    EXPECT_TRUE(await([&](auto done) { controller->uninstallHelperWithCompletion(done); }));
    EXPECT_TRUE(QFile::exists(layout.packagedHelperPath));
    EXPECT_EQ(pkexecRuns(), 0);
}

TEST_F(EnhancedModeTest, BesideThePackageOnlyTheBuildFoldersCopyIsRemoved)
{
    ASSERT_EQ(await([&](auto done) { controller->installHelperWithCompletion(done); }), std::nullopt);
    writeText(layout.stagedCorePath, "staged");
    writeText(layout.stateDirectory + "/forwarding.saved", "saved");
    pretendPackaged();
    systemdLoadsSocketFrom(layout.socketUnitPath);

    EXPECT_EQ(await([&](auto done) { controller->uninstallHelperWithCompletion(done); }), std::nullopt);
    for (const QString& file :
         {layout.installedHelperPath, layout.socketUnitPath, layout.serviceUnitPath, layout.stagedCorePath}) {
        EXPECT_FALSE(QFile::exists(file)) << file.toStdString();
    }
    // The polkit action and the state folder are the package's as much as the copy's.
    EXPECT_TRUE(QFile::exists(layout.polkitPolicyPath));
    EXPECT_TRUE(QFile::exists(layout.stateDirectory + "/forwarding.saved"));
    EXPECT_TRUE(QFile::exists(layout.packagedHelperPath));
    // Disabling the copy's socket took the package's link too: the package's socket comes back.
    const QStringList calls = systemctlCalls();
    const int disable = calls.lastIndexOf("disable zq.orbel.ferrow-mac.helper.socket");
    const int reload = calls.lastIndexOf("daemon-reload");
    const int enable = calls.lastIndexOf("enable --now zq.orbel.ferrow-mac.helper.socket");
    EXPECT_GT(reload, disable);
    EXPECT_GT(enable, reload);
    EXPECT_TRUE(controller->helperReady());
}
