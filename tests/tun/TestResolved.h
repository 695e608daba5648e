#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include <systemd/sd-bus.h>

#include "PrivateBusService.h"

namespace ferrow::test {

/// A private message bus with a small stand-in for systemd-resolved's link methods (the real
/// daemon would take over this machine's DNS): it records each call as "Method index args".
class TestResolved {
public:
    explicit TestResolved(const std::filesystem::path& folder);
    TestResolved(const TestResolved&) = delete;
    TestResolved& operator=(const TestResolved&) = delete;

    std::string busAddress() const { return m_service.address(); }
    std::vector<std::string> calls() const;

    static int onCall(sd_bus_message* message, void* self, sd_bus_error* error);

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_calls;
    // Last: its thread records into the members above until it ends.
    PrivateBusService m_service;
};

} // namespace ferrow::test
