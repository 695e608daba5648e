#include "ResolvedLink.h"

#include <cstring>
#include <memory>
#include <sys/socket.h>

#include <systemd/sd-bus.h>

namespace ferrow::tun {

namespace {

constexpr char kService[] = "org.freedesktop.resolve1";
constexpr char kPath[] = "/org/freedesktop/resolve1";
constexpr char kManager[] = "org.freedesktop.resolve1.Manager";
constexpr std::uint64_t kCallTimeoutUs = 3'000'000;

struct BusDeleter {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusDeleter>;

Bus connect(const std::string& address, std::string* error)
{
    sd_bus* bus = nullptr;
    int result = 0;
    if (address.empty()) {
        result = sd_bus_open_system(&bus);
    } else if ((result = sd_bus_new(&bus)) >= 0 && (result = sd_bus_set_address(bus, address.c_str())) >= 0 &&
               (result = sd_bus_set_bus_client(bus, 1)) >= 0) {
        result = sd_bus_start(bus);
    }
    if (result < 0) {
        sd_bus_unref(bus);
        *error = std::string("no system bus: ") + std::strerror(-result);
        return nullptr;
    }
    sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
    return Bus(bus);
}

/// Sends a method call built by `fill`; empty on success, else the reason.
template <typename Fill>
std::string call(sd_bus* bus, const char* method, Fill&& fill)
{
    sd_bus_message* message = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int result = sd_bus_message_new_method_call(bus, &message, kService, kPath, kManager, method);
    if (result >= 0) {
        result = fill(message);
    }
    if (result >= 0) {
        result = sd_bus_call(bus, message, 0, &error, &reply);
    }
    std::string problem;
    if (result < 0) {
        problem = std::string(method) + ": " + (error.message ? error.message : std::strerror(-result));
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(message);
    return problem;
}

} // namespace

ResolvedLink::~ResolvedLink()
{
    revert();
}

bool ResolvedLink::registerLink(int linkIndex, const core::IpAddr& dnsAddress, std::string* error)
{
    const auto bus = connect(m_busAddress, error);
    if (!bus) {
        return false;
    }
    std::string problem = call(bus.get(), "SetLinkDNS", [&](sd_bus_message* message) {
        int result = sd_bus_message_append(message, "i", linkIndex);
        if (result >= 0) {
            result = sd_bus_message_open_container(message, 'a', "(iay)");
        }
        if (result >= 0) {
            result = sd_bus_message_open_container(message, 'r', "iay");
        }
        if (result >= 0) {
            result = sd_bus_message_append(message, "i", dnsAddress.v6 ? AF_INET6 : AF_INET);
        }
        if (result >= 0) {
            result =
                sd_bus_message_append_array(message, 'y', dnsAddress.bytes.data(), dnsAddress.v6 ? 16 : 4);
        }
        if (result >= 0) {
            result = sd_bus_message_close_container(message);
        }
        if (result >= 0) {
            result = sd_bus_message_close_container(message);
        }
        return result;
    });
    if (problem.empty()) {
        m_linkIndex = linkIndex;
        // "~." routes every name to this link; the default route takes names no link claims.
        problem = call(bus.get(), "SetLinkDomains", [&](sd_bus_message* message) {
            return sd_bus_message_append(message, "ia(sb)", linkIndex, 1, "~.", 1);
        });
    }
    if (problem.empty()) {
        problem = call(bus.get(), "SetLinkDefaultRoute", [&](sd_bus_message* message) {
            return sd_bus_message_append(message, "ib", linkIndex, 1);
        });
    }
    if (!problem.empty()) {
        *error = problem;
        revert();
        return false;
    }
    return true;
}

void ResolvedLink::revert()
{
    if (m_linkIndex == 0) {
        return;
    }
    std::string error;
    if (const auto bus = connect(m_busAddress, &error)) {
        call(bus.get(), "RevertLink",
             [this](sd_bus_message* message) { return sd_bus_message_append(message, "i", m_linkIndex); });
    }
    m_linkIndex = 0;
}

} // namespace ferrow::tun
