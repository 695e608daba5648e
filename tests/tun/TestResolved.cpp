#include "TestResolved.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace ferrow::test {

namespace {

const sd_bus_vtable* managerTable()
{
    static const sd_bus_vtable table[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("SetLinkDNS", "ia(iay)", "", TestResolved::onCall, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("SetLinkDomains", "ia(sb)", "", TestResolved::onCall, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("SetLinkDefaultRoute", "ib", "", TestResolved::onCall, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("RevertLink", "i", "", TestResolved::onCall, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END};
    return table;
}

} // namespace

TestResolved::TestResolved(const std::filesystem::path& folder)
{
    m_address = "unix:path=" + (folder / "resolved-bus").string();
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
}

TestResolved::~TestResolved()
{
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::vector<std::string> TestResolved::calls() const
{
    const std::lock_guard guard(m_lock);
    return m_calls;
}

void TestResolved::serve()
{
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0 || sd_bus_set_address(bus, m_address.c_str()) < 0 ||
        sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/resolve1",
                                 "org.freedesktop.resolve1.Manager", managerTable(), this) < 0 ||
        sd_bus_request_name(bus, "org.freedesktop.resolve1", 0) < 0) {
        sd_bus_flush_close_unref(bus);
        return;
    }
    m_ready = true;
    while (!m_stop) {
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

int TestResolved::onCall(sd_bus_message* message, void* self, sd_bus_error*)
{
    const std::string method = sd_bus_message_get_member(message);
    std::int32_t index = 0;
    sd_bus_message_read(message, "i", &index);
    std::string call = method + " " + std::to_string(index);
    if (method == "SetLinkDNS") {
        sd_bus_message_enter_container(message, 'a', "(iay)");
        while (sd_bus_message_enter_container(message, 'r', "iay") > 0) {
            std::int32_t family = 0;
            const void* bytes = nullptr;
            std::size_t size = 0;
            sd_bus_message_read(message, "i", &family);
            sd_bus_message_read_array(message, 'y', &bytes, &size);
            char text[INET6_ADDRSTRLEN] = {};
            if (size == 4 || size == 16) {
                ::inet_ntop(family, bytes, text, sizeof text);
            }
            call += std::string(" ") + text;
            sd_bus_message_exit_container(message);
        }
    } else if (method == "SetLinkDomains") {
        sd_bus_message_enter_container(message, 'a', "(sb)");
        const char* domain = nullptr;
        int routing = 0;
        while (sd_bus_message_read(message, "(sb)", &domain, &routing) > 0) {
            call += std::string(" ") + domain + (routing ? ":route" : "");
        }
    } else if (method == "SetLinkDefaultRoute") {
        int enable = 0;
        sd_bus_message_read(message, "b", &enable);
        call += enable ? " yes" : " no";
    }
    auto* resolved = static_cast<TestResolved*>(self);
    {
        const std::lock_guard guard(resolved->m_lock);
        resolved->m_calls.push_back(call);
    }
    return sd_bus_reply_method_return(message, "");
}

} // namespace ferrow::test
