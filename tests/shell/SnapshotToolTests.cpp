#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
const QStringList kPageKeys{"activity", "overview", "connections", "process", "device",  "profile",
                            "policy",   "rule",     "logs",        "about",   "settings"};

QProcess* runTool(const QStringList& arguments)
{
    auto* tool = new QProcess;
    tool->setProcessChannelMode(QProcess::MergedChannels);
    tool->start(QStringLiteral(FERROW_SNAPSHOT_TOOL), arguments);
    tool->waitForFinished(90000);
    return tool;
}
} // namespace

TEST(SnapshotTool, WritesEveryPageAndTheGalleryInBothAppearances)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString output = folder.filePath("snapshots");
    std::unique_ptr<QProcess> tool(runTool({output}));
    ASSERT_EQ(tool->exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(tool->exitCode(), 0) << tool->readAll().toStdString();

    QStringList expected;
    for (const QString scheme : {"light", "dark"}) {
        for (const QString& key : kPageKeys) {
            expected.append(QStringLiteral("window-%1-%2.png").arg(key, scheme));
        }
        expected.append(QStringLiteral("gallery-%1.png").arg(scheme));
    }
    QStringList shell;
    for (const QString scheme : {"light", "dark"}) {
        for (const QString form : {"drawn", "native"}) {
            shell.append(QStringLiteral("menu-%1-%2.png").arg(form, scheme));
            for (const QString submenu : {"group", "outbound", "profiles"}) {
                shell.append(QStringLiteral("menu-%1-%2-%3.png").arg(form, submenu, scheme));
            }
        }
        shell.append(QStringLiteral("terminating-%1.png").arg(scheme));
    }
    QStringList written = QDir(output).entryList({"*.png"}, QDir::Files, QDir::Name);
    QStringList sortedExpected = expected + shell;
    sortedExpected.sort();
    EXPECT_EQ(written, sortedExpected);

    for (const QString& name : expected) {
        const QImage image(QDir(output).filePath(name));
        ASSERT_FALSE(image.isNull()) << name.toStdString();
        EXPECT_EQ(image.size(), QSize(940, 726)) << name.toStdString();
    }
    // Light and dark really differ: the gradient's corner.
    const QImage light(QDir(output).filePath("window-policy-light.png"));
    const QImage dark(QDir(output).filePath("window-policy-dark.png"));
    EXPECT_GT(light.pixelColor(2, 2).lightness(), 200);
    EXPECT_LT(dark.pixelColor(2, 2).lightness(), 70);
}

TEST(SnapshotTool, RejectsMissingOrExtraArguments)
{
    std::unique_ptr<QProcess> none(runTool({}));
    EXPECT_EQ(none->exitCode(), 2);
    std::unique_ptr<QProcess> extra(runTool({"/tmp/a", "/tmp/b"}));
    EXPECT_EQ(extra->exitCode(), 2);
    std::unique_ptr<QProcess> unknown(runTool({"--bogus", "/tmp/a"}));
    EXPECT_EQ(unknown->exitCode(), 2);
    std::unique_ptr<QProcess> language(runTool({"--language", "xx", "/tmp/a"}));
    EXPECT_EQ(language->exitCode(), 2) << "a language without a translation";
    std::unique_ptr<QProcess> scheme(runTool({"--scheme", "sepia", "/tmp/a"}));
    EXPECT_EQ(scheme->exitCode(), 2);
    std::unique_ptr<QProcess> valueless(runTool({"/tmp/a", "--language"}));
    EXPECT_EQ(valueless->exitCode(), 2);
}

TEST(SnapshotTool, ReportsAnUnwritableFolder)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString blocker = folder.filePath("file");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    std::unique_ptr<QProcess> tool(runTool({blocker + "/inside"}));
    EXPECT_EQ(tool->exitCode(), 1);
}
