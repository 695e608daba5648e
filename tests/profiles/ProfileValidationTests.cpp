// The profile validation as a property, against the document writer and reader and ferrow-core's
// own parser: every accepted name, server, key and rule value comes back byte for byte and the
// core accepts the profile; every refused one would have broken one of the two.

#include <random>

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include "FRWProfileDocument.h"
#include "FRWProfileValidation.h"
#include "ProfileConfig.h"
#include "RuleMatcher.h"

namespace {

namespace V = FRWProfileValidation;
namespace D = FRWProfileDocument;
using ferrow::core::ConfigError;
using ferrow::core::ProfileConfig;

const QString kKey = QStringLiteral("Zm9vYmFyYmF6cXV4cXV1eHF1dXp6eXp5eHd2dXRzcg");

/// Pieces values are built from: format characters, quotes, braces, spaces, non-ASCII, control
/// characters, half a surrogate pair.
const QStringList& pieces()
{
    static const QStringList list = [] {
        QStringList p{"a",    "Z",    "7",    "0",  "1",      ".",      "-",          "_",      "/",
                      ":",    ",",    "=",    "\"", "'",      "{",      "}",          "[",      "]",
                      "#",    " ",    "\t",   "*",  "^",      "$",      "(",          ")",      "|",
                      "\\",   "+",    "?",    "%",  "\u00e9", "\u4e2d", "\U0001F600", "\u00a0", "\u2028",
                      "\x01", "\x1f", "\x7f", "\n", "\r"};
        p << QString(QChar(0)) << QString(QChar(0xD800)) << QStringLiteral("10.0.0.0/8")
          << QStringLiteral("::1") << QStringLiteral("443") << QStringLiteral("tcp")
          << QStringLiteral("example.com") << QStringLiteral("a{1,3}");
        return p;
    }();
    return list;
}

QString generated(std::mt19937& random)
{
    std::uniform_int_distribution<int> shape(0, 19);
    const int kind = shape(random);
    // Mostly short, sometimes very long.
    const int length = kind == 0 ? std::uniform_int_distribution<int>(200, 3000)(random)
                                 : std::uniform_int_distribution<int>(1, 12)(random);
    // A third of the values keep to the plain characters, so that many are accepted.
    const int last = kind % 3 == 0 ? 8 : static_cast<int>(pieces().size()) - 1;
    std::uniform_int_distribution<int> piece(0, last);
    QString value;
    for (int i = 0; i < length; ++i) {
        value += pieces()[piece(random)];
    }
    return value;
}

QVariantMap node(const QString& name, const QString& server = QStringLiteral("s.example"),
                 const QString& psk = kKey)
{
    return {{"name", name}, {"server", server}, {"port", "443"}, {"psk", psk}, {"tfo", "off"}};
}

QVariantMap group(const QString& name, const QStringList& members)
{
    return {{"name", name}, {"type", "select"}, {"members", members}};
}

QVariantMap rule(const QString& type, const QString& value, const QString& policy)
{
    return {{"type", type}, {"value", value}, {"policy", policy}};
}

QString profile(const QList<QVariantMap>& nodes, const QList<QVariantMap>& groups,
                const QList<QVariantMap>& rules)
{
    QString text = QStringLiteral("[General]\nloglevel = info\n");
    text = D::replaceSection(text, u"[Proxy]", D::proxyLines(nodes));
    text = D::replaceSection(text, u"[Proxy Group]", D::groupLines(groups));
    return D::replaceSection(text, u"[Rule]", D::ruleLines(rules));
}

/// The text as it comes back: saved as UTF-8, read again, with the line ends the Profile editor holds.
QString reread(const QString& text)
{
    QString back = QString::fromUtf8(text.toUtf8());
    back.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    back.replace(u'\r', u'\n');
    return back;
}

/// The core's reading of the profile, rules compiled as a reload does; null when it refuses it.
std::optional<ProfileConfig> coreReads(const QString& text)
{
    auto parsed = ferrow::core::parseProfile(text.toStdString());
    if (std::holds_alternative<ConfigError>(parsed)) {
        return std::nullopt;
    }
    auto config = std::get<ProfileConfig>(std::move(parsed));
    std::vector<ferrow::core::RuleSpec> specs;
    for (const auto& line : config.rules) {
        specs.push_back({line.type, line.value, line.options, line.line});
    }
    ferrow::core::RuleContext context;
    context.ruleSet = [](const std::string& name) {
        auto slot = std::make_shared<ferrow::core::RuleSetSlot>();
        slot->name = name;
        return slot;
    };
    if (std::holds_alternative<ConfigError>(ferrow::core::RuleMatcher::compile(specs, context))) {
        return std::nullopt;
    }
    return config;
}

std::string utf8(const QString& text)
{
    return text.toStdString();
}

// Each check: does the value survive in its place, in the app's reading and in the core's?

bool nameSurvives(const QString& name)
{
    // As a node listed by a group and named by a rule.
    const QString asNode = reread(profile({node("Base"), node(name)}, {group("Proxy", {"Base", name})},
                                          {rule("DOMAIN", "x.example", name), rule("FINAL", "", "Proxy")}));
    const QList<QVariantMap> nodes = D::editableNodes(asNode);
    const QList<QVariantMap> groups = D::groups(asNode);
    const QList<QVariantMap> rules = D::rules(asNode);
    if (nodes.size() != 2 || nodes[1].value("name").toString() != name || groups.size() != 1 ||
        groups[0].value("members").toStringList() != QStringList{"Base", name} || rules.size() != 2 ||
        rules[0].value("policy").toString() != name) {
        return false;
    }
    const auto core = coreReads(asNode);
    if (!core || core->proxies.size() != 2 || core->proxies[1].name != utf8(name) ||
        core->groups[0].members != std::vector<std::string>{"Base", utf8(name)}) {
        return false;
    }
    // As a group whose last member ends in "]".
    const QString asGroup =
        reread(profile({node("Base"), node("Z]")}, {group(name, {"Base", "Z]"})}, {rule("FINAL", "", name)}));
    const QList<QVariantMap> named = D::groups(asGroup);
    const auto coreGroup = coreReads(asGroup);
    return named.size() == 1 && named[0].value("name").toString() == name &&
           named[0].value("members").toStringList() == QStringList{"Base", "Z]"} && coreGroup &&
           coreGroup->groups.size() == 1 && coreGroup->groups[0].name == utf8(name);
}

bool serverSurvives(const QString& server)
{
    const QString text =
        reread(profile({node("N", server)}, {group("Proxy", {"N"})}, {rule("FINAL", "", "Proxy")}));
    const auto core = coreReads(text);
    return D::nodeDetails(text, "N").value("server").toString() == server && core &&
           core->proxies.size() == 1 && core->proxies[0].server == utf8(server);
}

bool keySurvives(const QString& key)
{
    const QString text =
        reread(profile({node("N", "s.example", key)}, {group("Proxy", {"N"})}, {rule("FINAL", "", "Proxy")}));
    const auto core = coreReads(text);
    return D::nodeDetails(text, "N").value("psk").toString() == key && core && core->proxies.size() == 1 &&
           core->proxies[0].options.at("psk") == utf8(key);
}

bool ruleValueSurvives(const QString& type, const QString& value)
{
    const QString text = reread(profile({}, {}, {rule(type, value, "DIRECT"), rule("FINAL", "", "DIRECT")}));
    const QList<QVariantMap> rules = D::rules(text);
    const auto core = coreReads(text);
    return rules.size() == 2 && rules[0].value("type").toString() == type &&
           rules[0].value("value").toString() == value && rules[0].value("policy").toString() == "DIRECT" &&
           core && core->rules.size() == 2 && core->rules[0].value == utf8(value) &&
           core->rules[0].policy == "DIRECT";
}

const QStringList kRuleTypes{"DOMAIN",  "DOMAIN-SUFFIX", "DOMAIN-KEYWORD", "DOMAIN-WILDCARD", "DOMAIN-REGEX",
                             "IP-CIDR", "SRC-IP-CIDR",   "DEST-PORT",      "SRC-PORT",        "PROTOCOL",
                             "GEOIP",   "PROCESS-NAME",  "RULE-SET"};

TEST(ProfileValidationProperty, AcceptedValuesRoundTripAndRefusedOnesWouldBreak)
{
    std::mt19937 random(20261207);
    constexpr int kValues = 2000;
    QElapsedTimer clock;
    clock.start();
    int accepted[4] = {};
    int checked = 0;
    for (; checked < kValues && clock.elapsed() < 60000; ++checked) {
        const QString name = generated(random);
        const bool nameOk = V::nodeNameProblem(name, {"Base", "Z]"}, {"Proxy"}).isEmpty();
        EXPECT_EQ(V::groupNameProblem(name, {"Base", "Z]"}, {"Proxy"}).isEmpty(), nameOk);
        EXPECT_EQ(nameSurvives(name), nameOk) << utf8(name);

        const QString server = generated(random);
        const bool serverOk = V::serverProblem(server).isEmpty();
        EXPECT_EQ(serverSurvives(server), serverOk) << utf8(server);

        const QString key = generated(random);
        const bool keyOk = V::keyProblem(key).isEmpty();
        EXPECT_EQ(keySurvives(key), keyOk) << utf8(key);

        const QString type = kRuleTypes[checked % kRuleTypes.size()];
        QString value = generated(random);
        if (type == u"DOMAIN-REGEX") {
            // The core's regex compiler copies a counted repeat that many times and recurses on
            // nesting: long expressions and generated counts would only measure that.
            value.truncate(200);
            value.remove(u'{').remove(u'}');
            if (checked % 2 == 0) {
                value += QStringLiteral("a{2}");
            }
        }
        const bool valueOk = V::ruleValueProblem(type, value).isEmpty();
        EXPECT_EQ(ruleValueSurvives(type, value), valueOk) << utf8(type) << " " << utf8(value);

        accepted[0] += nameOk;
        accepted[1] += serverOk;
        accepted[2] += keyOk;
        accepted[3] += valueOk;
    }
    EXPECT_GE(checked, 1000);
    // Both sides of every check were exercised.
    for (const int count : accepted) {
        EXPECT_GT(count, checked / 10);
        EXPECT_LT(count, checked - checked / 10);
    }
}

TEST(ProfileValidation, NamesTheCoreWouldRefuseOrTheFormatWouldSplit)
{
    const QStringList nodes{"HK", "JP"};
    const QStringList groups{"Proxy"};
    EXPECT_EQ(V::nodeNameProblem("Fast, HK", nodes, groups), "A name cannot contain a comma.");
    EXPECT_EQ(V::nodeNameProblem("a=b", nodes, groups), "A name cannot contain \u201c=\u201d.");
    EXPECT_EQ(V::nodeNameProblem("HK", nodes, groups), "A node named \u201cHK\u201d already exists.");
    EXPECT_EQ(V::nodeNameProblem("Proxy", nodes, groups),
              "A policy group named \u201cProxy\u201d already exists.");
    EXPECT_EQ(V::nodeNameProblem("REJECT", nodes, groups), "\u201cREJECT\u201d is a built-in policy.");
    EXPECT_TRUE(V::nodeNameProblem("hk", nodes, groups).isEmpty()); // the core compares exactly
    EXPECT_TRUE(V::nodeNameProblem("Tokyo \u6771\u4eac \"2\"", nodes, groups).isEmpty());
    EXPECT_EQ(V::ruleValueProblem("DOMAIN-REGEX", "^a{1,3}$"), "A rule's value cannot contain a comma.");
    EXPECT_EQ(V::ruleValueProblem("DOMAIN-REGEX", "(a"),
              "This is not a regular expression the core can use.");
    EXPECT_TRUE(V::ruleValueProblem("DOMAIN-REGEX", "^ads?\\..*\\.com$").isEmpty());
    EXPECT_EQ(V::keyProblem("k,ey"), "The key cannot contain a comma.");
    EXPECT_TRUE(V::keyProblem("a=b").isEmpty());

    // Keys: a generated one passes quietly; a typed one is kept, with a warning.
    EXPECT_TRUE(V::keyWarning(kKey).isEmpty());
    EXPECT_FALSE(V::keyWarning("psk-goes-here").isEmpty());
    EXPECT_FALSE(V::keyWarning("passwordpasswordpassword").isEmpty());
    EXPECT_FALSE(V::keyWarning("summer2024summer").isEmpty());
    EXPECT_FALSE(V::keyWarning("correcthorsebatterystaple").isEmpty());
    EXPECT_FALSE(V::keyWarning(QString(60, u'a')).isEmpty());
}

} // namespace
