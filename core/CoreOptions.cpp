#include "CoreOptions.h"

#include <charconv>

#include "NetAddress.h"

namespace ferrow::core {

std::string usageLine()
{
    return "usage: ferrow-core -config FILE [-no-tun] [-socks HOST:PORT] [-api HOST:PORT] [-api-info FILE] "
           "[-api-info-uid UID] [-api-info-gid GID] [-stats FILE] [-rule-set-dir DIR] [-tun-name NAME] "
           "[-resolve-bus ADDRESS] [-login-bus ADDRESS] [-node-down-after SECONDS] "
           "[-gateway] [-dns-socket FD]...";
}

std::string helpText()
{
    return "Usage: ferrow-core -config FILE [OPTION]...\n"
           "The proxy core that Ferrow starts with the active profile: an HTTP and SOCKS5 proxy on one\n"
           "port, the profile's rules and policy groups, ferrow nodes, and a controller API for the\n"
           "application. It is started by Ferrow, or by ferrow-helper for Enhanced Mode; it is not\n"
           "meant to be started by hand.\n"
           "\n"
           "Options:\n"
           "  -config FILE          the rendered profile to serve (required)\n"
           "  -socks HOST:PORT      where the HTTP and SOCKS5 proxy listens (none when not given)\n"
           "  -api HOST:PORT        where the controller API listens (default 127.0.0.1:0)\n"
           "  -api-info FILE        write the API's address and secret there once it serves\n"
           "  -api-info-uid UID     owner of the api-info file\n"
           "  -api-info-gid GID     group of the api-info file\n"
           "  -stats FILE           traffic statistics (default: beside the profile)\n"
           "  -history-days N       days of per-program, device, domain and policy history kept\n"
           "                        beside the statistics (default 90; 0 keeps none)\n"
           "  -rule-set-dir DIR     where bundled and downloaded rule sets are kept\n"
           "  -no-tun               serve the proxy only, without a TUN link\n"
           "  -tun-name NAME        the TUN link for Enhanced Mode\n"
           "  -gateway              also route other devices' traffic in Enhanced Mode\n"
           "  -dns-socket FD        a bound UDP or listening TCP socket on which gateway devices'\n"
           "                        DNS questions are answered (repeatable; given by ferrow-helper)\n"
           "  -resolve-bus ADDRESS  the D-Bus on which systemd-resolved is asked (default: system bus)\n"
           "  -login-bus ADDRESS    the D-Bus on which logind announces sleep (default: system bus)\n"
           "  -lanes N              threads that serve proxy clients, 1 to 64 (default: one per\n"
           "                        processor core, at most 4)\n"
           "  -node-down-after SECONDS\n"
           "                        how long every connection through a node must fail before it is\n"
           "                        reported down (1 to 3600, default 30)\n"
           "  -h, --help            show this help and exit\n"
           "  --version             show the version and exit\n";
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
        } else if (flag == "-login-bus") {
            target = &options.loginBus;
        } else if (flag != "-api-info-uid" && flag != "-api-info-gid" && flag != "-node-down-after" &&
                   flag != "-dns-socket" && flag != "-history-days" && flag != "-lanes") {
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
        if (flag == "-history-days") {
            if (*id > 366) {
                return UsageError{"flag -history-days needs 0 to 366 days, not \"" + value + "\""};
            }
            options.historyDays = int(*id);
            continue;
        }
        if (flag == "-lanes") {
            if (*id < 1 || *id > 64) {
                return UsageError{"flag -lanes needs 1 to 64 threads, not \"" + value + "\""};
            }
            options.lanes = id;
            continue;
        }
        if (flag == "-node-down-after") {
            if (*id < 1 || *id > 3600) {
                return UsageError{"flag -node-down-after needs 1 to 3600 seconds, not \"" + value + "\""};
            }
            options.nodeDownAfterSeconds = id;
            continue;
        }
        if (flag == "-dns-socket") {
            // 0 to 2 are the standard streams, never a socket handed over.
            if (*id < 3 || *id > 1u << 20) {
                return UsageError{"flag -dns-socket needs a descriptor number, not \"" + value + "\""};
            }
            options.dnsSockets.push_back(static_cast<int>(*id));
            continue;
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
