#include "FerrowHandshake.h"
#include "FirstPacketClassifier.h"

#include <gtest/gtest.h>
#include <set>

using namespace ferrow::proto;

namespace {

const std::string kPsk = "dGhpcy1pcy1hLXRlc3Qta2V5LW9mLTMyLWJ5dGVzLi4";
constexpr std::uint64_t kNow = 1'800'000'000;

std::string hex(std::string_view bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out.push_back(digits[static_cast<unsigned char>(c) >> 4]);
        out.push_back(digits[static_cast<unsigned char>(c) & 15]);
    }
    return out;
}

std::string unhex(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

Target randomTarget(std::uint32_t i)
{
    switch (i % 3) {
    case 0:
        return *Target::fromHost("203.0.113." + std::to_string(i % 250),
                                 static_cast<std::uint16_t>(1 + i % 65535));
    case 1:
        return *Target::fromHost("2001:db8::" + std::to_string(i % 9999), 443);
    default:
        return *Target::fromHost(std::string(1 + randomBetween(0, 254), 'a'), 80);
    }
}

/// Runs a server handshake over `packet`; the status after all of it.
ServerHandshake::Status serve(ServerHandshake& server, std::string_view packet, std::size_t& used)
{
    return server.feed(packet, used);
}

} // namespace

TEST(ProtocolVectors, HkdfMatchesRfc5869AndKeyScheduleIsStable)
{
    // RFC 5869, test case 1.
    const auto okm = hkdfSha256(unhex("0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b"),
                                unhex("000102030405060708090a0b0c"), unhex("f0f1f2f3f4f5f6f7f8f9"), 42);
    EXPECT_EQ(hex(okm),
              "3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865");

    // The published vectors of the protocol reference.
    const std::string salt = unhex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    const auto client = deriveClientKeys(kPsk, salt);
    EXPECT_EQ(hex({reinterpret_cast<const char*>(client.keys.aead.data()), 32}),
              "bf57a454b9eff22cd187fa4491b668193839a13d6adb591ff604c4c23af531ff");
    EXPECT_EQ(hex({reinterpret_cast<const char*>(client.keys.mask.data()), 32}),
              "2a11e42a25652fecd059e99a84540b7b67416d60f24e2adbd6b659781063c4bf");
    EXPECT_EQ(client.leadingFiller, 57U);
    FrameSealer sealer(client.keys);
    std::string frame;
    sealer.seal(FrameType::Data, "hello", frame);
    EXPECT_EQ(hex(frame), "bc9979d4a27f084367b43b51cc3e968148fda72a0670a16d");
    const auto server = deriveServerKeys(
        kPsk, salt, unhex("202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f"));
    EXPECT_EQ(hex({reinterpret_cast<const char*>(server.aead.data()), 32}),
              "60a28cfa2cde9631324eae56f92f0e8c3743a7e181dcdc36ad500196b13b4968");
    EXPECT_EQ(hex({reinterpret_cast<const char*>(server.mask.data()), 32}),
              "fe8068f2bf97aa9704e6d817025c596f0d557d7a5c92cac6db917dbc0dcf4a0c");
}

TEST(ProtocolFrames, RoundTripSizesAndByteByByteFeeding)
{
    const auto keys = deriveClientKeys(kPsk, randomBytes(kSaltSize)).keys;
    FrameSealer sealer(keys);
    FrameOpener opener(keys);
    std::string wire;
    std::vector<std::string> sent;
    for (const std::size_t size : {0UL, 1UL, 15UL, 16UL, 1000UL, kMaxDataChunk - 1, kMaxDataChunk,
                                   kMaxDataChunk + 1, 3 * kMaxDataChunk + 7}) {
        sent.push_back(randomBytes(size));
        sealer.sealData(sent.back(), wire);
    }
    sealer.seal(FrameType::Fin, "", wire);
    std::string received;
    std::string pending;
    bool fin = false;
    for (const char c : wire) { // one byte at a time: every split point
        pending.push_back(c);
        Frame frame;
        std::size_t used = 0;
        const auto status = opener.next(pending, used, frame);
        ASSERT_NE(status, DecodeStatus::Bad);
        pending.erase(0, used);
        if (status == DecodeStatus::Frame) {
            if (frame.type == FrameType::Fin) {
                fin = true;
            } else {
                ASSERT_EQ(frame.type, FrameType::Data);
                ASSERT_LE(frame.body.size(), kMaxDataChunk);
                received += frame.body;
            }
        }
    }
    std::string all;
    for (const auto& s : sent) {
        all += s;
    }
    EXPECT_TRUE(fin);
    EXPECT_TRUE(pending.empty());
    EXPECT_EQ(received, all);
}

TEST(ProtocolFrames, TamperedReorderedOrOversizedFramesAreRefused)
{
    const auto keys = deriveClientKeys(kPsk, randomBytes(kSaltSize)).keys;
    std::string first;
    std::string second;
    {
        FrameSealer sealer(keys);
        sealer.seal(FrameType::Data, "first", first);
        sealer.seal(FrameType::Data, "second", second);
    }
    for (std::size_t i = 0; i < first.size(); ++i) {
        std::string bad = first;
        bad[i] = static_cast<char>(bad[i] ^ 0x01);
        FrameOpener opener(keys);
        Frame frame;
        std::size_t used = 0;
        const auto status = opener.next(bad, used, frame);
        // A flipped length bit may announce a longer frame than has arrived; it never opens.
        EXPECT_NE(status, DecodeStatus::Frame) << "byte " << i;
    }
    FrameOpener reordered(keys);
    Frame frame;
    std::size_t used = 0;
    EXPECT_NE(reordered.next(second, used, frame), DecodeStatus::Frame);

    // Lengths are masked: the two frames' length fields differ from their real lengths.
    const std::uint16_t masked = static_cast<std::uint16_t>((static_cast<std::uint8_t>(first[0]) << 8) |
                                                            static_cast<std::uint8_t>(first[1]));
    EXPECT_NE(masked, 6);

    // A decoder asked for an oversized frame refuses at once instead of buffering it.
    std::string wrongKey = first;
    FrameOpener other(deriveClientKeys(kPsk, randomBytes(kSaltSize)).keys);
    std::size_t badCount = 0;
    for (int i = 0; i < 200; ++i) {
        FrameOpener fresh(deriveClientKeys(kPsk, randomBytes(kSaltSize)).keys);
        const auto status = fresh.next(wrongKey, used, frame);
        EXPECT_NE(status, DecodeStatus::Frame);
        badCount += status == DecodeStatus::Bad;
    }
    EXPECT_GT(badCount, 100U); // most random lengths exceed the limit
}

TEST(ProtocolTargets, EncodingAndMalformedTargets)
{
    for (const auto& host : {"192.0.2.7", "2001:db8::1", "[2001:db8::2]", "example.com"}) {
        const auto target = Target::fromHost(host, 8443);
        ASSERT_TRUE(target);
        const auto request = parseConnect(connectBody(Network::Udp, *target));
        ASSERT_TRUE(request);
        EXPECT_EQ(request->network, Network::Udp);
        EXPECT_EQ(request->target.toString(), target->toString());
    }
    EXPECT_FALSE(Target::fromHost("", 1));
    EXPECT_FALSE(Target::fromHost(std::string(256, 'a'), 1));
    EXPECT_FALSE(parseConnect(""));
    EXPECT_FALSE(parseConnect(std::string("\x01\x03\x00\x00\x50", 5))); // empty name
    EXPECT_FALSE(parseConnect(std::string("\x01\x03\x03"
                                          "a\0b"
                                          "\x00\x50",
                                          8)));                                         // NUL in the name
    EXPECT_FALSE(parseConnect(std::string("\x01\x01\x7f\x00", 4)));                     // truncated
    EXPECT_FALSE(parseConnect(std::string("\x09\x01\x7f\x00\x00\x01\x00\x50", 8)));     // unknown network
    EXPECT_FALSE(parseConnect(std::string("\x01\x01\x7f\x00\x00\x01\x00\x50\x00", 9))); // trailing byte
    const auto datagram = parseDatagram(datagramBody(*Target::fromHost("10.0.0.1", 53), "query"));
    ASSERT_TRUE(datagram);
    EXPECT_EQ(datagram->payload, "query");
}

TEST(ProtocolHandshake, TenThousandFirstPacketsPassThePublishedClassifierAndVary)
{
    ReplayWindow window;
    std::set<std::string> prefixes;
    std::set<std::size_t> lengths;
    std::size_t low = 0;
    for (std::uint32_t i = 0; i < 10000; ++i) {
        ClientHandshake client(kPsk, kNow);
        const Target target = randomTarget(i);
        const auto packet = client.firstPacket(connectBody(Network::Tcp, target));
        ASSERT_FALSE(ferrow::test::flaggedAsFullyEncrypted(packet))
            << "handshake " << i << " " << hex(packet);
        ASSERT_LE(packet.size(), 1400U) << "the first packet must fit one segment";
        prefixes.insert(packet.substr(0, 2));
        lengths.insert(packet.size());
        low += bitDensity(packet) < 4.0;

        // Every one of them is understood by the server, target included.
        ServerHandshake server(kPsk);
        std::size_t used = 0;
        ASSERT_EQ(serve(server, packet, used), ServerHandshake::Status::Done);
        ASSERT_TRUE(server.admit(window, kNow));
        Frame frame;
        std::size_t frameUsed = 0;
        ASSERT_EQ(server.opener().next(std::string_view(packet).substr(used), frameUsed, frame),
                  DecodeStatus::Frame);
        ASSERT_EQ(used + frameUsed, packet.size());
        const auto request = parseConnect(frame.body);
        ASSERT_TRUE(request);
        ASSERT_EQ(request->target.toString(), target.toString());
    }
    // No constant prefix and no fixed length; both density sides are used.
    EXPECT_GT(prefixes.size(), 9000U);
    EXPECT_GT(lengths.size(), 300U);
    EXPECT_GT(low, 4000U);
    EXPECT_LT(low, 6000U);

    // The classifier is not vacuous: uniformly random packets (what a plain AEAD stream sends
    // first) are flagged most of the time.
    std::size_t flagged = 0;
    for (int i = 0; i < 1000; ++i) {
        flagged += ferrow::test::flaggedAsFullyEncrypted(randomBytes(200 + i % 300));
    }
    EXPECT_GT(flagged, 900U);
}

TEST(ProtocolHandshake, PooledHelloWithoutTargetThenAcceptAndFrames)
{
    ClientHandshake client(kPsk, kNow);
    const auto packet = client.firstPacket(std::nullopt);
    EXPECT_FALSE(ferrow::test::flaggedAsFullyEncrypted(packet));
    ServerHandshake server(kPsk);
    std::size_t used = 0;
    ASSERT_EQ(server.feed(packet, used), ServerHandshake::Status::Done);
    EXPECT_EQ(used, packet.size());

    std::string reply = server.acceptPacket();
    server.sealer().sealData("answer", reply);
    std::string fromClient =
        client.connectFrame(connectBody(Network::Tcp, *Target::fromHost("example.org", 80)));
    client.sealer().seal(FrameType::Fin, "", fromClient);

    Frame frame;
    std::string_view rest = reply;
    ASSERT_EQ(client.next(rest, used, frame), DecodeStatus::Frame);
    EXPECT_EQ(frame.type, FrameType::Accept);
    rest.remove_prefix(used);
    ASSERT_EQ(client.next(rest, used, frame), DecodeStatus::Frame);
    EXPECT_EQ(frame.body, "answer");

    rest = fromClient;
    ASSERT_EQ(server.opener().next(rest, used, frame), DecodeStatus::Frame);
    EXPECT_EQ(frame.type, FrameType::Connect);
    rest.remove_prefix(used);
    ASSERT_EQ(server.opener().next(rest, used, frame), DecodeStatus::Frame);
    EXPECT_EQ(frame.type, FrameType::Fin);
}

TEST(ProtocolHandshake, WrongKeyTruncatedAndRandomBytesNeverAuthenticate)
{
    ClientHandshake client(kPsk, kNow);
    const auto packet = client.firstPacket(std::nullopt);
    std::size_t used = 0;
    for (int i = 0; i < 100; ++i) {
        ServerHandshake wrongKey(kPsk + "x");
        EXPECT_NE(wrongKey.feed(packet, used), ServerHandshake::Status::Done);
        ServerHandshake random(kPsk);
        EXPECT_NE(random.feed(randomBytes(randomBetween(0, 2000)), used), ServerHandshake::Status::Done);
    }
    for (std::size_t cut = 0; cut < packet.size(); cut += 7) {
        ServerHandshake truncated(kPsk);
        EXPECT_EQ(truncated.feed(std::string_view(packet).substr(0, cut), used),
                  ServerHandshake::Status::NeedMore);
    }
    // A flipped bit anywhere in the salt or hello is refused (filler bytes carry nothing).
    std::size_t refused = 0;
    for (std::size_t i = 0; i < kSaltSize; ++i) {
        std::string bad = packet;
        bad[i] = static_cast<char>(bad[i] ^ 0x80);
        ServerHandshake server(kPsk);
        refused += server.feed(bad, used) != ServerHandshake::Status::Done;
    }
    EXPECT_EQ(refused, kSaltSize);
}

TEST(ProtocolReplay, SaltsInsideTheWindowAreRefusedTwiceAndStaleTimesAlways)
{
    ReplayWindow window(std::chrono::seconds(120));
    const std::string salt = randomBytes(kSaltSize);
    EXPECT_TRUE(window.admit(salt, kNow, kNow));
    EXPECT_FALSE(window.admit(salt, kNow, kNow));                         // replay
    EXPECT_FALSE(window.admit(salt, kNow, kNow + 100));                   // replay later inside the window
    EXPECT_FALSE(window.admit(randomBytes(kSaltSize), kNow - 121, kNow)); // stale
    EXPECT_FALSE(window.admit(randomBytes(kSaltSize), kNow + 121, kNow)); // future
    EXPECT_TRUE(window.admit(randomBytes(kSaltSize), kNow - 120, kNow));
    // Once the time is out of the window the salt may be forgotten; its hello is stale anyway.
    EXPECT_FALSE(window.admit(salt, kNow, kNow + 241));
    EXPECT_TRUE(window.admit(randomBytes(kSaltSize), kNow + 241, kNow + 241));
    EXPECT_EQ(window.size(), 1U);

    // A full window refuses rather than forgets.
    ReplayWindow small(std::chrono::seconds(120), 2);
    const std::string oldest = randomBytes(kSaltSize);
    EXPECT_TRUE(small.admit(oldest, kNow, kNow));
    EXPECT_TRUE(small.admit(randomBytes(kSaltSize), kNow, kNow));
    EXPECT_FALSE(small.admit(randomBytes(kSaltSize), kNow, kNow));
    EXPECT_FALSE(small.admit(oldest, kNow, kNow + 1));
    EXPECT_TRUE(small.admit(randomBytes(kSaltSize), kNow + 241, kNow + 241)) << "room again once they expire";

    ClientHandshake client(kPsk, kNow);
    const auto packet = client.firstPacket(std::nullopt);
    ReplayWindow serverWindow;
    std::size_t used = 0;
    ServerHandshake first(kPsk);
    ASSERT_EQ(first.feed(packet, used), ServerHandshake::Status::Done);
    EXPECT_TRUE(first.admit(serverWindow, kNow + 5));
    ServerHandshake replayed(kPsk);
    ASSERT_EQ(replayed.feed(packet, used), ServerHandshake::Status::Done);
    EXPECT_FALSE(replayed.admit(serverWindow, kNow + 6));
}

TEST(ProtocolKeys, ShortKeysAreRefused)
{
    EXPECT_FALSE(pskProblem("").empty());
    EXPECT_NE(pskProblem("psk-goes-here").find("too short"), std::string::npos);
    EXPECT_FALSE(pskProblem(std::string(15, 'k')).empty());
    EXPECT_TRUE(pskProblem(std::string(16, 'k')).empty());
    EXPECT_TRUE(pskProblem(kPsk).empty());
}
