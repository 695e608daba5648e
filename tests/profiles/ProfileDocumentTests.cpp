#include <gtest/gtest.h>

#include "FRWProfileDocument.h"

namespace doc = FRWProfileDocument;

namespace {

QString str(const QVariantMap& record, const char* key)
{
    return record.value(QLatin1String(key)).toString();
}

} // namespace

TEST(ProfileSections, HeadersMatchWithoutCaseAndAroundSpacesButNotInnerSpaces)
{
    const QString text = QStringLiteral("  [proxy]  \nA = ferrow, a, 1\n[ Proxy ]\nB = ferrow, b, 2\n"
                                        "[PROXY]\n# c\n\nC = ferrow, c, 3");
    const QStringList lines = doc::linesInSection(text, u"[Proxy]");
    EXPECT_EQ(lines, (QStringList{"A = ferrow, a, 1", "# c", "", "C = ferrow, c, 3"}));
}

TEST(ProfileSections, LinesBeforeFirstHeaderBelongToNoSection)
{
    const QString text = QStringLiteral("FINAL,DIRECT\n[Rule]\nDOMAIN,a.com,REJECT\n");
    EXPECT_EQ(doc::linesInSection(text, u"[Rule]"), (QStringList{"DOMAIN,a.com,REJECT", ""}));
    EXPECT_TRUE(doc::linesInSection(text, u"[General]").isEmpty());
}

TEST(ProfileSections, CRLFDocumentReadsLikeLF)
{
    const QString text = QStringLiteral("[Proxy]\r\nHK = ferrow, h, 443, psk=k\r\n[Rule]\r\nFINAL,HK\r\n");
    const auto nodes = doc::editableNodes(text);
    ASSERT_EQ(nodes.size(), 1);
    EXPECT_EQ(str(nodes[0], "psk"), "k");
    const auto rules = doc::rules(text);
    ASSERT_EQ(rules.size(), 1);
    EXPECT_EQ(str(rules[0], "policy"), "HK");
    EXPECT_EQ(doc::linesInSection(text, u"[Rule]"), (QStringList{"FINAL,HK", ""}));
}

TEST(ProfileSections, TrimmingLeavesOtherWhitespaceAlone)
{
    EXPECT_EQ(doc::trimmed(u" \t a b\t \t"), u"a b");
    EXPECT_EQ(doc::trimmed(u"\u00a0x\u00a0"), u"\u00a0x\u00a0");
    EXPECT_TRUE(doc::isSectionHeader(u"[]"));
    EXPECT_FALSE(doc::isSectionHeader(u"["));
    EXPECT_FALSE(doc::isSectionHeader(u"[Rule] x"));
}

TEST(ProfileNodes, ProxyLineFieldsOptionsAndDefaults)
{
    const QString text =
        QStringLiteral("[Proxy]\nX = ferrow, h, 8443, PSK=k, tfo=on, underlying-proxy=Y, foo\n"
                       "Bare = ferrow\n# Skip = ferrow, s, 1\nno equals sign here\n = ferrow, anon, 1\n"
                       "Dup = ferrow, d, 1, a=1, A=2, =ignored\n");
    const auto nodes = doc::editableNodes(text);
    ASSERT_EQ(nodes.size(), 4);

    EXPECT_EQ(str(nodes[0], "name"), "X");
    EXPECT_EQ(str(nodes[0], "server"), "h");
    EXPECT_EQ(str(nodes[0], "port"), "8443");
    EXPECT_EQ(str(nodes[0], "psk"), "k");
    EXPECT_EQ(str(nodes[0], "tfo"), "on");
    EXPECT_EQ(nodes[0].value("extra").toMap(), (QVariantMap{{"underlying-proxy", "Y"}}));

    EXPECT_EQ(str(nodes[1], "server"), "");
    EXPECT_EQ(str(nodes[1], "port"), "443");
    EXPECT_EQ(str(nodes[1], "psk"), "");
    EXPECT_EQ(str(nodes[1], "tfo"), "off");

    EXPECT_EQ(str(nodes[2], "name"), ""); // kept by the editable reader
    EXPECT_EQ(nodes[3].value("extra").toMap(), (QVariantMap{{"a", "2"}}));
}

TEST(ProfileNodes, ListStartsWithBuiltinsAndCapitalisesTheProtocol)
{
    const QString text =
        QStringLiteral("[Proxy]\nA = ferrow, a, 1\nB = , b, 2\nC = shadow sOCKS, c, 3\n = ferrow, x, 1\n");
    const auto nodes = doc::nodes(text);
    ASSERT_EQ(nodes.size(), 5);
    EXPECT_EQ(str(nodes[0], "name"), "REJECT");
    EXPECT_EQ(str(nodes[0], "type"), "Builtin");
    EXPECT_EQ(str(nodes[1], "name"), "DIRECT");
    EXPECT_EQ(str(nodes[2], "type"), "Ferrow");
    EXPECT_EQ(str(nodes[3], "type"), "Proxy");
    EXPECT_EQ(str(nodes[4], "type"), "Shadow Socks");
    EXPECT_EQ(doc::nodes(QString()).size(), 2);
}

TEST(ProfileNodes, DetailsMatchTheNameExactly)
{
    const QString text = QStringLiteral("[Proxy]\nhk = ferrow, lower, 1\nHK = ferrow, upper, 2\n");
    EXPECT_EQ(str(doc::nodeDetails(text, "HK"), "server"), "upper");
    EXPECT_TRUE(doc::nodeDetails(text, "Hk").isEmpty());
}

TEST(ProfileGroups, MembersOptionsStrategyAndSelected)
{
    const QString text = QStringLiteral("[Proxy Group]\nLB = load-balance, A, , B, Strategy = round-robin, "
                                        "url=http://x/?a=b\nEmpty = select\n = select, A\nbroken line\n");
    const auto groups = doc::groups(text);
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(str(groups[0], "type"), "load-balance");
    EXPECT_EQ(groups[0].value("members").toStringList(), (QStringList{"A", "B"}));
    EXPECT_EQ(str(groups[0], "strategy"), "round-robin");
    EXPECT_EQ(str(groups[0], "selected"), "A");
    EXPECT_EQ(groups[0].value("options").toMap().value("url").toString(), "http://x/?a=b");
    EXPECT_EQ(str(groups[1], "selected"), "");
    EXPECT_TRUE(groups[1].value("members").toStringList().isEmpty());

    const auto editable = doc::editableGroups(text);
    EXPECT_EQ(editable[0].keys(), (QStringList{"members", "name", "options", "strategy", "type"}));
}

TEST(ProfileRules, FieldsFinalAndOneWordLines)
{
    const QString text =
        QStringLiteral("[Rule]\nDOMAIN-SUFFIX, a.com , Proxy, no-resolve\nFINAL,Proxy,extra\n"
                       "final,x\n  # comment\nMATCH\n");
    const auto rules = doc::rules(text);
    ASSERT_EQ(rules.size(), 4);
    EXPECT_EQ(str(rules[0], "value"), "a.com");
    EXPECT_EQ(str(rules[0], "policy"), "Proxy");
    EXPECT_EQ(str(rules[1], "type"), "FINAL");
    EXPECT_EQ(str(rules[1], "value"), "");
    EXPECT_EQ(str(rules[1], "policy"), "Proxy");
    EXPECT_EQ(str(rules[2], "value"), "x"); // FINAL is case-sensitive
    EXPECT_EQ(str(rules[3], "type"), "MATCH");
    EXPECT_EQ(str(rules[3], "policy"), "");
}

TEST(ProfileTemplate, IsAConfiguredProfileWithTheKnownSections)
{
    const QString text = doc::templateConfig();
    EXPECT_TRUE(text.endsWith(u'\n'));
    EXPECT_TRUE(text.contains(QLatin1String("ferrow")));
    EXPECT_EQ(doc::nodes(text).size(), 4);
    EXPECT_EQ(doc::groups(text).size(), 1);
    EXPECT_EQ(doc::rules(text).size(), 4);
    EXPECT_TRUE(text.contains(QLatin1String("/generate_204\nproxy-test-url = http://")));
    EXPECT_TRUE(text.contains(QLatin1String("/Country.mmdb\nblock-quic = on")));
    EXPECT_TRUE(text.startsWith(QLatin1String("# ")));
    EXPECT_TRUE(text.section(u'\n', 0, 0).endsWith(QLatin1String("A profile can define many nodes;")));
}
