#pragma once

#include "ChildProcess.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <systemd/sd-bus.h>

namespace ferrow::test {

/// A message bus of the test's own (a dbus-daemon on a socket at `socket`) with one object served
/// on it, under a well-known name, from a thread of its own until `stop` or destruction.
class PrivateBusService {
public:
    struct Object {
        const char* busName;
        const char* path;
        const char* interface;
        const sd_bus_vtable* vtable;
        void* userdata; // passed to the vtable's handlers, on the serving thread
    };

    /// Throws when the bus or the object does not come up within 10 s.
    PrivateBusService(const std::filesystem::path& socket, Object object);
    ~PrivateBusService();
    PrivateBusService(const PrivateBusService&) = delete;
    PrivateBusService& operator=(const PrivateBusService&) = delete;

    const std::string& address() const { return m_address; }
    /// Leaves the bus: calls then find nobody to answer.
    void stop();

private:
    void serve();

    std::string m_address;
    Object m_object;
    std::unique_ptr<ChildProcess> m_daemon;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ready{false};
    std::thread m_thread;
};

} // namespace ferrow::test
