#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "AsioSupport.h"
#include "ConnectionRegistry.h"

namespace ferrow::proto {
class DatagramStream;
struct Target;
} // namespace ferrow::proto

namespace ferrow::core {

class CoreService;

/// Who sends a UDP flow where, as the rules and the connection list see it.
struct UdpFlowSetup {
    std::string host; // the name behind a fake address, a name the client gave, else the address
    std::uint16_t port = 0;
    IpAddr source; // the client
    std::uint16_t sourcePort = 0;
    IpAddr local; // our end, as the client addressed it
    std::uint16_t localPort = 0;
    /// The client is another machine: this machine's own addresses are out of its reach.
    bool fromOtherMachine = false;
};

/// One UDP flow (a client's port talking to one destination), routed once by the rules: DIRECT
/// through a marked socket of its own, a ferrow node through a datagram stream of its own, REJECT
/// (or a failure) drops what it is given. Answers go to `deliver` as the destination's; only
/// those from the destination are taken, as a connected socket would. Lives on the core's
/// executor; the owner ends it with close(), at the latest when it has idled out.
class UdpFlow {
public:
    using Deliver = std::function<void(std::string_view payload)>;

    /// Opens the connection record and starts routing; datagrams sent meanwhile wait (a few).
    static std::shared_ptr<UdpFlow> start(asio::any_io_executor executor, CoreService& core,
                                          UdpFlowSetup setup, Deliver deliver);
    UdpFlow(asio::any_io_executor executor, CoreService& core, UdpFlowSetup setup, Deliver deliver);
    ~UdpFlow();
    UdpFlow(const UdpFlow&) = delete;
    UdpFlow& operator=(const UdpFlow&) = delete;

    void send(std::string payload);
    void close();
    /// Its carrier ended after it opened (the node's server closed the relay): the owner opens
    /// a new flow for the next datagram rather than dropping everything until this one idles out.
    bool ended() const { return m_state == State::Ended; }
    std::chrono::steady_clock::time_point lastActive() const { return m_lastActive; }
    const ConnectionRecord& record() const { return *m_record; }

private:
    enum class State { Opening, Direct, Stream, Dropped, Ended, Closed };

    // Each coroutine holds the flow it runs for from its first moment, before it is first resumed.
    asio::awaitable<void> open(std::shared_ptr<UdpFlow> self);
    asio::awaitable<void> openDirect(std::vector<IpAddr> addresses);
    asio::awaitable<void> readDirect();
    asio::awaitable<void> readStream();
    asio::awaitable<void> writeStream(std::shared_ptr<UdpFlow> self);
    void sendDirect(const std::string& payload);
    bool fromDestination(const proto::Target& peer) const;
    /// REJECT or no way to the destination: what is sent is dropped until the flow idles out.
    void drop();
    void end();

    CoreService& m_core;
    UdpFlowSetup m_setup;
    Deliver m_deliver;
    std::shared_ptr<ConnectionRecord> m_record;
    State m_state = State::Opening;
    asio::ip::udp::socket m_socket;
    std::unique_ptr<proto::DatagramStream> m_stream;
    std::unique_ptr<proto::Target> m_target;
    std::deque<std::string> m_queue; // waiting for the route, or for the stream's writer
    std::size_t m_queuedBytes = 0;
    asio::steady_timer m_wake; // the stream's writer waits on it for more to send
    std::chrono::steady_clock::time_point m_lastActive;
};

} // namespace ferrow::core
