#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include "FRWGVariantText.h"
#include "FRWSystemProxyBackend.h"
#include "FRWSystemProxyBackends.h"
#include "FRWToolRunner.h"

namespace gv = FRWGVariantText;
using Desktop = FRWSystemProxyBackends::Desktop;

TEST(GVariantText, StringsInBothQuoteStylesWithEscapes)
{
    EXPECT_EQ(gv::parseString("'manual'"), QString("manual"));
    EXPECT_EQ(gv::parseString(" \"o'brien\" \n"), QString("o'brien"));
    EXPECT_EQ(gv::parseString(R"('a\'b\\c\u00e9')"), QString("a'b\\c\u00e9"));
    EXPECT_EQ(gv::parseString("''"), QString(""));
    EXPECT_FALSE(gv::parseString("manual").has_value());
    EXPECT_FALSE(gv::parseString("'open").has_value());
    EXPECT_FALSE(gv::parseString("'a' trailing").has_value());
    EXPECT_FALSE(gv::parseString(R"('\u12')").has_value());
}

TEST(GVariantText, ArraysIntegersAndBooleans)
{
    EXPECT_EQ(gv::parseStringArray("['localhost', \"o'b\", '::1']"),
              (QStringList{"localhost", "o'b", "::1"}));
    EXPECT_EQ(gv::parseStringArray("@as []"), QStringList());
    EXPECT_EQ(gv::parseStringArray("[]"), QStringList());
    EXPECT_EQ(gv::parseStringArray("['a]b']"), QStringList{"a]b"});
    EXPECT_FALSE(gv::parseStringArray("['a' 'b']").has_value());
    EXPECT_FALSE(gv::parseStringArray("['a',]").has_value());
    EXPECT_EQ(gv::parseInt("8080"), 8080);
    EXPECT_EQ(gv::parseInt("int32 0"), 0);
    EXPECT_FALSE(gv::parseInt("'80'").has_value());
    EXPECT_EQ(gv::parseBool("true"), true);
    EXPECT_FALSE(gv::parseBool("yes").has_value());
}

TEST(GVariantText, WrittenValuesReadBack)
{
    for (const QString& value : {QString("plain"), QString("it's"), QString("back\\slash"), QString()}) {
        EXPECT_EQ(gv::parseString(gv::quoted(value)), value);
    }
    const QStringList list{"a", "b'c", ""};
    EXPECT_EQ(gv::parseStringArray(gv::stringArray(list)), list);
    EXPECT_EQ(gv::stringArray({}), "@as []");
}

TEST(SessionBackend, DesktopIsChosenFromTheSession)
{
    const auto desktop = [](const QString& value) {
        QProcessEnvironment environment;
        environment.insert("XDG_CURRENT_DESKTOP", value);
        return FRWSystemProxyBackends::desktopOf(environment);
    };
    EXPECT_EQ(desktop("GNOME"), Desktop::GNOME);
    EXPECT_EQ(desktop("ubuntu:GNOME"), Desktop::GNOME);
    EXPECT_EQ(desktop("X-Cinnamon"), Desktop::GNOME);
    EXPECT_EQ(desktop("Budgie:GNOME"), Desktop::GNOME);
    EXPECT_EQ(desktop("KDE"), Desktop::KDE);
    EXPECT_EQ(desktop("MATE"), Desktop::MATE);
    EXPECT_EQ(desktop("XFCE"), Desktop::Unsupported);
    EXPECT_EQ(desktop(""), Desktop::Unsupported);
}

TEST(SessionBackend, UnsupportedDesktopHasNothingToTakeOver)
{
    FRWToolRunner runner;
    const auto backend = FRWSystemProxyBackends::forSession(runner, QProcessEnvironment());
    EXPECT_EQ(backend->primaryNetworkService(), QString());
    EXPECT_FALSE(backend->setProxyState(FRWProxyKind::Web, "x", true));
}

TEST(ToolRunner, OutputStatusAndFailures)
{
    FRWToolRunner runner;
    const FRWToolResult ok = runner.run("/bin/sh", {"-c", "printf 'caf\\303\\251'; echo oops >&2; exit 3"});
    EXPECT_EQ(ok.output, QString("caf\u00e9"));
    EXPECT_EQ(ok.status, 3);
    const FRWToolResult notUtf8 = runner.run("/bin/sh", {"-c", "printf '\\377'"});
    EXPECT_EQ(notUtf8.output, QString());
    EXPECT_EQ(notUtf8.status, 0);
    const FRWToolResult missing = runner.run("/nonexistent/tool", {});
    EXPECT_EQ(missing.status, -1);
    const FRWToolResult killed = runner.run("/bin/sh", {"-c", "kill -9 $$"});
    EXPECT_EQ(killed.status, -1);
}
