#include "CoreOptions.h"

#include "NetAddress.h"

#include <charconv>

namespace ferrow::core {

std::string usageLine()
{
    return "usage: ferrow-core -config FILE [-no-tun] [-socks HOST:PORT] [-api HOST:PORT] [-api-info FILE] "
           "[-api-info-uid UID] [-api-info-gid GID] [-stats FILE] [-rule-set-dir DIR] [-tun-name NAME] "
           "[-resolve-bus ADDRESS] "
           "[-gateway]";
}

static std::optional<unsigned> parseId(const std::string& text)
{
    unsigned value = 0;
    const auto* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::variant<CoreOptions, UsageError> parseCommandLine(const std::vector<std::string>& arguments)
{
    CoreOptions options;
    bool haveConfig = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& flag = arguments[i];
        if (flag == "-no-tun") {
            options.noTun = true;
            continue;
        }
        if (flag == "-gateway") {
            options.gateway = true;
            continue;
        }
        std::string* target = nullptr;
        if (flag == "-config") {
            target = &options.configPath;
            haveConfig = true;
        } else if (flag == "-socks") {
            target = &options.socksListen;
        } else if (flag == "-api") {
            target = &options.apiListen;
        } else if (flag == "-api-info") {
            target = &options.apiInfoPath;
        } else if (flag == "-stats") {
            target = &options.statsPath;
        } else if (flag == "-rule-set-dir") {
            target = &options.ruleSetDir;
        } else if (flag == "-tun-name") {
            target = &options.tunName;
        } else if (flag == "-resolve-bus") {
            target = &options.resolveBus;
        } else if (flag != "-api-info-uid" && flag != "-api-info-gid") {
            return UsageError{"unknown flag \"" + flag + "\""};
        }
        if (i + 1 >= arguments.size()) {
            return UsageError{"flag " + flag + " needs a value"};
        }
        const std::string& value = arguments[++i];
        if (target != nullptr) {
            *target = value;
            continue;
        }
        const auto id = parseId(value);
        if (!id) {
            std::string message = "flag " + flag;
            message += " needs a decimal number, not \"" + value + "\"";
            return UsageError{message};
        }
        (flag == "-api-info-uid" ? options.apiInfoUid : options.apiInfoGid) = id;
    }
    if (!haveConfig || options.configPath.empty()) {
        return UsageError{"-config FILE is required"};
    }
    if (!HostPort::parse(options.apiListen)) {
        return UsageError{"-api needs HOST:PORT, not \"" + options.apiListen + "\""};
    }
    if (!options.socksListen.empty() && !HostPort::parse(options.socksListen)) {
        return UsageError{"-socks needs HOST:PORT, not \"" + options.socksListen + "\""};
    }
    return options;
}

} // namespace ferrow::core
