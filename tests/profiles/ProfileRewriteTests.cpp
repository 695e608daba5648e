#include <QRegularExpression>

#include <gtest/gtest.h>

#include "FRWProfileDocument.h"

namespace doc = FRWProfileDocument;

TEST(ReplaceSection, ReplacesTheBodyAndKeepsEverythingElseByteForByte)
{
    const QString text = QStringLiteral("# head\n[General]\nkey = v \t\n\n[Rule]\n# old\nA,b,c\n\n"
                                        "[Proxy Group]\nP = select, A\n");
    const QString result = doc::replaceSection(text, u"[Rule]", {"X,y,z", "FINAL,P"});
    EXPECT_EQ(result, QStringLiteral("# head\n[General]\nkey = v \t\n\n[Rule]\nX,y,z\nFINAL,P\n"
                                     "[Proxy Group]\nP = select, A\n"));
}

TEST(ReplaceSection, LastSectionLosesTheTrailingLineFeed)
{
    const QString result = doc::replaceSection(u"[General]\na = 1\n[Rule]\nA,b,c\n", u"[rule]", {"FINAL,X"});
    EXPECT_EQ(result, QStringLiteral("[General]\na = 1\n[Rule]\nFINAL,X"));
}

TEST(ReplaceSection, MissingSectionIsAppendedAfterAnEmptyLine)
{
    EXPECT_EQ(doc::replaceSection(u"[General]\na = 1", u"[Rule]", {"FINAL,X"}),
              QStringLiteral("[General]\na = 1\n\n[Rule]\nFINAL,X"));
    EXPECT_EQ(doc::replaceSection(u"[General]\na = 1\n", u"[Rule]", {"FINAL,X"}),
              QStringLiteral("[General]\na = 1\n\n\n[Rule]\nFINAL,X"));
    EXPECT_EQ(doc::replaceSection(u"", u"[Rule]", {}), QStringLiteral("\n\n[Rule]"));
}

TEST(ReplaceSection, MixedLineEndsStayAsTheyWereOutsideTheRewrittenSection)
{
    // CR LF first, LF later: only the new rule lines take the document's CR LF.
    const QString text = QStringLiteral("# head\r\n[General]\na = 1\n[Rule]\nA,b,c\r\n[Proxy]\nP = x\n");
    EXPECT_EQ(doc::replaceSection(text, u"[Rule]", {"X,y,z", "FINAL,P"}),
              QStringLiteral("# head\r\n[General]\na = 1\n[Rule]\nX,y,z\r\nFINAL,P\r\n[Proxy]\nP = x\n"));
    // An appended section follows an LF-ended last line with the document's break.
    EXPECT_EQ(doc::replaceSection(u"a\r\nb\nc", u"[Rule]", {"FINAL,X"}),
              QStringLiteral("a\r\nb\nc\r\n\r\n[Rule]\r\nFINAL,X"));
}

TEST(ReplaceSection, EverySectionOfTheNameGetsTheNewLines)
{
    const QString result =
        doc::replaceSection(u"[Rule]\nA,1,x\n[General]\n[RULE]\nB,2,y\n", u"[Rule]", {"N,n,n"});
    EXPECT_EQ(result, QStringLiteral("[Rule]\nN,n,n\n[General]\n[RULE]\nN,n,n"));
}

TEST(ReplaceSection, HeaderWithSpacesInsideBracketsIsAnotherSection)
{
    const QString result = doc::replaceSection(u"[ Rule ]\nA,1,x\n", u"[Rule]", {"N,n,n"});
    EXPECT_EQ(result, QStringLiteral("[ Rule ]\nA,1,x\n\n\n[Rule]\nN,n,n"));
}

TEST(ReplaceSection, CRLFDocumentIsRewrittenInPlaceWithCRLF)
{
    const QString text =
        QStringLiteral("[General]\r\na = 1\r\n\r\n[Rule]\r\nA,b,c\r\n\r\n[Proxy]\r\nX = ferrow, h, 1\r\n");
    const QString result = doc::replaceSection(text, u"[Rule]", {"FINAL,X"});
    EXPECT_EQ(result, QStringLiteral(
                          "[General]\r\na = 1\r\n\r\n[Rule]\r\nFINAL,X\r\n[Proxy]\r\nX = ferrow, h, 1\r\n"));
    EXPECT_EQ(result.count(QLatin1String("[Rule]")), 1);
    EXPECT_FALSE(result.contains(QRegularExpression(QStringLiteral("[^\r]\n"))));
}

TEST(ReplaceSection, CRLFDocumentWithoutTheSectionAppendsItWithCRLF)
{
    const QString result = doc::replaceSection(u"[General]\r\na = 1\r\n", u"[Rule]", {"FINAL,X", "A,b,c"});
    EXPECT_EQ(result, QStringLiteral("[General]\r\na = 1\r\n\r\n\r\n[Rule]\r\nFINAL,X\r\nA,b,c"));
}

TEST(ReplaceSection, StrayCarriageReturnInAnLFDocumentIsKept)
{
    // The header is recognised, the untouched line keeps its bytes.
    const QString result = doc::replaceSection(u"[General]\nnote = x\r\n[Rule]\r\nA,b,c\n", u"[Rule]", {"N"});
    EXPECT_EQ(result, QStringLiteral("[General]\nnote = x\r\n[Rule]\r\nN"));
}

TEST(RuleWriter, FormatsRecordsAndDropsExtraFields)
{
    const QList<QVariantMap> rules{{{"type", "DOMAIN"}, {"value", "a.com"}, {"policy", "P"}},
                                   {{"type", "FINAL"}, {"value", "ignored"}, {"policy", "Proxy"}},
                                   {{"type", "GEOIP"}}};
    EXPECT_EQ(doc::ruleLines(rules), (QStringList{"DOMAIN,a.com,P", "FINAL,Proxy", "GEOIP,,"}));

    const QString text = QStringLiteral("[Rule]\nFINAL,Proxy,extra\nIP-CIDR,10.0.0.0/8,DIRECT,no-resolve\n");
    const QString rewritten = doc::replaceSection(text, u"[Rule]", doc::ruleLines(doc::rules(text)));
    EXPECT_EQ(rewritten, QStringLiteral("[Rule]\nFINAL,Proxy\nIP-CIDR,10.0.0.0/8,DIRECT"));
}

TEST(ProxyWriter, WritesTheFixedFormatWithSortedExtras)
{
    const QString text =
        QStringLiteral("[Proxy]\nX = ferrow, h, 8443, PSK=k, tfo=on, underlying-proxy=Y, foo, b=2, a=1\n");
    EXPECT_EQ(doc::proxyLines(doc::editableNodes(text)),
              (QStringList{"X = ferrow, h, 8443, psk=k, tfo=on, a=1, b=2, underlying-proxy=Y"}));
    const QList<QVariantMap> bare{{{"name", "N"}, {"server", "s"}, {"port", 1}}};
    EXPECT_EQ(doc::proxyLines(bare), (QStringList{"N = ferrow, s, 1, psk=, tfo=off"}));
}

TEST(GroupWriter, TypeDefaultMembersAndNonEmptySortedOptions)
{
    const QList<QVariantMap> groups{
        {{"name", "G"},
         {"members", QStringList{"A", "B"}},
         {"options", QVariantMap{{"z", "1"}, {"empty", ""}}}},
        {{"name", "LB"},
         {"type", "load-balance"},
         {"strategy", "round-robin"},
         {"members", QStringList{"A"}},
         {"options", QVariantMap{{"strategy", "sticky-sessions"}, {"interval", "60"}}}}};
    EXPECT_EQ(
        doc::groupLines(groups),
        (QStringList{"G = select, A, B, z=1", "LB = load-balance, A, interval=60, strategy=round-robin"}));
}

TEST(GroupWriter, ReadWriteRoundTripIsStable)
{
    const QString text = QStringLiteral("[Proxy Group]\nP = url-test, A, B, url=http://x/, interval=300\n");
    const QStringList once = doc::groupLines(doc::editableGroups(text));
    const QString rewritten = doc::replaceSection(text, u"[Proxy Group]", once);
    EXPECT_EQ(doc::groupLines(doc::editableGroups(rewritten)), once);
    EXPECT_EQ(once, (QStringList{"P = url-test, A, B, interval=300, url=http://x/"}));
}
