#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "FerrowCrypto.h"

namespace ferrow::proto {

/// A key shorter than this (in characters of its text) is refused as too weak.
inline constexpr std::size_t kMinPskLength = 16;

/// scrypt's cost parameters (N, r, p).
struct KeyCost {
    std::uint64_t n;
    std::uint32_t r;
    std::uint32_t p;
};
/// 32 MiB and a quarter of a second or less per derivation on a 2-core machine (measurements in
/// the protocol reference).
inline constexpr KeyCost kMasterKeyCost{std::uint64_t{1} << 15, 8, 1};

/// Why a key cannot be used, or empty when it can.
std::string pskProblem(std::string_view psk);

/// The master key of a key text, from which every connection's keys are derived: scrypt with
/// kMasterKeyCost, made on first use and kept for the life of the process, so a profile with many
/// nodes pays nothing at load and each distinct key is paid for once. Concurrent first uses of
/// one key wait for a single derivation.
Key masterKey(std::string_view psk);
/// Whether masterKey() would answer at once.
bool hasMasterKey(std::string_view psk);
/// The same without the cache, at any cost (for measurements).
Key deriveMasterKey(std::string_view psk, KeyCost cost);

/// A sentence for the log when the key's estimated strength (FRWKeyStrength) is under 80 bits;
/// empty otherwise.
std::string weakKeyWarning(std::string_view psk);

} // namespace ferrow::proto
