#include "DnsMessage.h"

#include <cstring>

namespace ferrow::core::dns {

std::optional<std::string> buildQuery(std::uint16_t id, std::string_view name, std::uint16_t type)
{
    if (name.empty() || name.size() > 253) {
        return std::nullopt;
    }
    std::string out;
    out += static_cast<char>(id >> 8);
    out += static_cast<char>(id & 0xff);
    out += std::string("\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10); // RD, one question
    std::size_t start = 0;
    while (start < name.size()) {
        auto dot = name.find('.', start);
        if (dot == std::string_view::npos) {
            dot = name.size();
        }
        const auto label = name.substr(start, dot - start);
        if (label.empty() || label.size() > 63) {
            return std::nullopt;
        }
        out += static_cast<char>(label.size());
        out += label;
        start = dot + 1;
    }
    out += '\0';
    out += static_cast<char>(type >> 8);
    out += static_cast<char>(type & 0xff);
    out += std::string("\x00\x01", 2);
    return out;
}

namespace {

struct Reader {
    std::string_view bytes;
    std::size_t offset = 0;
    bool failed = false;

    std::uint16_t u16()
    {
        if (offset + 2 > bytes.size()) {
            failed = true;
            return 0;
        }
        const auto value = static_cast<std::uint16_t>((static_cast<std::uint8_t>(bytes[offset]) << 8) |
                                                      static_cast<std::uint8_t>(bytes[offset + 1]));
        offset += 2;
        return value;
    }

    std::uint32_t u32()
    {
        const std::uint32_t high = u16();
        return (high << 16) | u16();
    }

    // Names are skipped, not decoded: answers are matched by type, not by owner name.
    void skipName()
    {
        for (int labels = 0; labels < 128; ++labels) {
            if (offset >= bytes.size()) {
                failed = true;
                return;
            }
            const auto length = static_cast<std::uint8_t>(bytes[offset]);
            if (length == 0) {
                ++offset;
                return;
            }
            if ((length & 0xc0) == 0xc0) {
                offset += 2;
                if (offset > bytes.size()) {
                    failed = true;
                }
                return;
            }
            if ((length & 0xc0) != 0) {
                failed = true;
                return;
            }
            offset += 1u + length;
        }
        failed = true;
    }
};

} // namespace

Answer parseResponse(std::string_view bytes, std::uint16_t id)
{
    Answer answer;
    Reader reader{bytes};
    const auto responseId = reader.u16();
    const auto flags = reader.u16();
    const auto questions = reader.u16();
    const auto answers = reader.u16();
    reader.u16();
    reader.u16();
    if (reader.failed) {
        answer.error = "truncated DNS response";
        return answer;
    }
    if (responseId != id || (flags & 0x8000) == 0) {
        answer.error = "not a response to our query";
        return answer;
    }
    const int rcode = flags & 0x000f;
    if (rcode == 3) {
        answer.error = "no such name";
        return answer;
    }
    if (rcode != 0) {
        answer.error = "DNS server answered with error code " + std::to_string(rcode);
        return answer;
    }
    for (int i = 0; i < questions && !reader.failed; ++i) {
        reader.skipName();
        reader.u16();
        reader.u16();
    }
    for (int i = 0; i < answers && !reader.failed; ++i) {
        reader.skipName();
        const auto type = reader.u16();
        const auto klass = reader.u16();
        const auto ttl = reader.u32();
        const auto length = reader.u16();
        if (reader.failed || reader.offset + length > bytes.size()) {
            reader.failed = true;
            break;
        }
        if (klass == 1 && ((type == kTypeA && length == 4) || (type == kTypeAAAA && length == 16))) {
            IpAddr address;
            address.v6 = type == kTypeAAAA;
            std::memcpy(address.bytes.data(), bytes.data() + reader.offset, length);
            // An AAAA record may carry an IPv4 address in mapped form; it leads where that does.
            answer.addresses.push_back(address.folded());
            answer.ttl = answer.addresses.size() == 1 ? ttl : std::min(answer.ttl, ttl);
        }
        reader.offset += length;
    }
    if (reader.failed && answer.addresses.empty()) {
        answer.error = "truncated DNS response";
        return answer;
    }
    answer.ok = true;
    return answer;
}

} // namespace ferrow::core::dns
