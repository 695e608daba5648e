#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ferrow::core {

/// `bytes` in the gzip format (so `zcat` reads the file).
std::string gzipCompressed(std::string_view bytes);

/// The expanded bytes of gzip data, or nothing when the data is damaged, truncated or expands
/// past `limit` bytes.
std::optional<std::string> gzipExpanded(std::string_view bytes, std::size_t limit);

} // namespace ferrow::core
