// --help and --version of every program: answered on standard output with no display, no
// configuration and no hand-over to a copy that runs.

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QMap>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include "FRWBuildInfo.h"
#include "FRWNames.h"
#include "TemporaryHome.h"

using namespace ferrow::test;

namespace {

struct Answer {
    int status = -1;
    QString out;
    QString err;
};

/// Runs `program` with `argument` in an environment with no display at all.
Answer ask(const QString& program, const QString& argument, const QString& runtime)
{
    QProcessEnvironment bare;
    bare.insert("PATH", "/usr/bin:/bin");
    bare.insert("XDG_RUNTIME_DIR", runtime);
    QProcess process;
    process.setProcessEnvironment(bare);
    process.start(program, {argument});
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

TEST(CommandLine, EveryProgramAnswersHelpAndVersionWithoutADisplay)
{
    TemporaryHome home;
    const QString runtime = QString::fromStdString(home.root().string());
    // A copy of Ferrow "runs": asking for help must not wake it.
    QLocalServer running;
    ASSERT_TRUE(running.listen(runtime + "/zq.orbel.ferrow-mac.instance"));
    const struct {
        const char* path;
        const char* name;
    } programs[] = {{FERROW_PROGRAM, "Ferrow"},
                    {FERROW_CORE_PROGRAM, "ferrow-core"},
                    {FERROW_SERVER_PROGRAM, "ferrow-server"}};
    for (const auto& program : programs) {
        SCOPED_TRACE(program.name);
        const Answer version = ask(program.path, "--version", runtime);
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.out, QStringLiteral("%1 %2\n").arg(program.name, ferrow::kVersion));
        for (const char* flag : {"--help", "-h"}) {
            const Answer help = ask(program.path, flag, runtime);
            EXPECT_EQ(help.status, 0) << help.err.toStdString();
            EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: %1").arg(program.name)));
            EXPECT_TRUE(help.out.contains("--version")) << "every option is listed";
            EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();
        }
    }
    // The copies have ended, so a connection of theirs would already wait to be accepted.
    EXPECT_FALSE(running.waitForNewConnection(0)) << "help was handed over to the running copy";
}

TEST(DesktopEntry, MatchesTheWindowAndNamesAnIconThatIsInstalled)
{
    QFile entry(QStringLiteral(FERROW_SOURCE_DIR "/packaging/desktop/zq.orbel.ferrow-mac.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    QMap<QString, QString> keys;
    for (const QByteArray& line : entry.readAll().split('\n')) {
        const int equals = line.indexOf('=');
        if (equals > 0) {
            keys.insert(QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1)));
        }
    }
    // Qt names the X11 window class after the application, which the program sets to this name.
    EXPECT_EQ(keys.value("StartupWMClass"), QLatin1String(ferrow::kApplicationName));
    EXPECT_EQ(keys.value("Icon"), QLatin1String(ferrow::kApplicationIdentifier));
    EXPECT_TRUE(QFile::exists(QStringLiteral(FERROW_SOURCE_DIR "/packaging/icons/hicolor/scalable/apps/") +
                              keys.value("Icon") + ".svg"));
}
