#include <cstddef>
#include <cstdint>
#include <string_view>

#include "DnsMessage.h"

using namespace ferrow::core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::uint16_t id = size >= 2 ? static_cast<std::uint16_t>((data[0] << 8) | data[1]) : 0;
    const auto answer = dns::parseResponse(bytes, id);
    if (!answer.ok && answer.error.empty()) {
        __builtin_trap();
    }
    if (const auto query = dns::buildQuery(id, bytes, dns::kTypeA); query && query->size() > size + 18) {
        __builtin_trap();
    }
    return 0;
}
