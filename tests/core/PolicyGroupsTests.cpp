#include <set>

#include <gtest/gtest.h>

#include "PolicyGroups.h"

using namespace ferrow::core;

namespace {

ProfileConfig configFrom(const std::string& text)
{
    auto parsed = parseProfile(text);
    EXPECT_TRUE(std::holds_alternative<ProfileConfig>(parsed));
    return std::get<ProfileConfig>(parsed);
}

const char* kProxies = "[Proxy]\nA = ferrow, a, 1\nB = ferrow, b, 1\nC = ferrow, c, 1\n[Proxy Group]\n";

} // namespace

TEST(PolicyGroups, SelectDefaultsToFirstAndKeepsChoiceAcrossReloads)
{
    PolicyGroups groups;
    groups.configure(configFrom(std::string(kProxies) + "S = select, A, B, C\nU = url-test, A, B\n"));
    EXPECT_EQ(groups.current("S"), "A");
    std::string error;
    EXPECT_TRUE(groups.select("S", "C", &error));
    EXPECT_EQ(groups.resolve("S", {}).final, "C");
    EXPECT_FALSE(groups.select("S", "D", &error));
    EXPECT_FALSE(groups.select("U", "B", &error)) << "automatic groups choose for themselves";
    EXPECT_NE(error.find("url-test"), std::string::npos);
    EXPECT_FALSE(groups.select("Missing", "A", &error));

    groups.configure(configFrom(std::string(kProxies) + "S = select, B, C\n"));
    EXPECT_EQ(groups.current("S"), "C");
    groups.configure(configFrom(std::string(kProxies) + "S = select, A, B\n"));
    EXPECT_EQ(groups.current("S"), "A") << "a member that left the group is forgotten";
}

TEST(PolicyGroups, UrlTestAndFallbackFollowMeasuredDelays)
{
    PolicyGroups groups;
    groups.configure(configFrom(std::string(kProxies) + "U = url-test, A, B, C\nF = fallback, A, B, C\n"));
    EXPECT_EQ(groups.current("U"), "A");
    EXPECT_EQ(groups.current("F"), "A");
    groups.setDelay("A", -1);
    groups.setDelay("B", 300);
    groups.setDelay("C", 40);
    EXPECT_EQ(groups.current("U"), "C");
    EXPECT_EQ(groups.current("F"), "B");
    groups.setDelay("B", -1);
    groups.setDelay("C", -1);
    EXPECT_EQ(groups.current("U"), "A") << "nothing answers: the first member";
    EXPECT_EQ(groups.current("F"), "A");
}

TEST(PolicyGroups, LoadBalanceStrategies)
{
    PolicyGroups groups;
    groups.configure(configFrom(std::string(kProxies) +
                                "R = load-balance, A, B, C, strategy=round-robin\n"
                                "H = load-balance, A, B, C, strategy=consistent-hashing\n"
                                "S = load-balance, A, B, C, strategy=sticky-sessions\n"));
    std::vector<std::string> order;
    for (int i = 0; i < 6; ++i) {
        order.push_back(groups.resolve("R", {}).final);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"A", "B", "C", "A", "B", "C"}));

    const auto site = groups.resolve("H", {"www.example.com", "10.0.0.1"}).final;
    EXPECT_EQ(groups.resolve("H", {"api.example.com", "10.0.0.2"}).final, site) << "one site, one member";
    std::set<std::string> spread;
    for (int i = 0; i < 60; ++i) {
        spread.insert(groups.resolve("H", {"site" + std::to_string(i) + ".test", ""}).final);
    }
    EXPECT_EQ(spread.size(), 3u) << "different sites spread over the members";
    EXPECT_EQ(groups.current("H"), groups.resolve("H", {"site59.test", ""}).final);

    const auto client = groups.resolve("S", {"a.test", "192.168.1.5"}).final;
    EXPECT_EQ(groups.resolve("S", {"b.other", "192.168.1.5"}).final, client) << "one client, one member";

    groups.setDelay(client, -1);
    EXPECT_NE(groups.resolve("S", {"a.test", "192.168.1.5"}).final, client) << "a dead member is skipped";
}

TEST(PolicyGroups, NestedGroupsResolveWithChain)
{
    PolicyGroups groups;
    groups.configure(configFrom(std::string(kProxies) +
                                "Outer = select, Inner, DIRECT\nInner = select, B, A\n"
                                "Empty = select\n"));
    const auto resolution = groups.resolve("Outer", {});
    EXPECT_EQ(resolution.final, "B");
    EXPECT_EQ(resolution.chain, (std::vector<std::string>{"Outer", "Inner"}));
    EXPECT_EQ(groups.resolve("DIRECT", {}).final, "DIRECT");
    EXPECT_TRUE(groups.resolve("A", {}).chain.empty());
    EXPECT_EQ(groups.resolve("Empty", {}).final, "REJECT") << "a group without members blocks";
}
