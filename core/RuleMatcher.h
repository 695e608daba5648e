#pragma once

#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "NetAddress.h"
#include "ProfileConfig.h"
#include "Published.h"

namespace ferrow::core {

struct ProcessInfo {
    std::string name; // executable file name
    std::string path; // full executable path
};

/// Finds the client program only when a rule asks for it.
class ProcessSource {
public:
    virtual ~ProcessSource() = default;
    virtual const ProcessInfo* process() = 0;
};

class CountryLookup {
public:
    virtual ~CountryLookup() = default;
    /// Upper-case ISO country code, or empty when unknown.
    virtual std::string countryOf(const IpAddr& address) const = 0;
};

/// What a rule is matched against. The destination address is resolved by the caller only when
/// a match reports NeedAddress, so domain-only profiles never resolve before routing.
struct MatchInput {
    enum class Address { Unknown, Known, Unavailable };

    std::string_view host; // lower case, no trailing dot; a name or an address literal
    Address addressState = Address::Unknown;
    IpAddr destination;
    std::optional<IpAddr> source;
    std::uint16_t destinationPort = 0;
    std::uint16_t sourcePort = 0;
    std::string_view network = "tcp";
    ProcessSource* process = nullptr;
};

struct MatchOutcome {
    enum class Status { Matched, NoMatch, NeedAddress };
    Status status = Status::NoMatch;
    std::size_t index = 0; // the matching rule, when Matched
};

/// One rule as written, without its policy.
struct RuleSpec {
    std::string type;
    std::string value;
    std::vector<std::string> options{};
    int line = 0;

    /// "TYPE,VALUE", or "FINAL".
    std::string text() const;
};

class RuleMatcher;

/// The current contents of a named rule set. Rules hold the slot, so an update swaps the
/// contents for every profile rule that names the set. The contents are swapped on one thread
/// while others match: always load() and store() them.
struct RuleSetSlot {
    std::string name;
    Published<RuleMatcher> matcher; // null while the set has no data
};

struct RuleContext {
    std::function<std::shared_ptr<RuleSetSlot>(const std::string& name)> ruleSet;
    std::shared_ptr<const CountryLookup> countries;
    bool allowRuleSets = true;
};

/// An ordered rule list, first match wins. Exact and suffix domain rules sit in hash tables
/// keyed by name, so their cost does not grow with their number; the remaining rules are
/// checked in order only up to the best domain hit.
class RuleMatcher {
public:
    static std::variant<RuleMatcher, ConfigError> compile(const std::vector<RuleSpec>& specs,
                                                          const RuleContext& context);

    MatchOutcome match(const MatchInput& input) const;
    std::size_t size() const { return m_specs.size(); }
    const RuleSpec& ruleSpec(std::size_t index) const { return m_specs[index]; }

    ~RuleMatcher() = default;
    RuleMatcher(const RuleMatcher&) = delete;
    RuleMatcher& operator=(const RuleMatcher&) = delete;
    RuleMatcher(RuleMatcher&&) noexcept = default;
    RuleMatcher& operator=(RuleMatcher&&) noexcept = default;

private:
    RuleMatcher() = default;

    enum class Kind {
        DomainKeyword,
        DomainWildcard,
        DomainRegex,
        IpCidr,
        SrcIpCidr,
        GeoIp,
        DestPort,
        SrcPort,
        Protocol,
        ProcessName,
        ProcessPath,
        RuleSet,
        Final
    };

    struct Entry {
        Kind kind = Kind::Final;
        std::size_t index = 0;
        std::string text;
        bool noResolve = false;
        Cidr cidr;
        PortRange ports;
        std::shared_ptr<std::regex> regex;
        std::shared_ptr<RuleSetSlot> ruleSet;
    };

    struct StringHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    using DomainIndex = std::unordered_map<std::string, std::size_t, StringHash, std::equal_to<>>;

    bool matchEntry(const Entry& entry, const MatchInput& input, bool& needAddress) const;

    std::vector<RuleSpec> m_specs;
    DomainIndex m_exact;
    DomainIndex m_suffix;
    std::vector<Entry> m_others;       // checked in order, below the best table hit
    std::vector<Entry> m_addressRules; // IP-CIDR and GEOIP, checked in order when the address is known
    // DOMAIN-KEYWORD rules by the first two bytes of the keyword, so a host is checked against
    // the keywords that can start at each of its positions rather than against all of them.
    std::unordered_map<std::uint16_t, std::vector<std::pair<std::size_t, std::string>>> m_keywords;
    std::vector<std::pair<std::size_t, std::string>> m_shortKeywords;
    std::vector<std::uint32_t> m_destinationPorts; // single-port DEST-PORT rules: port -> index + 1
    std::shared_ptr<const CountryLookup> m_countries;
};

/// Reads a rule-set file: one rule per line ("TYPE,VALUE"), or a bare address range,
/// ".suffix"/"+.suffix" domain, or exact domain; "#" comments and blank lines skipped.
std::variant<std::vector<RuleSpec>, ConfigError> parseRuleSetText(std::string_view text);

/// Glob match where "*" is any run of characters and "?" one character.
bool wildcardMatch(std::string_view pattern, std::string_view text);

} // namespace ferrow::core
