#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <systemd/sd-bus.h>

#include "ChildProcess.h"

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
    /// Runs `work` on the serving thread with the service's connection (to emit a signal as
    /// the service, say) and waits for it; false when the service is not serving.
    bool runOnBus(const std::function<void(sd_bus*)>& work);

private:
    void serve();

    std::string m_address;
    Object m_object;
    std::unique_ptr<ChildProcess> m_daemon;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ready{false};
    std::mutex m_workLock;
    std::function<void(sd_bus*)> m_work; // waiting for the serving thread
    std::atomic<bool> m_workDone{false};
    std::thread m_thread;
};

} // namespace ferrow::test
