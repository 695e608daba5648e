// Feeds arbitrary bytes to the helper's line framing and request and reply parsers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "FRWHelperProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    namespace proto = ferrow::helperprotocol;
    std::string buffer(reinterpret_cast<const char*>(data), size);
    std::string line;
    for (int i = 0; i < 64 && proto::takeLine(buffer, line, 4096) == proto::LineStatus::Line; ++i) {
        const auto request = proto::parseRequest(line);
        if (const auto* parsed = std::get_if<proto::Request>(&request)) {
            // Whatever parses must format and parse back to the same request.
            const std::string again = proto::formatRequest(*parsed);
            const auto back = proto::parseRequest(std::string_view(again).substr(0, again.size() - 1));
            const auto* reparsed = std::get_if<proto::Request>(&back);
            if (!reparsed || reparsed->id != parsed->id || reparsed->method != parsed->method ||
                reparsed->start.corePath != parsed->start.corePath) {
                __builtin_trap();
            }
        }
        (void)proto::parseReply(line);
    }
    return 0;
}
