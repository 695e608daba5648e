#include "TestPolkitAuthority.h"

#include <chrono>
#include <stdexcept>
#include <systemd/sd-bus.h>

namespace ferrow::test {

namespace {

const sd_bus_vtable* authorityTable()
{
    static const sd_bus_vtable table[] = {SD_BUS_VTABLE_START(0),
                                          SD_BUS_METHOD(
                                              "CheckAuthorization", "(sa{sv})sa{ss}us", "(bba{ss})",
                                              [](sd_bus_message* message, void* self, sd_bus_error* error) {
                                                  return TestPolkitAuthority::onCheckThunk(message, self,
                                                                                           error);
                                              },
                                              SD_BUS_VTABLE_UNPRIVILEGED),
                                          SD_BUS_VTABLE_END};
    return table;
}

} // namespace

TestPolkitAuthority::TestPolkitAuthority(const std::filesystem::path& folder)
{
    m_address = "unix:path=" + (folder / "polkit-bus").string();
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
        withdraw();
        throw std::runtime_error("the test's polkit authority did not start");
    }
}

TestPolkitAuthority::~TestPolkitAuthority()
{
    withdraw();
}

void TestPolkitAuthority::withdraw()
{
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

TestPolkitAuthority::Question TestPolkitAuthority::lastQuestion() const
{
    const std::lock_guard guard(m_lock);
    return m_last;
}

void TestPolkitAuthority::serve()
{
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0 || sd_bus_set_address(bus, m_address.c_str()) < 0 ||
        sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/PolicyKit1/Authority",
                                 "org.freedesktop.PolicyKit1.Authority", authorityTable(), this) < 0 ||
        sd_bus_request_name(bus, "org.freedesktop.PolicyKit1", 0) < 0) {
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

int TestPolkitAuthority::onCheckThunk(sd_bus_message* message, void* self, sd_bus_error*)
{
    return static_cast<TestPolkitAuthority*>(self)->answer(message);
}

int TestPolkitAuthority::answer(sd_bus_message* message)
{
    Question question;
    const char* kind = nullptr;
    if (sd_bus_message_enter_container(message, 'r', "sa{sv}") < 0 ||
        sd_bus_message_read(message, "s", &kind) < 0 ||
        sd_bus_message_enter_container(message, 'a', "{sv}") < 0) {
        return -EINVAL;
    }
    question.kind = kind;
    while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
        const char* key = nullptr;
        sd_bus_message_read(message, "s", &key);
        const std::string name = key;
        if (name == "pid") {
            std::uint32_t pid = 0;
            sd_bus_message_read(message, "v", "u", &pid);
            question.pid = static_cast<pid_t>(pid);
        } else if (name == "uid") {
            std::int32_t uid = 0;
            sd_bus_message_read(message, "v", "i", &uid);
            question.uid = static_cast<uid_t>(uid);
        } else if (name == "start-time") {
            sd_bus_message_read(message, "v", "t", &question.startTime);
        } else {
            sd_bus_message_skip(message, "v");
        }
        sd_bus_message_exit_container(message);
    }
    sd_bus_message_exit_container(message);
    sd_bus_message_exit_container(message);
    const char* action = nullptr;
    sd_bus_message_read(message, "s", &action);
    question.action = action ? action : "";
    {
        const std::lock_guard guard(m_lock);
        question.count = m_last.count + 1;
        m_last = question;
    }
    const int allow = m_allow ? 1 : 0;
    return sd_bus_reply_method_return(message, "(bba{ss})", allow, 0, 0);
}

} // namespace ferrow::test
