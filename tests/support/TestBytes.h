#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ferrow::test {

/// `size` deterministic bytes of an endless stream, starting `offset` bytes in: pieces taken at
/// consecutive offsets join into one run, so both ends of a transfer agree without storing it.
std::string patternBytes(std::size_t size, std::size_t offset = 0);
/// The SHA-256 of `bytes`, in lower-case hex.
std::string sha256Hex(std::string_view bytes);

} // namespace ferrow::test
