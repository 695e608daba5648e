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

TEST(ShareLink, WrittenLinksReadBackToTheSameNode)
{
    const QList<QVariantMap> nodes{
        {{"name", "HK"}, {"server", "hk.example.net"}, {"port", "8443"}, {"psk", "abc"}, {"tfo", "auto"}},
        // Escapes in the name, a key that is not base64 text, an IPv6 server.
        {{"name", QStringLiteral(" 東京 #1 100% a&b?c=d ✓ ")},
         {"server", "2001:db8::1"},
         {"port", "443"},
         {"psk", QStringLiteral("k+/=\u00e9 \u2713@#")},
         {"tfo", "off"}},
        {{"name", "n"}, {"server", "203.0.113.9"}, {"port", "1"}, {"psk", "x"}, {"tfo", "on"}},
    };
    for (const QVariantMap& node : nodes) {
        const std::optional<QString> link = FRWShareLink::link(node);
        ASSERT_TRUE(link.has_value()) << node.value("name").toString().toStdString();
        EXPECT_EQ(parsed(*link), node) << link->toStdString();
        EXPECT_FALSE(link->contains(u' '));
    }
    // A mode the link cannot carry is left out, not written as something else.
    QVariantMap odd = nodes[0];
    odd["tfo"] = "sometimes";
    EXPECT_FALSE(parsed(FRWShareLink::link(odd).value_or("")).contains("tfo"));
}

TEST(ShareLink, NodesALinkCannotCarryGetNone)
{
    const QVariantMap good{{"name", "a"}, {"server", "h.example.net"}, {"port", "443"}, {"psk", "k"}};
    for (const auto& [key, value] : {std::pair{"psk", ""},
                                     {"port", "0"},
                                     {"port", "65536"},
                                     {"port", "x"},
                                     {"server", ""},
                                     {"server", "h#x"},
                                     {"server", "h/x"},
                                     {"server", "a b"}}) {
        QVariantMap node = good;
        node[key] = value;
        EXPECT_FALSE(FRWShareLink::link(node).has_value()) << key << "=" << value;
    }
    EXPECT_TRUE(FRWShareLink::link(good).has_value());
}
