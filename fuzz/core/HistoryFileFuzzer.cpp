#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Gzip.h"
#include "TrafficHistory.h"

using ferrow::core::TrafficHistory;

// A day's history file as found on disk: the bytes as they are, and the bytes as the JSON inside
// a well-formed gzip stream, so the reader's JSON checks are reached too.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TrafficHistory::parseDay("2026-12-01", bytes);
    if (const auto day = TrafficHistory::parseDay("2026-12-01", ferrow::core::gzipCompressed(bytes))) {
        std::size_t entries = 0;
        for (const auto& book : day->books) {
            entries += book.size();
        }
        // Every entry came from an object member, so there are never more than the input's bytes.
        if (entries > size) {
            __builtin_trap();
        }
    }
    return 0;
}
