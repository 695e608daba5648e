#pragma once

// ferrow-core run by a test, with the loopback plumbing the core tests use around it.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "LoopbackOrigins.h"
#include "LoopbackSocket.h"
#include "Socks5Client.h"
#include "TestBytes.h"
#include "WaitUntil.h"

namespace ferrow::test {

/// A running ferrow-core with its own temporary folder, configuration and secret.
class CoreProcess {
public:
    struct Options {
        std::string profile;
        bool socks = true;
        std::string secret = "0123456789abcdef0123456789abcdef0123456789abcdef";
        std::vector<std::string> extraArguments;
        std::filesystem::path folder; // empty: a fresh temporary folder
        /// Runs the moment the api-info file is first seen complete, before anything else.
        std::function<void()> whenApiInfoAppears;
    };

    explicit CoreProcess(Options options);
    ~CoreProcess();

    bool started() const { return m_started; }
    /// -1 once it has exited.
    int pid() const;
    std::uint16_t socksPort() const { return m_socksPort; }
    std::string apiAddress() const { return m_apiAddress; }
    std::uint16_t apiPort() const;
    const std::filesystem::path& folder() const { return m_folder; }
    std::filesystem::path configPath() const { return m_folder / "profile.conf"; }
    std::filesystem::path apiInfoPath() const { return m_folder / "api.json"; }
    std::filesystem::path statsPath() const { return m_folder / "stats.json"; }
    std::string secret() const { return m_secret; }

    /// One controller request. `headers` are added verbatim ("Name: value" lines).
    HttpReply request(const std::string& method, const std::string& target, const std::string& body = {},
                      std::vector<std::string> headers = {}, bool authorise = true, std::string host = {});
    nlohmann::json get(const std::string& target);
    nlohmann::json post(const std::string& target, const std::string& body = {});

    void writeProfile(const std::string& profile);
    /// Sends a signal and waits for the exit; the exit status, or -1 when it did not exit in time.
    int terminate(int signal, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    /// Waits for an exit started by other means.
    int waitForExit(std::chrono::milliseconds timeout);
    std::string stderrText() const;
    bool logContains(const std::string& text);

private:
    std::filesystem::path m_folder;
    bool m_ownFolder = false;
    std::string m_secret;
    std::unique_ptr<ChildProcess> m_process;
    bool m_started = false;
    std::uint16_t m_socksPort = 0;
    std::string m_apiAddress;
};

/// Runs ferrow-core with these arguments to its end; exit status and standard error.
std::pair<int, std::string> runCore(const std::vector<std::string>& arguments,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(10));

/// What became of two tunnels to an echo server while one stayed silent and the other echoed a
/// tick every quarter second: whether the silent one was cut, after how long, and whether every
/// tick came back.
struct IdleCut {
    bool cut = false;
    bool busyKept = true;
    std::chrono::milliseconds after{0};
};
IdleCut keepBusyUntilIdleCut(Socket& idle, Socket& busy, std::chrono::seconds limit);

} // namespace ferrow::test
