#pragma once

#include <string_view>

namespace ferrow::test {

/// The published passive rules for blocking fully encrypted traffic by its first data packet
/// (Wu et al., USENIX Security 2023): a packet is exempt when its average set bits per byte is at
/// most 3.4 or at least 4.6, its first six bytes are printable, more than half its bytes are
/// printable, it holds more than 20 contiguous printable bytes, or it looks like TLS or HTTP.
/// Everything else is flagged.
bool flaggedAsFullyEncrypted(std::string_view packet);

} // namespace ferrow::test
