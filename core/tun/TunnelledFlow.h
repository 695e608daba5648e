#pragma once

#include <cstdint>
#include <string>

#include "AsioSupport.h"

namespace ferrow::core {

class CoreService;

/// A TCP connection the tunnel terminated in place of its destination.
struct TunnelledFlow {
    std::string host;       // the name behind a fake address, a sniffed name, else the address
    std::uint16_t port = 0; // the destination port
    IpAddr source;          // the client: this machine's tunnel address, or a device in gateway mode
    std::uint16_t sourcePort = 0;
    IpAddr destination; // as the client addressed it (the fake address for looked-up names)
    bool fromThisMachine = true;
    bool sniffed = false; // `host` was read from the stream, not looked up through us
    std::string initial;  // bytes already read from the client
};

/// Routes and dials a tunnelled connection like a proxy request and relays it to the end.
asio::awaitable<void> runTunnelledSession(CoreService& core, tcp::socket client, TunnelledFlow flow);

} // namespace ferrow::core
