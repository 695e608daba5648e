// Rule matching on a 10,000-rule profile, one core: matches per second for hosts that hit early,
// hit late and miss every domain rule. Then the time to read a profile of 40,000 proxies whose
// groups list every one of them (a reload of such a profile runs on the core's I/O thread).

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ProfileConfig.h"
#include "RuleMatcher.h"

using namespace ferrow::core;

namespace {

std::string buildProfile()
{
    std::string text = "[Proxy]\nHK = ferrow, hk.example.com, 443, psk=k\n[Proxy Group]\nProxy = select, HK, "
                       "DIRECT\n[Rule]\n";
    for (int i = 0; i < 10000; ++i) {
        // A large real profile: mostly domain lists, some ports and address ranges, few keywords.
        if (i % 100 == 1) {
            text += "DOMAIN-KEYWORD,kw" + std::to_string(i) + "x\n";
        } else if (i % 20 == 2) {
            text += "DEST-PORT," + std::to_string(20000 + i) + "\n";
        } else if (i % 25 == 3) {
            text += "IP-CIDR,10." + std::to_string(i % 250) + "." + std::to_string(i / 250) + ".0/24\n";
        } else if (i % 10 == 0) {
            text += "DOMAIN,host" + std::to_string(i) + ".example\n";
        } else {
            text += "DOMAIN-SUFFIX,site" + std::to_string(i) + ".test\n";
        }
        text.insert(text.size() - 1, i % 2 ? ",Proxy" : ",DIRECT");
        if (i % 25 == 3 && i % 100 != 1 && i % 20 != 2) {
            text.insert(text.size() - 1, ",no-resolve");
        }
    }
    text += "FINAL,Proxy\n";
    return text;
}

} // namespace

int main()
{
    const auto parsed = parseProfile(buildProfile());
    if (!std::holds_alternative<ProfileConfig>(parsed)) {
        std::printf("profile rejected: %s\n", std::get<ConfigError>(parsed).text().c_str());
        return 1;
    }
    std::vector<RuleSpec> specs;
    for (const auto& rule : std::get<ProfileConfig>(parsed).rules) {
        specs.push_back({rule.type, rule.value, rule.options, rule.line});
    }
    auto compiled = RuleMatcher::compile(specs, RuleContext{});
    const auto& matcher = std::get<RuleMatcher>(compiled);
    std::printf(
        "rules: %zu (domains and single ports in hash tables; 100 keyword and 400 address rules in order)\n",
        matcher.size());

    struct Case {
        const char* label;
        std::vector<std::string> hosts;
    };
    std::vector<Case> cases = {
        {"early suffix hit", {}}, {"late suffix hit", {}}, {"no domain rule (FINAL)", {}}};
    for (int i = 0; i < 256; ++i) {
        cases[0].hosts.push_back("www.site" + std::to_string(5 + 10 * (i % 5)) + ".test");
        cases[1].hosts.push_back("cdn.a.site" + std::to_string(9995 - 10 * (i % 50)) + ".test");
        cases[2].hosts.push_back("unlisted" + std::to_string(i) + ".example.org");
    }
    for (const auto& benchCase : cases) {
        std::size_t matches = 0;
        std::size_t checksum = 0;
        const auto start = std::chrono::steady_clock::now();
        auto elapsed = std::chrono::steady_clock::duration::zero();
        while (elapsed < std::chrono::milliseconds(700)) {
            for (const auto& host : benchCase.hosts) {
                MatchInput input;
                input.host = host;
                input.destinationPort = 443;
                input.addressState = MatchInput::Address::Unavailable;
                checksum += matcher.match(input).index;
                ++matches;
            }
            elapsed = std::chrono::steady_clock::now() - start;
        }
        const double seconds = std::chrono::duration<double>(elapsed).count();
        std::printf("%-24s %10.0f matches/s  (target >= 1,000,000)  [index sum mod 1000: %zu]\n",
                    benchCase.label, static_cast<double>(matches) / seconds, checksum % 1000);
    }
    std::string big = "[Proxy]\n";
    std::string members;
    for (int i = 0; i < 40000; ++i) {
        big += "N" + std::to_string(i) + " = ferrow, h" + std::to_string(i) + ".example, 443, psk=k\n";
        members += ", N" + std::to_string(i);
    }
    big += "[Proxy Group]\nAll = select" + members + "\nAuto = url-test" + members + "\n[Rule]\nFINAL,All\n";
    const auto started = std::chrono::steady_clock::now();
    const auto bigParsed = parseProfile(big);
    const auto ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    std::printf(
        "profile of 40,000 proxies in two 40,000-member groups: read in %.0f ms (%s; target <= 300)\n", ms,
        std::holds_alternative<ProfileConfig>(bigParsed) ? "accepted" : "rejected");
    return 0;
}
