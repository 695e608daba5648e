#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace ferrow::core {

/// What the command line asks of the core.
struct CoreOptions {
    std::string configPath;
    bool noTun = false;
    std::string socksListen; // empty: no proxy listener
    std::string apiListen = "127.0.0.1:0";
    std::string apiInfoPath; // empty: no api-info file
    std::optional<unsigned> apiInfoUid;
    std::optional<unsigned> apiInfoGid;
    std::string statsPath; // empty: beside the configuration
    std::string ruleSetDir;
    std::string tunName;
    bool gateway = false;
    std::vector<int> dnsSockets; // inherited sockets for gateway devices' DNS, bound by the helper
    std::string resolveBus;      // the bus systemd-resolved is on; empty: the system bus
    std::string loginBus;        // the bus logind is on; empty: the system bus
    std::optional<unsigned> nodeDownAfterSeconds; // empty: the core's default
    int historyDays = 90;                         // 0: no per-program history is kept
    std::optional<unsigned> lanes;                // threads serving proxy clients; empty: by the cores
};

struct UsageError {
    std::string message;
};

/// Reads the arguments after the program name. Every flag takes one value except
/// "-no-tun" and "-gateway"; "-dns-socket" may be given more than once.
std::variant<CoreOptions, UsageError> parseCommandLine(const std::vector<std::string>& arguments);

/// One line naming every flag, printed after a usage error.
std::string usageLine();
/// What `--help` prints: the usage and every flag with its meaning.
std::string helpText();

} // namespace ferrow::core
