// The server's side of the Ferrow protocol over untrusted bytes: the handshake parser (fed raw,
// and wrapped in a well-formed record and ClientHello header so the parser's inner checks and
// the hello's opening are reached), the frame decoder, and (through frames sealed with the
// fuzzer's bytes as plaintext) the Connect and Datagram parsers that only see authenticated input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FerrowHandshake.h"

using namespace ferrow::proto;

namespace {

const std::string kPsk = "fuzzing-key-of-enough-length-0123456789abc";
const std::string kSalt(kSaltSize, '\x5a');

/// Feeds `input` in pieces whose sizes come from `sizes`, as reads from a socket would.
void feedHandshake(std::string_view input, std::uint8_t sizes)
{
    ServerHandshake handshake(kPsk);
    std::string buffer;
    std::size_t step = 1 + sizes % 64;
    while (!input.empty()) {
        const auto piece = input.substr(0, step);
        input.remove_prefix(piece.size());
        buffer.append(piece);
        std::size_t used = 0;
        const auto status = handshake.feed(buffer, used);
        if (used > buffer.size()) {
            __builtin_trap();
        }
        buffer.erase(0, used);
        if (status == ServerHandshake::Status::Bad) {
            return;
        }
        if (status == ServerHandshake::Status::Done) {
            Frame frame;
            while (handshake.opener().next(buffer, used, frame) == DecodeStatus::Frame) {
                buffer.erase(0, used);
            }
            return;
        }
        step = 1 + (step * 7 + sizes) % 97;
    }
}

/// The input as the body of a ClientHello in a record whose lengths hold.
std::string wrappedInRecord(std::string_view input)
{
    const std::size_t body = std::min<std::size_t>(input.size(), 2000);
    std::string record("\x16\x03\x01", 3);
    record.push_back(static_cast<char>((body + 4) >> 8));
    record.push_back(static_cast<char>((body + 4) & 0xff));
    record.push_back('\x01');
    record.push_back(static_cast<char>(body >> 16));
    record.push_back(static_cast<char>((body >> 8) & 0xff));
    record.push_back(static_cast<char>(body & 0xff));
    record.append(input.substr(0, body));
    return record;
}

void decodeFrames(std::string_view input)
{
    const auto keys = deriveClientKeys(kPsk, kSalt);
    FrameOpener opener(keys);
    Frame frame;
    std::size_t used = 0;
    while (opener.next(input, used, frame) == DecodeStatus::Frame) {
        input.remove_prefix(used);
    }
}

/// Seals the input's pieces as frames and decodes them again: whatever went in comes out, and
/// the bodies reach the parsers of authenticated frames.
void roundTrip(std::string_view input)
{
    const auto keys = deriveClientKeys(kPsk, kSalt);
    FrameSealer sealer(keys);
    FrameOpener opener(keys);
    std::string wire;
    std::size_t frames = 0;
    while (!input.empty()) {
        const auto type = static_cast<FrameType>(1 + static_cast<std::uint8_t>(input[0]) % 7);
        const std::size_t length = input.size() > 1 ? static_cast<std::uint8_t>(input[1]) : 0;
        input.remove_prefix(std::min<std::size_t>(2, input.size()));
        const auto body = input.substr(0, length);
        input.remove_prefix(body.size());
        sealer.seal(type, body, wire);
        ++frames;
    }
    std::string_view rest = wire;
    Frame frame;
    std::size_t used = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        if (opener.next(rest, used, frame) != DecodeStatus::Frame) {
            __builtin_trap();
        }
        rest.remove_prefix(used);
        if (frame.type == FrameType::Connect) {
            parseConnect(frame.body);
        } else if (frame.type == FrameType::Datagram) {
            parseDatagram(frame.body);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 4) {
    case 0:
        feedHandshake(input, data[0]);
        break;
    case 3:
        feedHandshake(wrappedInRecord(input), data[0]);
        break;
    case 1:
        decodeFrames(input);
        break;
    default:
        roundTrip(input);
        break;
    }
    return 0;
}
