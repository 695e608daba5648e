#include "TestResolved.h"

#include <arpa/inet.h>
#include <cstring>

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
    : m_service(folder / "resolved-bus", {"org.freedesktop.resolve1", "/org/freedesktop/resolve1",
                                          "org.freedesktop.resolve1.Manager", managerTable(), this})
{
}

std::vector<std::string> TestResolved::calls() const
{
    const std::lock_guard guard(m_lock);
    return m_calls;
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
