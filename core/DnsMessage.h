#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "NetAddress.h"

namespace ferrow::core::dns {

inline constexpr std::uint16_t kTypeA = 1;
inline constexpr std::uint16_t kTypeAAAA = 28;

/// A recursive query for one name; nullopt when the name cannot be encoded.
std::optional<std::string> buildQuery(std::uint16_t id, std::string_view name, std::uint16_t type);

struct Answer {
    bool ok = false;
    std::string error;
    std::vector<IpAddr> addresses;
    std::uint32_t ttl = 0;
};

/// Reads the A/AAAA records of a response to query `id`.
Answer parseResponse(std::string_view bytes, std::uint16_t id);

} // namespace ferrow::core::dns
