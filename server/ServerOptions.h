#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <variant>
#include <vector>

namespace ferrow::server {

enum class LogLevel { Error, Warning, Info, Debug };

struct ServerOptions {
    std::string listen = "[::]:8443";
    std::string pskFile;
    /// Where the salts of accepted handshakes are kept across restarts; empty: nowhere.
    std::string stateDir;
    LogLevel logLevel = LogLevel::Info;
    bool allowPrivate = false;
    /// A failed handshake is held open, reading and discarding, for a time drawn from this range.
    std::chrono::seconds probeMin{30};
    std::chrono::seconds probeMax{90};
    /// How long an authenticated connection may carry nothing (a pooled one waiting for its
    /// target included) before it is closed.
    std::chrono::seconds idleTimeout{300};
    unsigned threads = 0; // 0: one per processor
    /// Connections not yet authenticated, in all and from one source (an IPv4 address or an
    /// IPv6 /64); beyond either the oldest is closed. Well below the unit's descriptor limit.
    std::size_t maxUnauthenticated = 16384;
    std::size_t maxUnauthenticatedPerSource = 64;
};

/// Reads the command line (and a config file named by --config; command-line options given
/// after it win). An error text on anything it cannot use.
std::variant<ServerOptions, std::string> parseServerOptions(const std::vector<std::string>& arguments);

std::string usageText();
/// What `--help` prints: the usage and every option with its meaning.
std::string helpText();

/// The key text from the key file: surrounding white space and the line break removed.
std::variant<std::string, std::string> readPskFile(const std::string& path);

} // namespace ferrow::server
