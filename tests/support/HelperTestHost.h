#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FRWHelperConfig.h"
#include "FRWHelperServer.h"
#include "FRWHelperService.h"
#include "TestPolkitAuthority.h"

namespace ferrow::test {

/// Runs the real helper service unprivileged on a socket in a temporary folder. Every path of the
/// service (staged core, api-info folder, application name) points into that folder; log lines
/// are kept for the test to read.
class HelperTestHost {
public:
    /// `adjust` may change the configuration before the service starts.
    explicit HelperTestHost(const std::function<void(FRWHelperConfig&)>& adjust = {});
    ~HelperTestHost();
    HelperTestHost(const HelperTestHost&) = delete;
    HelperTestHost& operator=(const HelperTestHost&) = delete;

    const std::filesystem::path& root() const { return m_root; }
    std::string socketPath() const { return (m_root / "helper.sock").string(); }
    const FRWHelperConfig& config() const { return m_config; }
    FRWHelperService& service() { return *m_service; }
    TestPolkitAuthority& polkit() { return *m_polkit; }

    std::vector<std::string> logs() const;
    bool hasLog(const std::string& part) const;
    /// Waits (at most `timeout`) for a log line containing `part`.
    bool waitForLog(const std::string& part,
                    std::chrono::milliseconds timeout = std::chrono::seconds(15)) const;

    /// A connected client socket, or -1.
    int connect() const;

    /// Stops the service now (the destructor does it otherwise).
    void shutdown();

private:
    std::filesystem::path m_root;
    std::unique_ptr<TestPolkitAuthority> m_polkit;
    FRWHelperConfig m_config;
    std::shared_ptr<FRWHelperService> m_service;
    std::shared_ptr<FRWHelperServer> m_server;
    int m_listenFd = -1;
    std::thread m_serveThread;
    mutable std::mutex m_logLock;
    std::shared_ptr<std::vector<std::string>> m_logs = std::make_shared<std::vector<std::string>>();
};

/// The test signing key (the only key test helpers trust) and the built core signed with it.
std::string signingKeyPem();
std::string testPublicKeyPem();
std::string builtCorePath();
/// Copies `from` to `to` (mode 0755) and signs the copy; false on failure.
bool copySigned(const std::string& from, const std::string& to, const std::string& identifier,
                const std::string& privateKeyPem);
/// Copies `from` to `to` with mode 0755, unsigned (an existing trailer is dropped).
bool copyUnsigned(const std::string& from, const std::string& to);

/// Sends request lines on a connected socket and reads one reply line per request; fewer
/// replies when the connection closed. Gives up after `timeout`.
std::vector<std::string> exchange(int fd, const std::vector<std::string>& lines,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(30));

} // namespace ferrow::test
