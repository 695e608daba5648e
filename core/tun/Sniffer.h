#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ferrow::tun {

/// What the first bytes of a client's stream say about the host it wants.
struct Sniffed {
    enum class Status { Found, NeedMore, None } status = Status::None;
    std::string host; // lower case, without a port
};

/// Reads the server name of a TLS ClientHello or the Host header of an HTTP request.
Sniffed sniffHost(std::string_view bytes);

} // namespace ferrow::tun
