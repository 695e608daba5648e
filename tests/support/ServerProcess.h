#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace ferrow::test {

/// A running ferrow-server (on 127.0.0.1 unless told otherwise) with its own key file and captured
/// standard error.
class ServerProcess {
public:
    struct Options {
        std::string psk;
        std::uint16_t port = 0; // 0: any free port
        bool allowPrivate = true;
        std::string probeTimeout = "1-2";
        std::vector<std::string> extraArguments;
        int maxOpenFiles = 0; // > 0: the server runs with this descriptor limit
        std::string listenAddress = "127.0.0.1";
        std::string netns;    // non-empty: the server runs inside this network namespace
        std::string hosts;    // non-empty: the server resolves names with this as its /etc/hosts (root only)
        std::string stateDir; // empty: a fresh folder of its own
    };

    explicit ServerProcess(Options options);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    bool started() const { return m_port != 0; }
    std::uint16_t port() const { return m_port; }
    /// -1 once stopped.
    int pid() const { return m_process ? m_process->pid() : -1; }
    std::string stderrText() const;
    /// Lines of its log that contain `text`.
    std::vector<std::string> linesWith(const std::string& text) const;
    /// Waits until at least `count` log lines contain `text`.
    bool waitForLines(const std::string& text, std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    /// SIGTERM and wait; the exit status or -1.
    int stop();

private:
    std::filesystem::path m_folder;
    std::unique_ptr<ChildProcess> m_process;
    std::uint16_t m_port = 0;
};

/// Runs ferrow-server with these arguments to its end: exit status and standard error.
std::pair<int, std::string> runServer(const std::vector<std::string>& arguments);

/// A fresh key as the installer makes it: 32 random bytes in unpadded base64url.
std::string newPsk();

} // namespace ferrow::test
