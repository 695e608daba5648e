#include <gtest/gtest.h>

#include "NetAddress.h"
#include "ProfileConfig.h"

using namespace ferrow::core;

namespace {

const char* kDefaultProfile =
    R"(# Ferrow profile in the common INI-like proxy profile format. A profile can define many nodes;
# switch between them on the Policy screen.

[General]
# The resolver for DIRECT traffic.
dns-server = 192.0.2.53
connection-history = 600
log-history = 4000
internet-test-url = http://connectivitycheck.example/generate_204
proxy-test-url = http://www.example.com/generate_204
geoip-maxmind-url = https://example.com/Country.mmdb
block-quic = on
udp-policy-not-supported-behaviour = reject

[Proxy]
# Name = ferrow, <server>, <port>, psk=<key>, tfo=off|auto|on
HK = ferrow, hk.example.com, 443, psk=psk-goes-here, tfo=off
JP = ferrow, jp.example.com, 443, psk=psk-goes-here, tfo=off

[Proxy Group]
Proxy = select, HK, JP

[Rule]
RULE-SET,geoip:private,DIRECT
RULE-SET,geosite:cn,DIRECT
RULE-SET,geoip:cn,DIRECT
FINAL,Proxy
)";

ConfigError errorOf(const std::string& text)
{
    const auto parsed = parseProfile(text);
    EXPECT_TRUE(std::holds_alternative<ConfigError>(parsed)) << text;
    return std::holds_alternative<ConfigError>(parsed) ? std::get<ConfigError>(parsed) : ConfigError{};
}

} // namespace

TEST(ProfileConfig, DefaultProfileReadsWhole)
{
    const auto parsed = parseProfile(kDefaultProfile);
    ASSERT_TRUE(std::holds_alternative<ProfileConfig>(parsed)) << std::get<ConfigError>(parsed).text();
    const auto& config = std::get<ProfileConfig>(parsed);
    EXPECT_EQ(config.general.dnsServers, std::vector<std::string>{"192.0.2.53"});
    EXPECT_EQ(config.general.connectionHistory, 600u);
    EXPECT_EQ(config.general.logHistory, 4000u);
    EXPECT_EQ(config.general.proxyTestUrl, "http://www.example.com/generate_204");
    EXPECT_TRUE(config.general.blockQuic);
    EXPECT_EQ(config.general.udpPolicy, "reject");
    ASSERT_EQ(config.proxies.size(), 2u);
    EXPECT_EQ(config.proxies[0].name, "HK");
    EXPECT_EQ(config.proxies[0].protocol, "ferrow");
    EXPECT_EQ(config.proxies[0].port, 443);
    EXPECT_EQ(config.proxies[0].options.at("psk"), "psk-goes-here");
    ASSERT_EQ(config.groups.size(), 1u);
    EXPECT_EQ(config.groups[0].members, (std::vector<std::string>{"HK", "JP"}));
    ASSERT_EQ(config.rules.size(), 4u);
    EXPECT_EQ(config.rules[0].type, "RULE-SET");
    EXPECT_EQ(config.rules[0].value, "geoip:private");
    EXPECT_EQ(config.rules[3].type, "FINAL");
    EXPECT_EQ(config.rules[3].policy, "Proxy");
    EXPECT_EQ(config.rules[3].line, 27);
}

TEST(ProfileConfig, CrLfReadsLikeLf)
{
    std::string crlf;
    for (const char* c = kDefaultProfile; *c; ++c) {
        if (*c == '\n') {
            crlf += '\r';
        }
        crlf += *c;
    }
    const auto parsed = parseProfile(crlf);
    ASSERT_TRUE(std::holds_alternative<ProfileConfig>(parsed));
    const auto& config = std::get<ProfileConfig>(parsed);
    EXPECT_EQ(config.proxies.size(), 2u);
    EXPECT_EQ(config.rules.back().policy, "Proxy");
    EXPECT_EQ(config.proxies[1].options.at("tfo"), "off");
}

TEST(ProfileConfig, UnknownSectionsKeysAndCaseAreTolerated)
{
    const auto parsed =
        parseProfile("\xEF\xBB\xBF[general]\nfuture-key = 1\n[Scripts]\nnot = parsed, at all\n"
                     "  [ proxy group ]  \nignored line without equals\n[PROXY GROUP]\n"
                     "G = Fallback, DIRECT, REJECT, interval=60\n[rule]\nfinal,G\n");
    ASSERT_TRUE(std::holds_alternative<ProfileConfig>(parsed)) << std::get<ConfigError>(parsed).text();
    const auto& config = std::get<ProfileConfig>(parsed);
    ASSERT_EQ(config.groups.size(), 1u);
    EXPECT_EQ(config.groups[0].type, GroupType::Fallback);
    EXPECT_EQ(config.groups[0].typeText, "Fallback");
    EXPECT_EQ(config.groups[0].intervalSeconds, 60);
    EXPECT_EQ(config.rules[0].type, "FINAL");
}

TEST(ProfileConfig, ErrorsNameTheLineAndReason)
{
    EXPECT_EQ(errorOf("[Proxy]\nA = ferrow, h, 0\n").line, 2);
    EXPECT_EQ(errorOf("[Proxy]\nA = ferrow, h\n").line, 2);
    EXPECT_EQ(errorOf("[Proxy]\nA = , h, 1\n").line, 2);
    EXPECT_EQ(errorOf("[Proxy]\nDIRECT = ferrow, h, 1\n").line, 2);
    EXPECT_EQ(errorOf("[Proxy]\nA = ferrow, h, 1\nA = ferrow, h, 2\n").line, 3);
    EXPECT_EQ(errorOf("[Proxy Group]\nG = round-trip, DIRECT\n").line, 2);
    EXPECT_EQ(errorOf("[Proxy Group]\nG = load-balance, DIRECT, strategy=random\n").line, 2);
    EXPECT_EQ(errorOf("[Proxy Group]\nG = url-test, DIRECT, interval=1\n").line, 2);
    EXPECT_EQ(errorOf("\n[Proxy Group]\nA = select, B\nB = select, A\n").line, 3);
    EXPECT_EQ(errorOf("[Proxy Group]\nA = select, A\n").line, 2);
    EXPECT_EQ(errorOf("[Rule]\nDOMAIN,example.com\n").line, 2);
    EXPECT_EQ(errorOf("[Rule]\nDOMAIN,,DIRECT\n").line, 2);
    EXPECT_EQ(errorOf("[Rule]\nFINAL,Nowhere\n").reason,
              "rule names the policy \"Nowhere\", which is not defined");
    EXPECT_EQ(errorOf("[General]\nlog-history = many\n").line, 2);
    EXPECT_EQ(errorOf("[General]\nblock-quic = maybe\n").line, 2);
    EXPECT_EQ(errorOf("[General]\ndns-server = 1.1.1.1, dns.example\n").line, 2);
    EXPECT_EQ(errorOf("[General]\nproxy-test-url = ftp://x/\n").line, 2);
    EXPECT_EQ(errorOf("[Proxy]\nno equals sign\n").line, 2);
    EXPECT_EQ(errorOf(std::string("[Rule]\nFINAL,DIRECT\0x\n", 22)).line, 2);
    EXPECT_EQ(errorOf("[Proxy]\nA = ferrow, h, 99999\n").text(),
              "line 2: proxy \"A\" has an invalid port \"99999\"");
}

TEST(ProfileConfig, GroupsMayNestAndReferenceLaterGroups)
{
    const auto parsed =
        parseProfile("[Proxy Group]\nOuter = select, Inner, DIRECT\nInner = load-balance, DIRECT, "
                     "REJECT, strategy=round-robin\n[Rule]\nFINAL,Outer,extra\n");
    ASSERT_TRUE(std::holds_alternative<ProfileConfig>(parsed)) << std::get<ConfigError>(parsed).text();
    const auto& config = std::get<ProfileConfig>(parsed);
    EXPECT_EQ(config.groups[1].strategy, BalanceStrategy::RoundRobin);
    EXPECT_EQ(config.rules[0].policy, "Outer");
    EXPECT_EQ(config.rules[0].options, std::vector<std::string>{"extra"});
}

TEST(ProfileConfig, DocumentsThatAreNotProfilesAreErrors)
{
    EXPECT_EQ(errorOf("").text(),
              "line 1: no [General], [Proxy], [Proxy Group] or [Rule] section: this is not a profile");
    EXPECT_EQ(errorOf("<!DOCTYPE html>\n<html>\n").line, 1);
    EXPECT_EQ(errorOf("# only comments\n\n# more\n").line, 4);
    EXPECT_EQ(errorOf("# fine\n\nstray words\n[Rule]\nFINAL,DIRECT\n").line, 3);
    EXPECT_EQ(errorOf("[Host]\nexample.com = 1.2.3.4\n").line, 3);
    // Any known section makes a profile; a document with only rules or only settings is one.
    EXPECT_TRUE(std::holds_alternative<ProfileConfig>(parseProfile("[General]\nlog-history = 5\n")));
    EXPECT_TRUE(std::holds_alternative<ProfileConfig>(parseProfile("# c\r\n[Rule]\r\nFINAL,DIRECT\r\n")));
}

TEST(ProfileConfig, HugeValuesAreClippedInErrors)
{
    const std::string huge(1 << 20, 'x');
    const auto error = errorOf("[Proxy]\nA = ferrow, h, " + huge + "\n[Rule]\nFINAL,DIRECT\n");
    EXPECT_EQ(error.line, 2);
    EXPECT_LT(error.text().size(), 400u);
    EXPECT_NE(error.text().find("\u2026"), std::string::npos);
    // A cut never splits a UTF-8 character.
    const auto cut = clipped(std::string(199, 'a') + "\u00e9", 200);
    EXPECT_EQ(cut, std::string(199, 'a') + "\u2026");
}

TEST(ProfileConfig, ManyProxiesAndGroupsLoad)
{
    std::string text = "[Proxy]\n";
    std::string members;
    for (int i = 0; i < 20000; ++i) {
        text += "N" + std::to_string(i) + " = ferrow, h, 443\n";
        members += ", N" + std::to_string(i);
    }
    text += "[Proxy Group]\nAll = select" + members + "\nAgain = select" + members + "\n[Rule]\nFINAL,All\n";
    const auto parsed = parseProfile(text);
    ASSERT_TRUE(std::holds_alternative<ProfileConfig>(parsed));
    const auto& config = std::get<ProfileConfig>(parsed);
    EXPECT_EQ(config.findProxy("N19999"), &config.proxies.back());
    EXPECT_EQ(config.findGroup("Again"), &config.groups.back());
    EXPECT_FALSE(config.hasPolicy("N20000"));
}
