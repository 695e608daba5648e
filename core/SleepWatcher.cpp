#include "SleepWatcher.h"

#include <cstring>
#include <poll.h>

#include <systemd/sd-bus.h>

namespace ferrow::core {

namespace {

int onPrepareForSleep(sd_bus_message* message, void* watcher, sd_bus_error*)
{
    int sleeping = 0;
    if (sd_bus_message_read(message, "b", &sleeping) >= 0) {
        static_cast<SleepWatcher*>(watcher)->signalled(sleeping != 0);
    }
    return 0;
}

} // namespace

SleepWatcher::SleepWatcher(boost::asio::io_context& io, std::function<void()> woke)
    : m_descriptor(io), m_woke(std::move(woke))
{
}

SleepWatcher::~SleepWatcher()
{
    stop();
}

bool SleepWatcher::start(const std::string& busAddress, std::string* error)
{
    int result = 0;
    if (busAddress.empty()) {
        result = sd_bus_open_system(&m_bus);
    } else if ((result = sd_bus_new(&m_bus)) >= 0 &&
               (result = sd_bus_set_address(m_bus, busAddress.c_str())) >= 0 &&
               (result = sd_bus_set_bus_client(m_bus, 1)) >= 0) {
        result = sd_bus_start(m_bus);
    }
    // Only logind's own signal counts: the bus resolves the name to its owner's connection.
    if (result >= 0) {
        result = sd_bus_match_signal_async(m_bus, &m_slot, "org.freedesktop.login1",
                                           "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                           "PrepareForSleep", &onPrepareForSleep, nullptr, this);
    }
    int fd = -1;
    if (result >= 0) {
        result = fd = sd_bus_get_fd(m_bus);
    }
    if (result < 0) {
        *error = std::string("no system bus: ") + std::strerror(-result);
        stop();
        return false;
    }
    m_descriptor.assign(fd);
    process();
    return true;
}

void SleepWatcher::stop()
{
    if (m_descriptor.is_open()) {
        // The bus owns the descriptor and closes it itself.
        m_descriptor.cancel();
        m_descriptor.release();
    }
    m_slot = sd_bus_slot_unref(m_slot);
    if (m_bus != nullptr) {
        sd_bus_flush_close_unref(m_bus);
        m_bus = nullptr;
    }
}

void SleepWatcher::signalled(bool sleeping)
{
    if (!sleeping) {
        m_woke();
    }
}

void SleepWatcher::process()
{
    while (m_bus != nullptr) {
        const int result = sd_bus_process(m_bus, nullptr);
        if (result < 0) {
            // The bus went away (a restarted dbus-daemon): no more wake-ups, nothing else breaks.
            stop();
            return;
        }
        if (result == 0) {
            break;
        }
    }
    if (m_bus != nullptr) {
        wait();
    }
}

void SleepWatcher::wait()
{
    const bool writing = (sd_bus_get_events(m_bus) & POLLOUT) != 0;
    m_descriptor.async_wait(writing ? boost::asio::posix::stream_descriptor::wait_write
                                    : boost::asio::posix::stream_descriptor::wait_read,
                            [this, alive = std::weak_ptr(m_alive)](const boost::system::error_code& error) {
                                if (!alive.expired() && !error) {
                                    process();
                                }
                            });
}

} // namespace ferrow::core
