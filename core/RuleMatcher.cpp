#include "RuleMatcher.h"

#include <algorithm>

namespace ferrow::core {

std::string RuleSpec::text() const
{
    return type == "FINAL" ? type : type + "," + value;
}

bool wildcardMatch(std::string_view pattern, std::string_view text)
{
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

static std::string normalizedDomain(std::string_view value)
{
    std::string out = toLower(trim(value));
    if (out.rfind("+.", 0) == 0) {
        out.erase(0, 2);
    } else if (!out.empty() && out.front() == '.') {
        out.erase(0, 1);
    }
    while (!out.empty() && out.back() == '.') {
        out.pop_back();
    }
    return out;
}

std::variant<RuleMatcher, ConfigError> RuleMatcher::compile(const std::vector<RuleSpec>& specs,
                                                            const RuleContext& context)
{
    RuleMatcher matcher;
    matcher.m_specs = specs;
    matcher.m_countries = context.countries;
    matcher.m_exact.reserve(specs.size());
    for (std::size_t i = 0; i < specs.size(); ++i) {
        const RuleSpec& ruleSpec = specs[i];
        const auto fail = [&](const std::string& reason) {
            return ConfigError{ruleSpec.line, ruleSpec.type + " rule: " + reason};
        };
        Entry entry;
        entry.index = i;
        entry.noResolve = std::find(ruleSpec.options.begin(), ruleSpec.options.end(), "no-resolve") !=
                          ruleSpec.options.end();
        const std::string& type = ruleSpec.type;
        if (type == "DOMAIN" || type == "DOMAIN-SUFFIX") {
            const auto domain = normalizedDomain(ruleSpec.value);
            if (domain.empty()) {
                return fail("needs a domain");
            }
            auto& index = type == "DOMAIN" ? matcher.m_exact : matcher.m_suffix;
            index.emplace(domain, i); // the first rule for a name wins, later duplicates never can
            continue;
        }
        if (type == "DOMAIN-KEYWORD") {
            auto keyword = toLower(trim(ruleSpec.value));
            if (keyword.size() < 2) {
                matcher.m_shortKeywords.emplace_back(i, std::move(keyword));
            } else {
                const auto key = static_cast<std::uint16_t>((static_cast<unsigned char>(keyword[0]) << 8) |
                                                            static_cast<unsigned char>(keyword[1]));
                matcher.m_keywords[key].emplace_back(i, std::move(keyword));
            }
            continue;
        }
        if (type == "DOMAIN-WILDCARD") {
            entry.kind = Kind::DomainWildcard;
            entry.text = toLower(trim(ruleSpec.value));
        } else if (type == "DOMAIN-REGEX") {
            entry.kind = Kind::DomainRegex;
            try {
                entry.regex = std::make_shared<std::regex>(
                    ruleSpec.value, std::regex::ECMAScript | std::regex::icase | std::regex::optimize);
            } catch (const std::regex_error& error) {
                return fail("\"" + ruleSpec.value + "\" is not a valid regular expression");
            }
        } else if (type == "IP-CIDR" || type == "IP-CIDR6" || type == "SRC-IP-CIDR") {
            const auto cidr = Cidr::parse(ruleSpec.value);
            if (!cidr) {
                return fail("\"" + ruleSpec.value + "\" is not an address range");
            }
            entry.kind = type == "SRC-IP-CIDR" ? Kind::SrcIpCidr : Kind::IpCidr;
            entry.cidr = *cidr;
        } else if (type == "GEOIP") {
            entry.kind = Kind::GeoIp;
            entry.text = ruleSpec.value;
            std::transform(entry.text.begin(), entry.text.end(), entry.text.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        } else if (type == "DEST-PORT" || type == "SRC-PORT" || type == "DST-PORT") {
            const auto ports = PortRange::parse(ruleSpec.value);
            if (!ports) {
                return fail("\"" + ruleSpec.value + "\" is not a port or port range");
            }
            entry.kind = type == "SRC-PORT" ? Kind::SrcPort : Kind::DestPort;
            entry.ports = *ports;
            if (entry.kind == Kind::DestPort && ports->first == ports->last) {
                // One port: a table lookup replaces the ordered check, like the domain tables.
                auto& table = matcher.m_destinationPorts;
                if (table.empty()) {
                    table.assign(65536, 0);
                }
                auto& slot = table[ports->first];
                if (slot == 0) {
                    slot = static_cast<std::uint32_t>(i + 1);
                }
                continue;
            }
        } else if (type == "PROTOCOL") {
            entry.kind = Kind::Protocol;
            entry.text = toLower(trim(ruleSpec.value));
            if (entry.text != "tcp" && entry.text != "udp") {
                return fail("the protocol must be tcp or udp");
            }
        } else if (type == "PROCESS-NAME" || type == "PROCESS-PATH") {
            entry.kind = type == "PROCESS-NAME" ? Kind::ProcessName : Kind::ProcessPath;
            entry.text = ruleSpec.value;
        } else if (type == "RULE-SET") {
            if (!context.allowRuleSets || !context.ruleSet) {
                return fail("a rule set cannot include another rule set");
            }
            entry.kind = Kind::RuleSet;
            entry.ruleSet = context.ruleSet(ruleSpec.value);
        } else if (type == "FINAL") {
            entry.kind = Kind::Final;
        } else {
            return ConfigError{ruleSpec.line, "unknown rule type \"" + type + "\""};
        }
        if (entry.kind == Kind::IpCidr || entry.kind == Kind::GeoIp) {
            matcher.m_addressRules.push_back(std::move(entry));
        } else {
            matcher.m_others.push_back(std::move(entry));
        }
    }
    return matcher;
}

bool RuleMatcher::matchEntry(const Entry& entry, const MatchInput& input, bool& needAddress) const
{
    const auto wantAddress = [&]() {
        if (input.addressState == MatchInput::Address::Unknown && !entry.noResolve) {
            needAddress = true;
        }
        return input.addressState == MatchInput::Address::Known;
    };
    switch (entry.kind) {
    case Kind::DomainKeyword:
        return input.host.find(entry.text) != std::string_view::npos;
    case Kind::DomainWildcard:
        return wildcardMatch(entry.text, input.host);
    case Kind::DomainRegex:
        return std::regex_search(input.host.begin(), input.host.end(), *entry.regex);
    case Kind::IpCidr:
        return wantAddress() && entry.cidr.contains(input.destination);
    case Kind::SrcIpCidr:
        return input.source && entry.cidr.contains(*input.source);
    case Kind::GeoIp:
        return wantAddress() && m_countries && m_countries->countryOf(input.destination) == entry.text;
    case Kind::DestPort:
        return entry.ports.contains(input.destinationPort);
    case Kind::SrcPort:
        return entry.ports.contains(input.sourcePort);
    case Kind::Protocol:
        return input.network == entry.text;
    case Kind::ProcessName:
    case Kind::ProcessPath: {
        const ProcessInfo* process = input.process ? input.process->process() : nullptr;
        return process && (entry.kind == Kind::ProcessName ? process->name : process->path) == entry.text;
    }
    case Kind::RuleSet: {
        const auto setMatcher = entry.ruleSet ? entry.ruleSet->matcher.load() : nullptr;
        if (!setMatcher) {
            return false;
        }
        const auto outcome = setMatcher->match(input);
        if (outcome.status == MatchOutcome::Status::NeedAddress) {
            needAddress = true;
            return false;
        }
        return outcome.status == MatchOutcome::Status::Matched;
    }
    case Kind::Final:
        return true;
    }
    return false;
}

MatchOutcome RuleMatcher::match(const MatchInput& input) const
{
    std::size_t best = m_specs.size();
    if (!input.host.empty()) {
        if (!m_exact.empty()) {
            if (const auto it = m_exact.find(input.host); it != m_exact.end()) {
                best = it->second;
            }
        }
        if (!m_suffix.empty()) {
            std::string_view rest = input.host;
            while (true) {
                if (const auto it = m_suffix.find(rest); it != m_suffix.end()) {
                    best = std::min(best, it->second);
                }
                const auto dot = rest.find('.');
                if (dot == std::string_view::npos) {
                    break;
                }
                rest.remove_prefix(dot + 1);
            }
        }
    }
    if (!m_destinationPorts.empty()) {
        if (const auto slot = m_destinationPorts[input.destinationPort]; slot != 0) {
            best = std::min<std::size_t>(best, slot - 1);
        }
    }
    if (!input.host.empty() && (!m_keywords.empty() || !m_shortKeywords.empty())) {
        for (const auto& [index, keyword] : m_shortKeywords) {
            if (index < best && input.host.find(keyword) != std::string_view::npos) {
                best = index;
            }
        }
        const std::string_view host = input.host;
        for (std::size_t at = 0; !m_keywords.empty() && at + 1 < host.size(); ++at) {
            const auto key = static_cast<std::uint16_t>((static_cast<unsigned char>(host[at]) << 8) |
                                                        static_cast<unsigned char>(host[at + 1]));
            const auto it = m_keywords.find(key);
            if (it == m_keywords.end()) {
                continue;
            }
            for (const auto& [index, keyword] : it->second) {
                if (index < best && host.compare(at, keyword.size(), keyword) == 0) {
                    best = index;
                }
            }
        }
    }
    // A rule below `blocked` waits for the address: nothing at or after it may decide yet.
    std::size_t blocked = m_specs.size() + 1;
    for (const Entry& entry : m_others) {
        if (entry.index >= best) {
            break;
        }
        bool needAddress = false;
        if (matchEntry(entry, input, needAddress)) {
            best = entry.index;
            break;
        }
        if (needAddress) {
            blocked = entry.index;
            break;
        }
    }
    // Without an address no address rule can match or ask for one.
    const std::size_t limit =
        input.addressState == MatchInput::Address::Unavailable ? 0 : std::min(best, blocked);
    for (const Entry& entry : m_addressRules) {
        if (entry.index >= limit) {
            break;
        }
        bool needAddress = false;
        if (matchEntry(entry, input, needAddress)) {
            return {MatchOutcome::Status::Matched, entry.index};
        }
        if (needAddress) {
            return {MatchOutcome::Status::NeedAddress, entry.index};
        }
    }
    if (blocked <= m_specs.size()) {
        // The caller resolves the destination and asks again.
        return {MatchOutcome::Status::NeedAddress, blocked};
    }
    if (best < m_specs.size()) {
        return {MatchOutcome::Status::Matched, best};
    }
    return {};
}

static bool isKnownType(const std::string& type)
{
    static const char* const types[] = {"DOMAIN",       "DOMAIN-SUFFIX", "DOMAIN-KEYWORD", "DOMAIN-WILDCARD",
                                        "DOMAIN-REGEX", "IP-CIDR",       "IP-CIDR6",       "SRC-IP-CIDR",
                                        "GEOIP",        "DEST-PORT",     "DST-PORT",       "SRC-PORT",
                                        "PROTOCOL",     "PROCESS-NAME",  "PROCESS-PATH"};
    return std::find(std::begin(types), std::end(types), type) != std::end(types);
}

std::variant<std::vector<RuleSpec>, ConfigError> parseRuleSetText(std::string_view text)
{
    std::vector<RuleSpec> specs;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        std::string_view raw = text.substr(start, end == std::string_view::npos ? end : end - start);
        start = end == std::string_view::npos ? text.size() : end + 1;
        ++lineNumber;
        if (!raw.empty() && raw.back() == '\r') {
            raw.remove_suffix(1);
        }
        const auto line = trim(raw);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        RuleSpec ruleSpec;
        ruleSpec.line = lineNumber;
        const auto comma = line.find(',');
        std::string first(trim(line.substr(0, comma)));
        std::transform(first.begin(), first.end(), first.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (comma != std::string_view::npos && isKnownType(first)) {
            ruleSpec.type = first;
            std::size_t field = 0;
            std::size_t from = comma + 1;
            while (from <= line.size()) {
                const auto next = line.find(',', from);
                const auto part =
                    trim(line.substr(from, next == std::string_view::npos ? next : next - from));
                if (field++ == 0) {
                    ruleSpec.value = part;
                } else if (toLower(part) == "no-resolve") {
                    ruleSpec.options.emplace_back("no-resolve");
                }
                if (next == std::string_view::npos) {
                    break;
                }
                from = next + 1;
            }
        } else if (comma != std::string_view::npos) {
            return ConfigError{lineNumber, "unknown rule type \"" + first + "\""};
        } else if (Cidr::parse(line)) {
            ruleSpec.type = IpAddr::parse(line.substr(0, line.find('/')))->v6 ? "IP-CIDR6" : "IP-CIDR";
            ruleSpec.value = line;
        } else if (line.rfind("+.", 0) == 0 || line.front() == '.') {
            ruleSpec.type = "DOMAIN-SUFFIX";
            ruleSpec.value = line;
        } else if (line.find('*') != std::string_view::npos) {
            ruleSpec.type = "DOMAIN-WILDCARD";
            ruleSpec.value = line;
        } else {
            ruleSpec.type = "DOMAIN";
            ruleSpec.value = line;
        }
        if (ruleSpec.value.empty()) {
            return ConfigError{lineNumber, ruleSpec.type + " rule needs a value"};
        }
        specs.push_back(std::move(ruleSpec));
    }
    return specs;
}

} // namespace ferrow::core
