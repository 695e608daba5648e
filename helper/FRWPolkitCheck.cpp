#include "FRWPolkitCheck.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include <systemd/sd-bus.h>

namespace {

struct BusDeleter {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageDeleter {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Bus = std::unique_ptr<sd_bus, BusDeleter>;
using Message = std::unique_ptr<sd_bus_message, MessageDeleter>;

constexpr std::uint64_t kCallTimeoutUsec = 25'000'000;

std::string errorText(int code, const sd_bus_error* error)
{
    if (error && sd_bus_error_is_set(error) && error->message) {
        return error->message;
    }
    return std::strerror(-code);
}

Bus connect(const std::string& address, int& code)
{
    sd_bus* bus = nullptr;
    if (address.empty()) {
        code = sd_bus_open_system(&bus);
        return Bus(code < 0 ? nullptr : bus);
    }
    if ((code = sd_bus_new(&bus)) < 0) {
        return nullptr;
    }
    Bus owned(bus);
    if ((code = sd_bus_set_address(bus, address.c_str())) < 0 || (code = sd_bus_set_bus_client(bus, 1)) < 0 ||
        (code = sd_bus_start(bus)) < 0) {
        return nullptr;
    }
    return owned;
}

} // namespace

std::optional<std::string> FRWPolkitCheck::authorize(pid_t pid, std::uint64_t startTime, uid_t uid) const
{
    int code = 0;
    const Bus bus = connect(m_busAddress, code);
    if (!bus) {
        return "polkit cannot be reached (" + std::string(std::strerror(-code)) + ")";
    }
    sd_bus_message* rawCall = nullptr;
    code = sd_bus_message_new_method_call(bus.get(), &rawCall, "org.freedesktop.PolicyKit1",
                                          "/org/freedesktop/PolicyKit1/Authority",
                                          "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization");
    const Message call(code < 0 ? nullptr : rawCall);
    if (!call ||
        (code = sd_bus_message_append(call.get(), "(sa{sv})", "unix-process", 3, "pid", "u",
                                      static_cast<std::uint32_t>(pid), "start-time", "t", startTime, "uid",
                                      "i", static_cast<std::int32_t>(uid))) < 0 ||
        (code = sd_bus_message_append(call.get(), "s", m_actionId.c_str())) < 0 ||
        (code = sd_bus_message_append(call.get(), "a{ss}", 0)) < 0 ||
        // No interaction: the action is granted to active local sessions without a prompt, and
        // to nobody else.
        (code = sd_bus_message_append(call.get(), "us", 0u, "")) < 0) {
        return "polkit request could not be made (" + std::string(std::strerror(-code)) + ")";
    }
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* rawReply = nullptr;
    code = sd_bus_call(bus.get(), call.get(), kCallTimeoutUsec, &error, &rawReply);
    const Message reply(code < 0 ? nullptr : rawReply);
    if (!reply) {
        const std::string why = errorText(code, &error);
        sd_bus_error_free(&error);
        return "polkit did not answer (" + why + ")";
    }
    int authorized = 0;
    int challenge = 0;
    if (sd_bus_message_enter_container(reply.get(), 'r', "bba{ss}") < 0 ||
        sd_bus_message_read(reply.get(), "bb", &authorized, &challenge) < 0) {
        return std::string("polkit gave an answer that is not one");
    }
    if (!authorized) {
        return std::string("this user is not allowed to start Enhanced Mode");
    }
    return std::nullopt;
}
