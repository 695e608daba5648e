#pragma once

#include "ChildProcess.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <systemd/sd-bus.h>

namespace ferrow::test {

/// A private message bus with a small stand-in for systemd-resolved's link methods (the real
/// daemon would take over this machine's DNS): it records each call as "Method index args".
class TestResolved {
public:
    explicit TestResolved(const std::filesystem::path& folder);
    ~TestResolved();
    TestResolved(const TestResolved&) = delete;
    TestResolved& operator=(const TestResolved&) = delete;

    std::string busAddress() const { return m_address; }
    std::vector<std::string> calls() const;

    static int onCall(sd_bus_message* message, void* self, sd_bus_error* error);

private:
    void serve();

    std::string m_address;
    std::unique_ptr<ChildProcess> m_daemon;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ready{false};
    mutable std::mutex m_lock;
    std::vector<std::string> m_calls;
    std::thread m_thread;
};

} // namespace ferrow::test
