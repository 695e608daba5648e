#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ProfileConfig.h"
#include "RuleMatcher.h"

using namespace ferrow::core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = parseProfile(text);
    if (const auto* config = std::get_if<ProfileConfig>(&parsed)) {
        std::vector<RuleSpec> specs;
        for (const auto& rule : config->rules) {
            if (!config->hasPolicy(rule.policy)) {
                __builtin_trap(); // every rule the reader accepts names a defined policy
            }
            specs.push_back({rule.type, rule.value, rule.options, rule.line});
        }
        RuleContext context;
        context.ruleSet = [](const std::string& name) {
            auto slot = std::make_shared<RuleSetSlot>();
            slot->name = name;
            return slot;
        };
        auto compiled = RuleMatcher::compile(specs, context);
        if (auto* matcher = std::get_if<RuleMatcher>(&compiled)) {
            MatchInput input;
            input.host = "www.example.com";
            input.destinationPort = 443;
            matcher->match(input);
        }
    } else if (std::get<ConfigError>(parsed).reason.empty()) {
        __builtin_trap(); // a refusal always says why
    }
    const auto set = parseRuleSetText(text);
    if (const auto* specs = std::get_if<std::vector<RuleSpec>>(&set)) {
        RuleContext context;
        context.allowRuleSets = false;
        RuleMatcher::compile(*specs, context);
    }
    return 0;
}
