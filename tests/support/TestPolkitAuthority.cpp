#include "TestPolkitAuthority.h"

#include <systemd/sd-bus.h>

#include "FRWProcessInspector.h"

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
    : m_service(folder / "polkit-bus", {"org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
                                        "org.freedesktop.PolicyKit1.Authority", authorityTable(), this})
{
}

void TestPolkitAuthority::setBeforeAnswer(std::function<void()> hook)
{
    const std::lock_guard guard(m_lock);
    m_beforeAnswer = std::move(hook);
}

void TestPolkitAuthority::withdraw()
{
    m_service.stop();
}

TestPolkitAuthority::Question TestPolkitAuthority::lastQuestion() const
{
    const std::lock_guard guard(m_lock);
    return m_last;
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
    std::function<void()> hook;
    {
        const std::lock_guard guard(m_lock);
        hook = m_beforeAnswer;
    }
    if (hook) {
        hook();
    }
    bool allow = m_allow;
    if (const pid_t only = m_onlyPid; only != 0) {
        allow = allow && question.pid == only &&
                FRWProcessInspector::startTime(only) == std::optional<std::uint64_t>(question.startTime);
    }
    return sd_bus_reply_method_return(message, "(bba{ss})", allow ? 1 : 0, 0, 0);
}

} // namespace ferrow::test
