#include "PrivateBusService.h"

#include <chrono>
#include <stdexcept>
#include <vector>

namespace ferrow::test {

PrivateBusService::PrivateBusService(const std::filesystem::path& socket, Object object)
    : m_address("unix:path=" + socket.string()), m_object(object)
{
    m_daemon = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile",
                                 "--address=" + m_address, "--print-address=1"});
    if (!m_daemon->readLine(std::chrono::seconds(10))) {
        throw std::runtime_error("the test's message bus did not start");
    }
    m_thread = std::thread([this] { serve(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!m_ready && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!m_ready) {
        stop();
        throw std::runtime_error(std::string("the test's ") + object.busName + " did not start");
    }
}

PrivateBusService::~PrivateBusService()
{
    stop();
}

void PrivateBusService::stop()
{
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool PrivateBusService::runOnBus(const std::function<void(sd_bus*)>& work)
{
    if (!m_ready || m_stop) {
        return false;
    }
    {
        const std::lock_guard guard(m_workLock);
        m_workDone = false;
        m_work = work;
    }
    // The serving thread looks at least every 50 ms.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!m_workDone && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return m_workDone;
}

void PrivateBusService::serve()
{
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0 || sd_bus_set_address(bus, m_address.c_str()) < 0 ||
        sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, m_object.path, m_object.interface, m_object.vtable,
                                 m_object.userdata) < 0 ||
        sd_bus_request_name(bus, m_object.busName, 0) < 0) {
        sd_bus_flush_close_unref(bus);
        return;
    }
    m_ready = true;
    while (!m_stop) {
        {
            const std::lock_guard guard(m_workLock);
            if (m_work) {
                m_work(bus);
                sd_bus_flush(bus);
                m_work = nullptr;
                m_workDone = true;
            }
        }
        const int processed = sd_bus_process(bus, nullptr);
        if (processed < 0) {
            break;
        }
        if (processed == 0) {
            sd_bus_wait(bus, 50'000);
        }
    }
    sd_bus_flush_close_unref(bus);
}

} // namespace ferrow::test
