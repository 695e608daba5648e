#include <gtest/gtest.h>

#include "RuleMatcher.h"

using namespace ferrow::core;

namespace {

RuleMatcher compile(const std::vector<RuleSpec>& specs, RuleContext context = {})
{
    auto compiled = RuleMatcher::compile(specs, context);
    if (auto* error = std::get_if<ConfigError>(&compiled)) {
        ADD_FAILURE() << error->text();
    }
    return std::move(std::get<RuleMatcher>(compiled));
}

MatchInput forHost(std::string_view host, std::uint16_t port = 443)
{
    MatchInput input;
    input.host = host;
    input.destinationPort = port;
    if (const auto literal = IpAddr::parse(host)) {
        input.addressState = MatchInput::Address::Known;
        input.destination = *literal;
    }
    input.source = IpAddr::parse("192.168.1.20");
    input.sourcePort = 50000;
    return input;
}

std::optional<std::size_t> matched(const RuleMatcher& matcher, const MatchInput& input)
{
    const auto outcome = matcher.match(input);
    if (outcome.status == MatchOutcome::Status::Matched) {
        return outcome.index;
    }
    return std::nullopt;
}

class CountingProcess : public ProcessSource {
public:
    const ProcessInfo* process() override
    {
        ++calls;
        return &info;
    }
    ProcessInfo info{"curl", "/usr/bin/curl"};
    int calls = 0;
};

class FixedCountry : public CountryLookup {
public:
    std::string countryOf(const IpAddr& address) const override { return address.bytes[0] == 1 ? "AU" : ""; }
};

} // namespace

TEST(RuleMatcher, DomainTypes)
{
    const auto matcher = compile({{"DOMAIN", "exact.example.com"},
                                  {"DOMAIN-SUFFIX", "suffix.org"},
                                  {"DOMAIN-KEYWORD", "tracker"},
                                  {"DOMAIN-WILDCARD", "*.cdn?.net"},
                                  {"DOMAIN-REGEX", "^ads?\\..*\\.com$"}});
    EXPECT_EQ(matched(matcher, forHost("exact.example.com")), 0u);
    EXPECT_FALSE(matched(matcher, forHost("www.exact.example.com")));
    EXPECT_EQ(matched(matcher, forHost("suffix.org")), 1u);
    EXPECT_EQ(matched(matcher, forHost("a.b.suffix.org")), 1u);
    EXPECT_FALSE(matched(matcher, forHost("notsuffix.org")));
    EXPECT_EQ(matched(matcher, forHost("mytracker-cdn.io")), 2u);
    EXPECT_EQ(matched(matcher, forHost("img.cdn1.net")), 3u);
    EXPECT_FALSE(matched(matcher, forHost("img.cdn12.net")));
    EXPECT_EQ(matched(matcher, forHost("ads.foo.com")), 4u);
    EXPECT_EQ(matched(matcher, forHost("ad.x.com")), 4u);
    EXPECT_FALSE(matched(matcher, forHost("bad.x.com")));
}

TEST(RuleMatcher, FirstMatchWinsBetweenHashedAndOrderedRules)
{
    const auto matcher = compile({{"DOMAIN-KEYWORD", "video"},
                                  {"DOMAIN-SUFFIX", "video.example"},
                                  {"DOMAIN-SUFFIX", "example"},
                                  {"DEST-PORT", "8080"},
                                  {"DOMAIN", "late.example"},
                                  {"FINAL", ""}});
    EXPECT_EQ(matched(matcher, forHost("www.video.example")), 0u) << "the keyword rule comes first";
    EXPECT_EQ(matched(matcher, forHost("late.example", 8080)), 2u)
        << "the earlier suffix beats the later exact";
    EXPECT_EQ(matched(matcher, forHost("other.test", 8080)), 3u);
    EXPECT_EQ(matched(matcher, forHost("other.test", 80)), 5u);
}

// Among suffix rules alone the earliest matching one wins, whether it is the more specific
// suffix or the less: the lookup walks the host's suffixes, not the rules.
TEST(RuleMatcher, FirstMatchWinsAmongSuffixRules)
{
    const auto broadFirst = compile({{"DOMAIN-SUFFIX", "example"},
                                     {"DOMAIN-SUFFIX", "video.example"},
                                     {"DOMAIN-SUFFIX", "cdn.video.example"}});
    EXPECT_EQ(matched(broadFirst, forHost("a.cdn.video.example")), 0u);
    EXPECT_EQ(matched(broadFirst, forHost("video.example")), 0u);
    const auto narrowFirst = compile({{"DOMAIN-SUFFIX", "cdn.video.example"},
                                      {"DOMAIN-SUFFIX", "video.example"},
                                      {"DOMAIN-SUFFIX", "example"}});
    EXPECT_EQ(matched(narrowFirst, forHost("a.cdn.video.example")), 0u);
    EXPECT_EQ(matched(narrowFirst, forHost("www.video.example")), 1u);
    EXPECT_EQ(matched(narrowFirst, forHost("other.example")), 2u);
    EXPECT_FALSE(matched(narrowFirst, forHost("example.test")));
}

TEST(RuleMatcher, AddressRulesAskForResolutionOnlyWhenReached)
{
    const auto matcher = compile({{"DOMAIN-SUFFIX", "known.test"},
                                  {"IP-CIDR", "10.0.0.0/8"},
                                  {"IP-CIDR6", "2001:db8::/32", {"no-resolve"}},
                                  {"FINAL", ""}});
    EXPECT_EQ(matched(matcher, forHost("a.known.test")), 0u) << "no resolution before a domain hit";
    auto input = forHost("elsewhere.test");
    auto outcome = matcher.match(input);
    EXPECT_EQ(outcome.status, MatchOutcome::Status::NeedAddress);
    input.addressState = MatchInput::Address::Known;
    input.destination = *IpAddr::parse("10.1.2.3");
    EXPECT_EQ(matched(matcher, input), 1u);
    input.destination = *IpAddr::parse("192.0.2.1");
    EXPECT_EQ(matched(matcher, input), 3u);
    input.addressState = MatchInput::Address::Unavailable;
    EXPECT_EQ(matched(matcher, input), 3u) << "an unresolvable name skips address rules";
    EXPECT_EQ(matched(matcher, forHost("2001:db8::1")), 2u);

    const auto noResolve = compile({{"IP-CIDR", "10.0.0.0/8", {"no-resolve"}}, {"FINAL", ""}});
    EXPECT_EQ(matched(noResolve, forHost("name.test")), 1u) << "no-resolve never asks";
}

TEST(RuleMatcher, SourcePortProtocolAndProcessRules)
{
    const auto matcher = compile({{"SRC-IP-CIDR", "10.9.0.0/16"},
                                  {"SRC-PORT", "1000-2000"},
                                  {"PROTOCOL", "UDP"},
                                  {"PROCESS-PATH", "/usr/bin/wget"},
                                  {"PROCESS-NAME", "curl"},
                                  {"DEST-PORT", "22"}});
    CountingProcess process;
    auto input = forHost("1.2.3.4", 22);
    input.process = &process;
    EXPECT_EQ(matched(matcher, input), 4u);
    EXPECT_EQ(process.calls, 2) << "looked up when process rules are reached";
    input.sourcePort = 1500;
    EXPECT_EQ(matched(matcher, input), 1u);
    input.source = IpAddr::parse("10.9.3.3");
    EXPECT_EQ(matched(matcher, input), 0u);
    input = forHost("1.2.3.4", 22);
    input.network = "udp";
    EXPECT_EQ(matched(matcher, input), 2u);
    input.network = "tcp";
    EXPECT_EQ(matched(matcher, input), 5u) << "no process source: process rules never match";
}

TEST(RuleMatcher, GeoIpUsesCountryLookupAndNeverMatchesWithout)
{
    RuleContext context;
    context.countries = std::make_shared<FixedCountry>();
    const auto matcher = compile({{"GEOIP", "au"}, {"FINAL", ""}}, context);
    EXPECT_EQ(matched(matcher, forHost("1.1.1.1")), 0u);
    EXPECT_EQ(matched(matcher, forHost("8.8.8.8")), 1u);
    const auto without = compile({{"GEOIP", "AU"}, {"FINAL", ""}});
    EXPECT_EQ(matched(without, forHost("1.1.1.1")), 1u);
}

TEST(RuleMatcher, RuleSetsMatchThroughTheirSlotAndCanBeSwapped)
{
    auto slot = std::make_shared<RuleSetSlot>();
    RuleContext context;
    context.ruleSet = [&](const std::string& name) {
        EXPECT_EQ(name, "my-set");
        return slot;
    };
    const auto matcher = compile({{"RULE-SET", "my-set"}, {"FINAL", ""}}, context);
    EXPECT_EQ(matched(matcher, forHost("listed.test")), 1u) << "a set without data matches nothing";
    auto specs = parseRuleSetText("# comment\nlisted.test\n.suffix.test\nDOMAIN-KEYWORD,word\n10.0.0.0/8\n");
    ASSERT_TRUE(std::holds_alternative<std::vector<RuleSpec>>(specs));
    RuleContext inner;
    inner.allowRuleSets = false;
    slot->matcher.store(
        std::make_shared<RuleMatcher>(compile(std::get<std::vector<RuleSpec>>(specs), inner)));
    EXPECT_EQ(matched(matcher, forHost("listed.test")), 0u);
    EXPECT_EQ(matched(matcher, forHost("a.suffix.test")), 0u);
    EXPECT_EQ(matched(matcher, forHost("keyword.test")), 0u);
    EXPECT_EQ(matcher.match(forHost("other.test")).status, MatchOutcome::Status::NeedAddress)
        << "the set's address rule asks for resolution";
}

TEST(RuleMatcher, BadValuesAreErrorsWithTheirLine)
{
    const std::vector<RuleSpec> bad[] = {
        {{"IP-CIDR", "10.0.0.0/33", {}, 7}}, {{"DEST-PORT", "8100-8000", {}, 7}},
        {{"PROTOCOL", "icmp", {}, 7}},       {{"DOMAIN-REGEX", "([unclosed", {}, 7}},
        {{"NOT-A-TYPE", "x", {}, 7}},        {{"RULE-SET", "x", {}, 7}},
    };
    for (const auto& specs : bad) {
        auto compiled = RuleMatcher::compile(specs, RuleContext{});
        ASSERT_TRUE(std::holds_alternative<ConfigError>(compiled)) << specs[0].type;
        EXPECT_EQ(std::get<ConfigError>(compiled).line, 7);
    }
    EXPECT_TRUE(std::holds_alternative<ConfigError>(parseRuleSetText("UNKNOWN-TYPE,x\n")));
}

TEST(RuleMatcher, RuleTextAndWildcardEdges)
{
    EXPECT_EQ((RuleSpec{"DOMAIN", "a.b"}.text()), "DOMAIN,a.b");
    EXPECT_EQ((RuleSpec{"FINAL", ""}.text()), "FINAL");
    EXPECT_TRUE(wildcardMatch("*", ""));
    EXPECT_TRUE(wildcardMatch("a*b*c", "aXXbYYc"));
    EXPECT_FALSE(wildcardMatch("a*b*c", "aXXbYY"));
    EXPECT_TRUE(wildcardMatch("*.example.com", "x.example.com"));
    EXPECT_FALSE(wildcardMatch("*.example.com", "example.com"));
}

TEST(RuleMatcher, ManyDomainRulesStayExact)
{
    std::vector<RuleSpec> specs;
    for (int i = 0; i < 5000; ++i) {
        specs.push_back({"DOMAIN-SUFFIX", "site" + std::to_string(i) + ".test"});
    }
    specs.push_back({"FINAL", ""});
    const auto matcher = compile(specs);
    EXPECT_EQ(matched(matcher, forHost("www.site4999.test")), 4999u);
    EXPECT_EQ(matched(matcher, forHost("site0.test")), 0u);
    EXPECT_EQ(matched(matcher, forHost("site5000.test")), 5000u);
}

TEST(RuleMatcher, PortTableKeepsRuleOrder)
{
    const auto matcher = compile({{"DOMAIN-SUFFIX", "a.test"},
                                  {"DEST-PORT", "443"},
                                  {"DEST-PORT", "400-500"},
                                  {"DEST-PORT", "443"},
                                  {"DEST-PORT", "8443"},
                                  {"DOMAIN-SUFFIX", "late.test"}});
    EXPECT_EQ(matched(matcher, forHost("x.a.test", 443)), 0u);
    EXPECT_EQ(matched(matcher, forHost("b.test", 443)), 1u);
    EXPECT_EQ(matched(matcher, forHost("b.test", 450)), 2u);
    EXPECT_EQ(matched(matcher, forHost("late.test", 8443)), 4u);
    EXPECT_EQ(matched(matcher, forHost("late.test", 1)), 5u);
    EXPECT_FALSE(matched(matcher, forHost("b.test", 1)));
}
