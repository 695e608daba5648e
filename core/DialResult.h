#pragma once

#include <memory>
#include <optional>
#include <string>

#include "AsioSupport.h"
#include "Socks5Parser.h"

namespace ferrow::proto {
struct FerrowWire;
}

namespace ferrow::core {

/// A node test's result: milliseconds, or −1 with what went wrong (see failureKind).
struct DelayResult {
    int ms = -1;
    std::string failure;
};

struct DialResult {
    std::optional<tcp::socket> socket;
    std::optional<tcp> protocol; // of `socket`, when known
    /// Instead of `socket`, for a tunnel through a ferrow node: relay it with relayFerrow.
    std::shared_ptr<proto::FerrowWire> ferrow;
    std::string error;
    socks5::Reply reply = socks5::GeneralFailure;
    int httpStatus = 502;
};

} // namespace ferrow::core
