#include "ServerOptions.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "FerrowHandshake.h"

namespace ferrow::server {

namespace {

std::string trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

bool parseSeconds(std::string_view text, std::chrono::seconds& out)
{
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > 86400) {
        return false;
    }
    out = std::chrono::seconds(value);
    return true;
}

std::string apply(ServerOptions& options, const std::string& key, const std::string& value)
{
    if (key == "listen") {
        options.listen = value;
    } else if (key == "psk-file") {
        options.pskFile = value;
    } else if (key == "state-dir") {
        options.stateDir = value;
    } else if (key == "log-level") {
        if (value == "error") {
            options.logLevel = LogLevel::Error;
        } else if (value == "warning") {
            options.logLevel = LogLevel::Warning;
        } else if (value == "info") {
            options.logLevel = LogLevel::Info;
        } else if (value == "debug") {
            options.logLevel = LogLevel::Debug;
        } else {
            return "unknown log level \"" + value + "\" (error, warning, info, debug)";
        }
    } else if (key == "allow-private") {
        if (value != "on" && value != "off") {
            return "allow-private takes on or off";
        }
        options.allowPrivate = value == "on";
    } else if (key == "probe-timeout") {
        const auto dash = value.find('-');
        std::chrono::seconds low{};
        std::chrono::seconds high{};
        if (dash == std::string::npos || !parseSeconds(std::string_view(value).substr(0, dash), low) ||
            !parseSeconds(std::string_view(value).substr(dash + 1), high) || low > high ||
            high.count() == 0) {
            return "probe-timeout takes MIN-MAX in seconds, e.g. 30-90";
        }
        options.probeMin = low;
        options.probeMax = high;
    } else if (key == "idle-timeout") {
        if (!parseSeconds(value, options.idleTimeout) || options.idleTimeout.count() == 0) {
            return "idle-timeout takes seconds (1..86400)";
        }
    } else if (key == "max-unauthenticated" || key == "max-unauthenticated-per-source") {
        std::size_t count = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
        if (error != std::errc() || end != value.data() + value.size() || count == 0 || count > 1000000) {
            return key + " takes a number (1..1000000)";
        }
        (key == "max-unauthenticated" ? options.maxUnauthenticated : options.maxUnauthenticatedPerSource) =
            count;
    } else if (key == "threads") {
        std::chrono::seconds count{};
        if (!parseSeconds(value, count) || count.count() > 256) {
            return "threads takes a number (0..256)";
        }
        options.threads = static_cast<unsigned>(count.count());
    } else {
        return "unknown option \"" + key + "\"";
    }
    return {};
}

std::string applyConfigFile(ServerOptions& options, const std::string& path)
{
    std::ifstream file(path);
    if (!file) {
        return "cannot read config file " + path;
    }
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        const auto text = trimmed(line);
        if (text.empty() || text[0] == '#') {
            continue;
        }
        const auto equals = text.find('=');
        if (equals == std::string::npos) {
            return path + " line " + std::to_string(number) + ": expected key = value";
        }
        if (auto error = apply(options, trimmed(text.substr(0, equals)), trimmed(text.substr(equals + 1)));
            !error.empty()) {
            std::string message = path + " line " + std::to_string(number) + ": ";
            message += error;
            return message;
        }
    }
    return {};
}

} // namespace

std::variant<ServerOptions, std::string> parseServerOptions(const std::vector<std::string>& arguments)
{
    ServerOptions options;
    // systemd names the unit's StateDirectory= here.
    if (const char* state = std::getenv("STATE_DIRECTORY"); state && *state) {
        options.stateDir = state;
    }
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--allow-private") {
            options.allowPrivate = true;
            continue;
        }
        if (!argument.starts_with("--") || i + 1 >= arguments.size()) {
            return "unexpected argument \"" + argument + "\"\n" + usageText();
        }
        const std::string key = argument.substr(2);
        const std::string& value = arguments[++i];
        const auto error = key == "config" ? applyConfigFile(options, value) : apply(options, key, value);
        if (!error.empty()) {
            return error;
        }
    }
    if (options.pskFile.empty()) {
        return "no key file: give --psk-file FILE\n" + usageText();
    }
    return options;
}

std::string usageText()
{
    return "usage: ferrow-server --listen [::]:PORT --psk-file FILE [--log-level error|warning|info|debug]\n"
           "                     [--allow-private] [--probe-timeout MIN-MAX] [--idle-timeout SECONDS]\n"
           "                     [--threads N] [--max-unauthenticated N] [--max-unauthenticated-per-source "
           "N]\n"
           "                     [--state-dir DIR] [--config FILE]\n";
}

std::string helpText()
{
    return "Usage: ferrow-server --listen [::]:PORT --psk-file FILE [OPTION]...\n"
           "  or:  ferrow-server --config FILE\n"
           "The server end of the Ferrow protocol: it accepts connections from Ferrow clients that\n"
           "hold its key and relays their traffic. To anyone without the key it stays silent.\n"
           "\n"
           "Options:\n"
           "  --listen ADDRESS:PORT       where to accept clients, e.g. [::]:8443\n"
           "  --psk-file FILE             the file holding the key (at least 16 characters)\n"
           "  --log-level LEVEL           error, warning, info or debug\n"
           "  --allow-private             let clients reach private and loopback addresses\n"
           "  --probe-timeout MIN-MAX     seconds a silent or failed peer is held, e.g. 30-90\n"
           "  --idle-timeout SECONDS      close relays idle this long\n"
           "  --threads N                 worker threads (0: one per processor)\n"
           "  --state-dir DIR             where accepted handshakes are remembered across restarts\n"
           "                              (default: $STATE_DIRECTORY; without one, handshakes dated\n"
           "                              before the start are refused for the first 30 s)\n"
           "  --config FILE               read these settings as key = value lines\n"
           "  -h, --help                  show this help and exit\n"
           "  --version                   show the version and exit\n";
}

std::variant<std::string, std::string> readPskFile(const std::string& path)
{
    std::ifstream file(path);
    if (!file) {
        return std::variant<std::string, std::string>(std::in_place_index<1>, "cannot read key file " + path);
    }
    std::stringstream text;
    text << file.rdbuf();
    const std::string psk = trimmed(text.str());
    if (const auto problem = proto::pskProblem(psk); !problem.empty()) {
        return std::variant<std::string, std::string>(std::in_place_index<1>, path + ": " + problem);
    }
    return std::variant<std::string, std::string>(std::in_place_index<0>, psk);
}

} // namespace ferrow::server
