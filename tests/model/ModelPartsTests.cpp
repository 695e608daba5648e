// The model's pure parts: the log stream's epochs and capacity, and the rate rule.

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FRWAPIInfo.h"
#include "FRWLogStream.h"
#include "FRWTrafficRates.h"

namespace {

QJsonObject answer(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

TEST(LogStream, KeepsTheNewestLinesUpToTheCapacity)
{
    FRWLogStream stream;
    stream.apply(answer(R"({"capacity":4,"lines":["1","2","3","4","5","6","7","8","9","10"],"cursor":10})"));
    EXPECT_EQ(stream.logs(), (QStringList{"7", "8", "9", "10"}));
    stream.apply(answer(R"({"capacity":4,"lines":["11"],"cursor":11})"));
    EXPECT_EQ(stream.logs(), (QStringList{"8", "9", "10", "11"}));
    // A smaller capacity trims even without new lines.
    stream.apply(answer(R"({"capacity":2,"lines":[],"cursor":11})"));
    EXPECT_EQ(stream.logs(), (QStringList{"10", "11"}));
}

TEST(LogStream, CapacityFallsBackTo4000)
{
    for (const char* json : {R"({"capacity":0})", R"({"capacity":"9"})", R"({"capacity":-3})", R"({})"}) {
        FRWLogStream stream;
        QJsonObject logs = answer(json);
        QJsonArray lines;
        for (int i = 0; i < 4005; ++i) {
            lines.append(QString::number(i));
        }
        logs.insert("lines", lines);
        stream.apply(logs);
        ASSERT_EQ(stream.logs().size(), 4000) << json;
        EXPECT_EQ(stream.logs().constFirst(), "5");
    }
}

TEST(LogStream, AnAnswerWithoutLinesLeavesThePublishedListAloneButMovesTheCursor)
{
    FRWLogStream stream;
    stream.apply(answer(R"({"lines":["a"],"cursor":3})"));
    const QStringList before = stream.logs();
    stream.apply(answer(R"({"lines":[],"cursor":5})"));
    EXPECT_TRUE(stream.logs().isSharedWith(before)) << "the same list, not a copy";
    EXPECT_EQ(stream.requestCursor(), 5);
    EXPECT_EQ(stream.logsCursor(), 5);
    stream.apply(answer(R"({"lines":["b"]})"));
    EXPECT_EQ(stream.requestCursor(), 5) << "no cursor in the answer: kept";
}

TEST(LogStream, EpochsMakeTheCursorJump)
{
    FRWLogStream stream;
    EXPECT_EQ(stream.requestCursor(), -1);
    EXPECT_EQ(stream.logsCursor(), 0);
    stream.apply(answer(R"({"lines":["a"],"cursor":40})"));
    EXPECT_EQ(stream.logsCursor(), 40);
    // The core trimmed or restarted behind the cursor.
    stream.apply(answer(R"({"lines":["b"],"cursor":2})"));
    EXPECT_EQ(stream.epoch(), 1);
    EXPECT_EQ(stream.logsCursor(), 1000002);
    stream.reset();
    EXPECT_EQ(stream.epoch(), 2);
    EXPECT_EQ(stream.requestCursor(), -1);
    EXPECT_EQ(stream.logsCursor(), 2000000);
    EXPECT_TRUE(stream.logs().isEmpty());
    // Absurd cursors do not overflow the arithmetic.
    stream.apply(answer(R"({"cursor":1e300})"));
    EXPECT_GE(stream.logsCursor(), 2000000 - 1);
}

TEST(LogStream, OnlyADifferentNonEmptyIdentityResets)
{
    FRWLogStream stream;
    EXPECT_FALSE(stream.noteCoreIdentity("one"));
    stream.apply(answer(R"({"lines":["a"],"cursor":1})"));
    EXPECT_FALSE(stream.noteCoreIdentity(""));
    EXPECT_FALSE(stream.noteCoreIdentity("one"));
    EXPECT_EQ(stream.logs().size(), 1);
    EXPECT_TRUE(stream.noteCoreIdentity("two"));
    EXPECT_TRUE(stream.logs().isEmpty());
    EXPECT_EQ(stream.coreIdentity(), "two");
}

TEST(TrafficRates, FirstSampleAndFallingTotalsGiveZero)
{
    FRWTrafficRates rates;
    rates.apply(1000000, 2000000);
    EXPECT_EQ(rates.uplinkRate(), 0.0);
    EXPECT_EQ(rates.downlinkRate(), 0.0);
    rates.apply(1000100, 2000000);
    EXPECT_EQ(rates.uplinkRate(), 100.0);
    EXPECT_EQ(rates.downlinkRate(), 0.0);
    rates.apply(50, 2000500); // a restarted core counts up again from zero
    EXPECT_EQ(rates.uplinkRate(), 0.0);
    EXPECT_EQ(rates.downlinkRate(), 500.0);
    rates.forgetTotals();
    rates.apply(900, 900);
    EXPECT_EQ(rates.uplinkRate(), 0.0);
    EXPECT_EQ(rates.uplinkHistory(), (QList<double>{0, 100, 0, 0}));
}

// Another account that could write /run/ferrow's file, or any file the app reads, must not be
// able to point the app at a controller of its choosing.
TEST(APIInfoFile, OnlyFilesOfThisUserOrRootThatNobodyElseMayWriteAreTrusted)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("api-info.json"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"address": "127.0.0.1:9090", "secret": "s"})");
    file.close();
    const QByteArray name = QFile::encodeName(path);
    ASSERT_EQ(::chmod(name.constData(), 0644), 0);
    ASSERT_TRUE(FRWAPIInfo::read(path));
    EXPECT_EQ(FRWAPIInfo::address(*FRWAPIInfo::read(path)), QStringLiteral("127.0.0.1:9090"));
    for (const mode_t writable : {0664, 0646}) {
        ASSERT_EQ(::chmod(name.constData(), writable), 0);
        EXPECT_FALSE(FRWAPIInfo::read(path)) << std::oct << writable;
    }
    ASSERT_EQ(::chmod(name.constData(), 0644), 0);
    const QString link = folder.filePath(QStringLiteral("link.json"));
    ASSERT_TRUE(QFile::link(path, link));
    EXPECT_FALSE(FRWAPIInfo::read(link));
    if (::geteuid() == 0) {
        // The file of another account, forged or left behind by its core.
        ASSERT_EQ(::chown(name.constData(), 65534, 65534), 0);
        EXPECT_FALSE(FRWAPIInfo::read(path));
    }
}
