#include "ProfileConfig.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <set>

#include "NetAddress.h"

namespace ferrow::core {

std::string ConfigError::text() const
{
    auto shown = clipped(reason, 600);
    if (line <= 0) {
        return shown;
    }
    return "line " + std::to_string(line) + ": " + shown;
}

namespace {

template <class Item>
const Item* findIn(const std::vector<Item>& items, const std::unordered_map<std::string, std::size_t>& index,
                   std::string_view name)
{
    if (index.size() == items.size()) {
        const auto it = index.find(std::string(name));
        return it == index.end() ? nullptr : &items[it->second];
    }
    for (const auto& item : items) {
        if (item.name == name) {
            return &item;
        }
    }
    return nullptr;
}

} // namespace

const ProxyNode* ProfileConfig::findProxy(std::string_view name) const
{
    return findIn(proxies, m_proxyIndex, name);
}

const ProxyGroupConfig* ProfileConfig::findGroup(std::string_view name) const
{
    return findIn(groups, m_groupIndex, name);
}

void ProfileConfig::addProxy(ProxyNode node)
{
    if (m_proxyIndex.size() == proxies.size()) {
        m_proxyIndex.emplace(node.name, proxies.size());
    }
    proxies.push_back(std::move(node));
}

void ProfileConfig::addGroup(ProxyGroupConfig group)
{
    if (m_groupIndex.size() == groups.size()) {
        m_groupIndex.emplace(group.name, groups.size());
    }
    groups.push_back(std::move(group));
}

bool ProfileConfig::hasPolicy(std::string_view name) const
{
    return name == "DIRECT" || name == "REJECT" || findProxy(name) != nullptr || findGroup(name) != nullptr;
}

namespace {

enum class Section { None, General, Proxy, ProxyGroup, Rule, Other };

std::vector<std::string_view> splitFields(std::string_view text, char separator)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        fields.push_back(trim(text.substr(start, end == std::string_view::npos ? end : end - start)));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return fields;
}

std::optional<std::size_t> parseCount(std::string_view text)
{
    std::size_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> parseSwitch(std::string_view text)
{
    const auto lower = toLower(text);
    if (lower == "on" || lower == "true" || lower == "yes" || lower == "1") {
        return true;
    }
    if (lower == "off" || lower == "false" || lower == "no" || lower == "0") {
        return false;
    }
    return std::nullopt;
}

struct Parser {
    ProfileConfig config;
    std::optional<ConfigError> error;

    void fail(int line, std::string reason)
    {
        if (!error) {
            error = ConfigError{line, std::move(reason)};
        }
    }

    void general(int line, std::string_view key, std::string_view value)
    {
        auto& general = config.general;
        if (key == "connection-history" || key == "log-history") {
            const auto count = parseCount(value);
            if (!count || *count > 1000000) {
                return fail(line, std::string(key) + " must be a number from 0 to 1000000");
            }
            (key == "connection-history" ? general.connectionHistory : general.logHistory) = *count;
        } else if (key == "relay-idle-timeout") {
            const auto seconds = parseCount(value);
            if (!seconds || *seconds > 604800) {
                return fail(line,
                            "relay-idle-timeout must be a number of seconds from 0 (no limit) to 604800");
            }
            general.relayIdleTimeout = static_cast<int>(*seconds);
        } else if (key == "http-response-timeout") {
            const auto seconds = parseCount(value);
            if (!seconds || *seconds < 1 || *seconds > 3600) {
                return fail(line, "http-response-timeout must be a number of seconds from 1 to 3600");
            }
            general.responseTimeout = static_cast<int>(*seconds);
        } else if (key == "max-connections") {
            const auto count = parseCount(value);
            if (!count || *count < 16 || *count > 1000000) {
                return fail(line, "max-connections must be a number from 16 to 1000000");
            }
            general.maxConnections = *count;
        } else if (key == "proxy-test-url" || key == "internet-test-url") {
            if (value.rfind("http://", 0) != 0 && value.rfind("https://", 0) != 0) {
                return fail(line, std::string(key) + " must be an http:// or https:// URL");
            }
            (key == "proxy-test-url" ? general.proxyTestUrl : general.internetTestUrl) = value;
        } else if (key == "geoip-maxmind-url") {
            general.geoipMaxmindUrl = value;
        } else if (key == "block-quic") {
            const auto on = parseSwitch(value);
            if (!on) {
                return fail(line, "block-quic must be on or off");
            }
            general.blockQuic = *on;
        } else if (key == "udp-policy-not-supported-behaviour") {
            const auto lower = toLower(value);
            if (lower != "reject" && lower != "direct") {
                return fail(line, "udp-policy-not-supported-behaviour must be reject or direct");
            }
            general.udpPolicy = lower;
        } else if (key == "fake-ip-filter") {
            general.fakeIpFilter.clear();
            for (const auto field : splitFields(value, ',')) {
                if (!field.empty()) {
                    general.fakeIpFilter.push_back(toLower(field));
                }
            }
        } else if (key == "dns-server") {
            general.dnsServers.clear();
            for (const auto field : splitFields(value, ',')) {
                if (field.empty() || toLower(field) == "system") {
                    continue;
                }
                if (!IpAddr::parse(field) && !HostPort::parse(field)) {
                    return fail(line,
                                "dns-server \"" + clipped(std::string(field)) + "\" is not an IP address");
                }
                general.dnsServers.emplace_back(field);
            }
        }
        // Other keys belong to other programs or later versions: kept in the file, ignored here.
    }

    void proxy(int line, std::string_view name, std::string_view rest)
    {
        const auto fields = splitFields(rest, ',');
        ProxyNode node;
        node.name = name;
        node.line = line;
        node.protocol = toLower(fields[0]);
        if (node.protocol.empty()) {
            return fail(line, "proxy \"" + clipped(node.name) + "\" has no protocol");
        }
        if (fields.size() < 3 || fields[1].empty()) {
            return fail(line, "proxy \"" + clipped(node.name) + "\" needs a server and a port");
        }
        node.server = fields[1];
        const auto port = parseCount(fields[2]);
        if (!port || *port == 0 || *port > 65535) {
            return fail(line, "proxy \"" + clipped(node.name) + "\" has an invalid port \"" +
                                  clipped(std::string(fields[2])) + "\"");
        }
        node.port = static_cast<std::uint16_t>(*port);
        for (std::size_t i = 3; i < fields.size(); ++i) {
            const auto equals = fields[i].find('=');
            if (equals == std::string_view::npos) {
                continue;
            }
            node.options[toLower(trim(fields[i].substr(0, equals)))] = trim(fields[i].substr(equals + 1));
        }
        if (node.name == "DIRECT" || node.name == "REJECT") {
            return fail(line, "\"" + clipped(node.name) + "\" is a built-in policy and cannot name a proxy");
        }
        if (config.hasPolicy(node.name)) {
            return fail(line, "policy \"" + clipped(node.name) + "\" is defined twice");
        }
        config.addProxy(std::move(node));
    }

    void group(int line, std::string_view name, std::string_view rest)
    {
        const auto fields = splitFields(rest, ',');
        ProxyGroupConfig group;
        group.name = name;
        group.line = line;
        group.typeText = fields[0];
        const auto type = toLower(fields[0]);
        if (type == "select") {
            group.type = GroupType::Select;
        } else if (type == "url-test") {
            group.type = GroupType::UrlTest;
        } else if (type == "fallback") {
            group.type = GroupType::Fallback;
        } else if (type == "load-balance") {
            group.type = GroupType::LoadBalance;
        } else {
            return fail(line, "group \"" + clipped(group.name) + "\" has an unknown type \"" +
                                  clipped(std::string(fields[0])) +
                                  "\" (select, url-test, fallback or load-balance)");
        }
        for (std::size_t i = 1; i < fields.size(); ++i) {
            const auto equals = fields[i].find('=');
            if (equals != std::string_view::npos) {
                group.options[toLower(trim(fields[i].substr(0, equals)))] =
                    trim(fields[i].substr(equals + 1));
            } else if (!fields[i].empty()) {
                group.members.emplace_back(fields[i]);
            }
        }
        if (const auto it = group.options.find("strategy");
            it != group.options.end() && !it->second.empty()) {
            const auto strategy = toLower(it->second);
            if (strategy == "consistent-hashing") {
                group.strategy = BalanceStrategy::ConsistentHashing;
            } else if (strategy == "round-robin") {
                group.strategy = BalanceStrategy::RoundRobin;
            } else if (strategy == "sticky-sessions") {
                group.strategy = BalanceStrategy::StickySessions;
            } else {
                return fail(line, "group \"" + clipped(group.name) + "\" has an unknown strategy \"" +
                                      clipped(it->second) + "\"");
            }
        }
        if (const auto it = group.options.find("interval"); it != group.options.end()) {
            const auto seconds = parseCount(it->second);
            if (!seconds || *seconds < 10 || *seconds > 86400) {
                return fail(line, "group \"" + clipped(group.name) +
                                      "\" needs an interval from 10 to 86400 seconds");
            }
            group.intervalSeconds = static_cast<int>(*seconds);
        }
        if (group.name == "DIRECT" || group.name == "REJECT") {
            return fail(line, "\"" + clipped(group.name) + "\" is a built-in policy and cannot name a group");
        }
        if (config.hasPolicy(group.name)) {
            return fail(line, "policy \"" + clipped(group.name) + "\" is defined twice");
        }
        config.addGroup(std::move(group));
    }

    void rule(int line, std::string_view text)
    {
        const auto fields = splitFields(text, ',');
        RuleLine rule;
        rule.line = line;
        rule.type = fields[0];
        for (char& c : rule.type) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        std::size_t next = 1;
        if (rule.type != "FINAL") {
            rule.value = fields.size() > 1 ? std::string(fields[1]) : std::string();
            next = 2;
            if (rule.value.empty()) {
                return fail(line, rule.type + " rule needs a value");
            }
        }
        if (fields.size() <= next || fields[next].empty()) {
            return fail(line, rule.type + " rule needs a policy");
        }
        rule.policy = fields[next];
        for (std::size_t i = next + 1; i < fields.size(); ++i) {
            if (!fields[i].empty()) {
                rule.options.push_back(toLower(fields[i]));
            }
        }
        config.rules.push_back(std::move(rule));
    }

    void checkReferences()
    {
        for (const auto& group : config.groups) {
            for (const auto& member : group.members) {
                if (!config.hasPolicy(member)) {
                    return fail(group.line, "group \"" + clipped(group.name) + "\" lists \"" +
                                                clipped(member) + "\", which is not a policy");
                }
            }
        }
        // A group that reaches itself through its members could never pick a connection's route.
        std::map<std::string, int> state; // 1 visiting, 2 done
        std::function<bool(const ProxyGroupConfig&)> visit = [&](const ProxyGroupConfig& group) {
            state[group.name] = 1;
            for (const auto& member : group.members) {
                if (const auto* inner = config.findGroup(member)) {
                    const int seen = state[inner->name];
                    if (seen == 1 || (seen == 0 && !visit(*inner))) {
                        return false;
                    }
                }
            }
            state[group.name] = 2;
            return true;
        };
        for (const auto& group : config.groups) {
            if (state[group.name] == 0 && !visit(group)) {
                return fail(group.line,
                            "group \"" + clipped(group.name) + "\" contains itself through its members");
            }
        }
        for (const auto& rule : config.rules) {
            if (!config.hasPolicy(rule.policy)) {
                return fail(rule.line,
                            "rule names the policy \"" + clipped(rule.policy) + "\", which is not defined");
            }
        }
    }
};

} // namespace

std::variant<ProfileConfig, ConfigError> parseProfile(std::string_view text)
{
    if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
        static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF) {
        text.remove_prefix(3);
    }
    Parser parser;
    Section section = Section::None;
    bool sawKnownSection = false;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start <= text.size() && !parser.error) {
        auto end = text.find('\n', start);
        std::string_view raw = text.substr(start, end == std::string_view::npos ? end : end - start);
        start = end == std::string_view::npos ? text.size() + 1 : end + 1;
        ++lineNumber;
        if (!raw.empty() && raw.back() == '\r') {
            raw.remove_suffix(1);
        }
        if (raw.find('\0') != std::string_view::npos) {
            parser.fail(lineNumber, "line contains a NUL byte");
            break;
        }
        const auto line = trim(raw);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            const auto name = toLower(line);
            section = name == "[general]"       ? Section::General
                      : name == "[proxy]"       ? Section::Proxy
                      : name == "[proxy group]" ? Section::ProxyGroup
                      : name == "[rule]"        ? Section::Rule
                                                : Section::Other;
            sawKnownSection = sawKnownSection || section != Section::Other;
            continue;
        }
        switch (section) {
        case Section::None:
            // An error page or any other document would otherwise load as "no rules" and send
            // everything DIRECT.
            parser.fail(lineNumber,
                        "\"" + clipped(line, 60) + "\" comes before any section: this is not a profile");
            break;
        case Section::Other:
            break;
        case Section::Rule:
            parser.rule(lineNumber, line);
            break;
        case Section::General:
        case Section::Proxy:
        case Section::ProxyGroup: {
            const auto equals = line.find('=');
            if (equals == std::string_view::npos) {
                parser.fail(lineNumber, "expected \"name = value\"");
                break;
            }
            const auto key = trim(line.substr(0, equals));
            const auto value = trim(line.substr(equals + 1));
            if (key.empty()) {
                parser.fail(lineNumber, "the name before \"=\" is empty");
                break;
            }
            if (section == Section::General) {
                parser.general(lineNumber, toLower(key), value);
            } else if (section == Section::Proxy) {
                parser.proxy(lineNumber, key, value);
            } else {
                parser.group(lineNumber, key, value);
            }
            break;
        }
        }
    }
    if (!parser.error && !sawKnownSection) {
        parser.fail(std::max(lineNumber, 1), "no [General], [Proxy], [Proxy Group] or [Rule] section: "
                                             "this is not a profile");
    }
    if (!parser.error) {
        parser.checkReferences();
    }

    if (parser.error) {
        return *parser.error;
    }
    return std::move(parser.config);
}

} // namespace ferrow::core
