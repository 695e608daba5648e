#pragma once

#include <functional>
#include <memory>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>

struct sd_bus;
struct sd_bus_slot;

namespace ferrow::core {

/// Calls `woke` when logind says the machine resumed from sleep (PrepareForSleep(false)): the
/// connections and addresses from before may all be gone. Runs on the core's I/O thread; the bus
/// is processed as its descriptor becomes readable, never blocking the thread.
class SleepWatcher {
public:
    SleepWatcher(boost::asio::io_context& io, std::function<void()> woke);
    ~SleepWatcher();
    SleepWatcher(const SleepWatcher&) = delete;
    SleepWatcher& operator=(const SleepWatcher&) = delete;

    /// `busAddress`: where logind is (empty: the system bus). False with the reason.
    bool start(const std::string& busAddress, std::string* error);
    void stop();
    /// What logind said: about to sleep, or awake again.
    void signalled(bool sleeping);

private:
    void wait();
    void process();

    boost::asio::posix::stream_descriptor m_descriptor;
    std::function<void()> m_woke;
    sd_bus* m_bus = nullptr;
    sd_bus_slot* m_slot = nullptr;
    std::shared_ptr<char> m_alive = std::make_shared<char>(); // expires with the watcher
};

} // namespace ferrow::core
