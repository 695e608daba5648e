#include <gtest/gtest.h>

#include "FRWShareLink.h"

namespace {

// "secret-key" in unpadded base64url is "c2VjcmV0LWtleQ".
const QString kKey = QStringLiteral("c2VjcmV0LWtleQ");

QVariantMap parsed(const QString& link)
{
    const auto node = FRWShareLink::parse(link);
    return node.value_or(QVariantMap{{"invalid", true}});
}

bool rejects(const QString& link)
{
    return !FRWShareLink::parse(link).has_value();
}

} // namespace

TEST(ShareLink, ReadsAFullLink)
{
    const QVariantMap node =
        parsed(QStringLiteral("  ferrow://%1@example.org:8443?tfo=ON&x=1#Tokyo%20%E2%9C%93 \n").arg(kKey));
    EXPECT_EQ(node, (QVariantMap{{"name", QStringLiteral("Tokyo \u2713")},
                                 {"server", "example.org"},
                                 {"port", "8443"},
                                 {"psk", "secret-key"},
                                 {"tfo", "on"}}));
}

TEST(ShareLink, SchemeIsCaseInsensitiveAndDefaultsApply)
{
    const QVariantMap node = parsed(QStringLiteral("FeRRoW://%1@host").arg(kKey));
    EXPECT_EQ(node.value("name"), "host");
    EXPECT_EQ(node.value("port"), "443");
    EXPECT_FALSE(node.contains("tfo"));
}

TEST(ShareLink, IPv6LiteralsInBrackets)
{
    EXPECT_EQ(parsed(QStringLiteral("ferrow://%1@[::1]:8443").arg(kKey)).value("server"), "::1");
    EXPECT_EQ(parsed(QStringLiteral("ferrow://%1@[::1]:8443").arg(kKey)).value("port"), "8443");
    EXPECT_EQ(parsed(QStringLiteral("ferrow://%1@[::1]").arg(kKey)).value("port"), "443");
    EXPECT_EQ(parsed(QStringLiteral("ferrow://%1@[::1]junk").arg(kKey)).value("port"), "443");
    EXPECT_TRUE(rejects(QStringLiteral("ferrow://%1@[::1:8443").arg(kKey)));
    EXPECT_TRUE(rejects(QStringLiteral("ferrow://%1@[]:8443").arg(kKey)));
}

TEST(ShareLink, PortBoundaries)
{
    EXPECT_EQ(parsed(QStringLiteral("ferrow://%1@h:1").arg(kKey)).value("port"), "1");
    EXPECT_EQ(parsed(QStringLiteral("ferrow://%1@h:65535").arg(kKey)).value("port"), "65535");
    // Leading zeros do not change the value.
    EXPECT_EQ(parsed(QStringLiteral("ferrow://%1@h:000080").arg(kKey)).value("port"), "80");
    EXPECT_EQ(parsed(QStringLiteral("ferrow://%1@h:0000000000065535").arg(kKey)).value("port"), "65535");
    for (const char* port :
         {"0", "0000", "65536", "065536", "8a", "-1", "+80", "99999999999999999999", "8 0"}) {
        EXPECT_TRUE(rejects(QStringLiteral("ferrow://%1@h:%2").arg(kKey, QLatin1String(port)))) << port;
    }
    EXPECT_EQ(parsed(QStringLiteral("ferrow://%1@h:").arg(kKey)).value("port"), "443"); // empty port text
}

TEST(ShareLink, KeyAlphabetsAndPadding)
{
    // "?\?>" encodes to "Pz8+" in base64 and "Pz8-" in base64url; both alphabets are read.
    EXPECT_EQ(parsed(QStringLiteral("ferrow://Pz8-@h")).value("psk"), "?\?>");
    EXPECT_EQ(parsed(QStringLiteral("ferrow://Pz8+@h")).value("psk"), "?\?>");
    EXPECT_EQ(parsed(QStringLiteral("ferrow://YQ@h")).value("psk"), "a");
    EXPECT_EQ(parsed(QStringLiteral("ferrow://YQ==@h")).value("psk"), "a");
    EXPECT_TRUE(rejects(QStringLiteral("ferrow://c2Vj*mV0@h")));
    EXPECT_TRUE(rejects(QStringLiteral("ferrow://Y@h")));    // cannot be base64 at any padding
    EXPECT_TRUE(rejects(QStringLiteral("ferrow://Y=Q=@h"))); // padding in the middle
    EXPECT_TRUE(rejects(QStringLiteral("ferrow://_w@h")));   // 0xFF is not UTF-8
    EXPECT_FALSE(rejects(QStringLiteral("ferrow://AA@h")));  // a NUL byte is still UTF-8
}

TEST(ShareLink, StructureRejections)
{
    EXPECT_TRUE(rejects(QString()));
    EXPECT_TRUE(rejects(QStringLiteral("ferrow://")));
    EXPECT_TRUE(rejects(QStringLiteral("https://%1@h").arg(kKey)));
    EXPECT_TRUE(rejects(QStringLiteral("ferrow:/%1@h").arg(kKey)));
    EXPECT_TRUE(rejects(QStringLiteral("ferrow://%1h").arg(kKey)));
    EXPECT_TRUE(rejects(QStringLiteral("ferrow://@h")));
    EXPECT_TRUE(rejects(QStringLiteral("ferrow://%1@").arg(kKey)));
    EXPECT_TRUE(rejects(QStringLiteral("ferrow://%1@:443").arg(kKey)));
    EXPECT_TRUE(rejects(QStringLiteral("ferrow://%1@?tfo=on").arg(kKey)));
}

TEST(ShareLink, SplitsAtTheLastAtAndTheFirstHashAndQuestionMark)
{
    // The key side may not hold "@" (not base64), so a user@ prefix makes the key invalid.
    EXPECT_TRUE(rejects(QStringLiteral("ferrow://a@%1@h").arg(kKey)));
    const QVariantMap node = parsed(QStringLiteral("ferrow://%1@h?tfo=auto?x#a#b").arg(kKey));
    EXPECT_EQ(node.value("name"), "a#b");
    EXPECT_FALSE(node.contains("tfo")); // the query is "tfo=auto?x"
}

TEST(ShareLink, TfoOnlyWhenKnownAndLastItemWins)
{
    EXPECT_FALSE(parsed(QStringLiteral("ferrow://%1@h?tfo=fast").arg(kKey)).contains("tfo"));
    EXPECT_EQ(parsed(QStringLiteral("ferrow://%1@h?tfo=on&TFO=Off").arg(kKey)).value("tfo"), "off");
    EXPECT_FALSE(parsed(QStringLiteral("ferrow://%1@h?tfo=on&tfo=bad").arg(kKey)).contains("tfo"));
    EXPECT_FALSE(parsed(QStringLiteral("ferrow://%1@h?tfo").arg(kKey)).contains("tfo"));
}

TEST(ShareLink, BadNameEscapesFallBackToTheHost)
{
    EXPECT_EQ(parsed(QStringLiteral("ferrow://%1@h#%zz").arg(kKey)).value("name"), "h");
    EXPECT_EQ(parsed(QStringLiteral("ferrow://%1@h#%C3").arg(kKey)).value("name"), "h");
    EXPECT_EQ(parsed(QStringLiteral("ferrow://%1@h#").arg(kKey)).value("name"), "h");
    EXPECT_EQ(parsed(QStringLiteral("ferrow://%1@h#%").arg(kKey)).value("name"), "h");
}

TEST(ShareLink, PercentDecoding)
{
    EXPECT_EQ(FRWShareLink::percentDecoded(u"a%2Fb%e2%9c%93c").value_or("x"), QStringLiteral("a/b\u2713c"));
    EXPECT_FALSE(FRWShareLink::percentDecoded(u"%2").has_value());
    EXPECT_FALSE(FRWShareLink::percentDecoded(u"%FF").has_value());
    EXPECT_EQ(FRWShareLink::percentDecoded(u"\U0001F600%20").value_or("x"), QStringLiteral("\U0001F600 "));
}
