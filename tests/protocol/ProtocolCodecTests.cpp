#include <atomic>
#include <cstring>
#include <future>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "FRWKeyStrength.h"
#include "FerrowClientHello.h"
#include "FerrowHandshake.h"
#include "FirstPacketClassifier.h"

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
    // Test case 2: a salt longer than a SHA-256 block (hashed to make the key) and three blocks out.
    std::string ikm;
    std::string longSalt;
    std::string info;
    for (int i = 0; i < 80; ++i) {
        ikm.push_back(static_cast<char>(i));
        longSalt.push_back(static_cast<char>(0x60 + i));
        info.push_back(static_cast<char>(0xb0 + i));
    }
    EXPECT_EQ(
        hex(hkdfSha256(ikm, longSalt, info, 82)),
        "b11e398dc80327a1c8e7f78c596a49344f012eda2d4efad8a050cc4c19afa97c59045a99cac7827271cb41c65e590e09"
        "da3275600c2f09b8367793a9aca3db71cc30c58179ec3e87c14c01d5c1f3434f1d87");
    // Test case 3: no salt (a block of zeros stands in) and no info.
    EXPECT_EQ(hex(hkdfSha256(unhex("0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b"), {}, {}, 42)),
              "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8");

    // The published vectors of the protocol reference, master key (scrypt) included.
    const Key master = masterKey(kPsk);
    EXPECT_EQ(hex({reinterpret_cast<const char*>(master.data()), 32}),
              "123c04a9a449023ad1301a5968228147faf48df7637201b4417a46a80a5109dc");
    const std::string salt = unhex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    const auto client = deriveClientKeys(kPsk, salt);
    EXPECT_EQ(hex({reinterpret_cast<const char*>(client.aead.data()), 32}),
              "e71b8f744f22f7c3d71f78833f1ac928db3f49f4cdb7d9178f0478d744eeb788");
    EXPECT_EQ(hex({reinterpret_cast<const char*>(client.mask.data()), 32}),
              "350909db37fb62fe2a340628f6222ff5106caa5a869f5c5182099f11b9d4b0d1");
    FrameSealer sealer(client);
    std::string frame;
    sealer.seal(FrameType::Data, "hello", frame);
    EXPECT_EQ(hex(frame), "81622c999fb9b866aefeecc721c8689d72ca9019d1df057b");
    const auto server = deriveServerKeys(
        kPsk, salt, unhex("202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f"));
    EXPECT_EQ(hex({reinterpret_cast<const char*>(server.aead.data()), 32}),
              "d3d66fe285cc2eb45ce4c568b368eecfd2a59a67f1ab0125c65c156ef9d3ff8a");
    EXPECT_EQ(hex({reinterpret_cast<const char*>(server.mask.data()), 32}),
              "3e0f3cb2b986fee1cf0240db5467a99b6ea9952c8623545c09c917f0c7d76663");
}

TEST(ProtocolFrames, RoundTripSizesAndByteByByteFeeding)
{
    const auto keys = deriveClientKeys(kPsk, randomBytes(kSaltSize));
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

TEST(ProtocolFrames, CipherContextsHandedOnToLaterStreamsActAsNewOnes)
{
    // Streams that end in every state leave their contexts to later ones: sealing and opening
    // contexts, masks part-way through their keystream, an open that failed its tag.
    for (int i = 0; i < 8; ++i) {
        const auto other = deriveClientKeys(kPsk, randomBytes(kSaltSize));
        FrameSealer sealer(other);
        FrameOpener opener(other);
        std::string wire;
        sealer.sealData(randomBytes(100 + static_cast<std::size_t>(i) * 7000), wire);
        if (i % 2 == 1) {
            wire[2] = static_cast<char>(wire[2] ^ 0x01); // the first frame's first sealed byte
        }
        Frame frame;
        std::size_t used = 0;
        EXPECT_EQ(opener.next(wire, used, frame), i % 2 == 1 ? DecodeStatus::Bad : DecodeStatus::Frame);
    }
    // Made now, on those contexts, sealers still give the published frame and openers read it.
    const auto keys =
        deriveClientKeys(kPsk, unhex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"));
    for (int i = 0; i < 8; ++i) {
        FrameSealer sealer(keys);
        std::string wire;
        sealer.seal(FrameType::Data, "hello", wire);
        EXPECT_EQ(hex(wire), "81622c999fb9b866aefeecc721c8689d72ca9019d1df057b");
        FrameOpener opener(keys);
        Frame frame;
        std::size_t used = 0;
        ASSERT_EQ(opener.next(wire, used, frame), DecodeStatus::Frame);
        EXPECT_EQ(frame.body, "hello");
    }
}

TEST(ProtocolFrames, TamperedReorderedOrOversizedFramesAreRefused)
{
    const auto keys = deriveClientKeys(kPsk, randomBytes(kSaltSize));
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
    FrameOpener other(deriveClientKeys(kPsk, randomBytes(kSaltSize)));
    std::size_t badCount = 0;
    for (int i = 0; i < 200; ++i) {
        FrameOpener fresh(deriveClientKeys(kPsk, randomBytes(kSaltSize)));
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

TEST(ProtocolHandshake, TenThousandFirstPacketsAreClientHellosThePublishedRulesPassAndTheServerReads)
{
    ReplayWindow window;
    std::set<std::string> randoms;
    std::set<std::size_t> lengths;
    for (std::uint32_t i = 0; i < 10000; ++i) {
        const std::string name = i % 4 == 0 ? std::string() : "n" + std::to_string(i % 97) + ".example.test";
        ClientHandshake client(kPsk, kNow, name);
        const Target target = randomTarget(i);
        const auto packet = client.firstPacket();
        ASSERT_FALSE(ferrow::test::flaggedAsFullyEncrypted(packet))
            << "handshake " << i << " " << hex(packet);
        ASSERT_LE(packet.size(), 600U) << "the first packet must fit one segment";
        // A well-formed record: its header announces the rest; SNI is there exactly when named.
        ASSERT_EQ(clientHelloBodySize(packet), packet.size() - kRecordHeaderSize);
        const auto fields = parseClientHello(std::string_view(packet).substr(kRecordHeaderSize));
        ASSERT_TRUE(fields);
        ASSERT_EQ(packet.find(name.empty() ? "example.test" : name) != std::string::npos, !name.empty());
        randoms.insert(std::string(fields->random));
        lengths.insert(packet.size());

        // Every one of them is understood by the server, the target behind it included.
        ServerHandshake server(kPsk);
        const auto sent = packet + client.connectFrame(connectBody(Network::Tcp, target));
        std::size_t used = 0;
        ASSERT_EQ(serve(server, sent, used), ServerHandshake::Status::Done);
        ASSERT_EQ(used, packet.size());
        ASSERT_TRUE(server.admit(window, kNow));
        Frame frame;
        std::size_t frameUsed = 0;
        ASSERT_EQ(server.opener().next(std::string_view(sent).substr(used), frameUsed, frame),
                  DecodeStatus::Frame);
        ASSERT_EQ(used + frameUsed, sent.size());
        const auto request = parseConnect(frame.body);
        ASSERT_TRUE(request);
        ASSERT_EQ(request->target.toString(), target.toString());
    }
    EXPECT_EQ(randoms.size(), 10000U);
    EXPECT_EQ(lengths.size(), 3U) << "no name, and names of two lengths";

    // The rules are not vacuous: uniformly random packets (what a plain AEAD stream sends
    // first) are flagged most of the time.
    std::size_t flagged = 0;
    for (int i = 0; i < 1000; ++i) {
        flagged += ferrow::test::flaggedAsFullyEncrypted(randomBytes(200 + i % 300));
    }
    EXPECT_GT(flagged, 900U);
}

TEST(ProtocolHandshake, HandshakesOnSeveralThreadsShareCipherContextsSafely)
{
    // Contexts move between threads as streams do: made where a handshake runs, handed back
    // where its relay ends. Each thread here does both, against the others.
    constexpr int kThreads = 4;
    constexpr int kRounds = 500;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&failures, t] {
            for (int i = 0; i < kRounds; ++i) {
                ClientHandshake client(kPsk, kNow);
                std::string packet = client.firstPacket();
                const std::string body = "thread " + std::to_string(t) + " round " + std::to_string(i);
                packet += client.connectFrame(body);
                ServerHandshake server(kPsk);
                std::size_t used = 0;
                if (server.feed(packet, used) != ServerHandshake::Status::Done) {
                    ++failures;
                    continue;
                }
                Frame frame;
                std::size_t consumed = 0;
                const std::string_view rest = std::string_view(packet).substr(used);
                if (server.opener().next(rest, consumed, frame) != DecodeStatus::Frame ||
                    frame.body != body) {
                    ++failures;
                    continue;
                }
                const auto accept = server.acceptPacket();
                if (client.next(accept, consumed, frame) != DecodeStatus::Frame ||
                    frame.type != FrameType::Accept) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
}

TEST(ProtocolHandshake, PooledHelloWithoutTargetThenAcceptAndFrames)
{
    ClientHandshake client(kPsk, kNow);
    const auto packet = client.firstPacket();
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
    const auto packet = client.firstPacket();
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
    // A flipped bit anywhere in the record's framing, the salt (random) or the hello (session
    // id) is refused; the cover's suites and extensions carry nothing.
    constexpr std::size_t kCarrying = kRecordHeaderSize + 4 + 2 + kSaltSize + 1 + 32;
    std::size_t refused = 0;
    for (std::size_t i = 0; i < kCarrying; ++i) {
        std::string bad = packet;
        bad[i] = static_cast<char>(bad[i] ^ (1 << (i % 8)));
        ServerHandshake server(kPsk);
        refused += server.feed(bad, used) != ServerHandshake::Status::Done;
    }
    EXPECT_EQ(refused, kCarrying);
    // A TLS ClientHello that is not ours, or a record too large for one, is refused at once.
    ServerHandshake other(kPsk);
    EXPECT_EQ(
        other.feed(clientHelloRecord(randomBytes(32), randomBytes(32), randomBytes(32), "a.example.test"),
                   used),
        ServerHandshake::Status::Bad);
    ServerHandshake huge(kPsk);
    EXPECT_EQ(huge.feed(std::string("\x16\x03\x01\x10\x00", 5), used), ServerHandshake::Status::Bad);
}

namespace {

/// A salt that falls in shard 0, distinct by `n`.
std::string saltNumber(std::uint32_t n)
{
    std::string salt(kSaltSize, '\0');
    std::memcpy(salt.data(), &n, sizeof n);
    salt[4] = 1;
    return salt;
}

} // namespace

TEST(ProtocolReplay, SaltsAreRefusedAgainForAsLongAsTheirTimeIsInsideTheWindow)
{
    ReplayWindow window;
    ASSERT_EQ(window.window(), std::chrono::seconds(30));
    const std::string salt = randomBytes(kSaltSize);
    EXPECT_TRUE(window.admit(salt, kNow, kNow));
    EXPECT_FALSE(window.admit(salt, kNow, kNow));                        // replay
    EXPECT_FALSE(window.admit(salt, kNow, kNow + 30));                   // replay at the window's end
    EXPECT_FALSE(window.admit(randomBytes(kSaltSize), kNow - 31, kNow)); // stale
    EXPECT_FALSE(window.admit(randomBytes(kSaltSize), kNow + 31, kNow)); // future
    EXPECT_TRUE(window.admit(randomBytes(kSaltSize), kNow - 30, kNow));

    // Dated at the future edge: its time stays inside the window for two windows of the server's
    // clock, and its salt must be remembered for all of that.
    const std::string ahead = randomBytes(kSaltSize);
    EXPECT_TRUE(window.admit(ahead, kNow + 30, kNow));
    EXPECT_FALSE(window.admit(ahead, kNow + 30, kNow + 31));
    EXPECT_FALSE(window.admit(ahead, kNow + 30, kNow + 59));
    EXPECT_FALSE(window.admit(ahead, kNow + 30, kNow + 60));
    EXPECT_FALSE(window.admit(ahead, kNow + 30, kNow + 61)) << "stale by its time from here on";

    // Salts an earlier run accepted are refused too, and after a restart that lost them every
    // hello dated before the given time is.
    ReplayWindow restarted;
    restarted.remember(salt, kNow);
    EXPECT_FALSE(restarted.admit(salt, kNow, kNow + 10));
    restarted.refuseBefore(kNow + 31);
    EXPECT_FALSE(restarted.admit(randomBytes(kSaltSize), kNow + 30, kNow + 30));
    EXPECT_TRUE(restarted.admit(randomBytes(kSaltSize), kNow + 31, kNow + 31));

    ClientHandshake client(kPsk, kNow);
    const auto packet = client.firstPacket();
    ReplayWindow serverWindow;
    std::size_t used = 0;
    ServerHandshake first(kPsk);
    ASSERT_EQ(first.feed(packet, used), ServerHandshake::Status::Done);
    EXPECT_TRUE(first.admit(serverWindow, kNow + 5));
    ServerHandshake replayed(kPsk);
    ASSERT_EQ(replayed.feed(packet, used), ServerHandshake::Status::Done);
    EXPECT_FALSE(replayed.admit(serverWindow, kNow + 6));
}

TEST(ProtocolReplay, MemoryIsBoundedAndStaleSaltsGoAWholeBucketAtATime)
{
    // A million salts in fingerprints of 8 bytes: at most 32 bytes each, tables included.
    ReplayWindow window;
    const std::string salts = randomBytes(std::size_t{1'000'000} * kSaltSize);
    for (std::size_t i = 0; i < 1'000'000; ++i) {
        ASSERT_TRUE(
            window.admit(std::string_view(salts).substr(i * kSaltSize, kSaltSize), kNow + i % 20, kNow));
    }
    EXPECT_EQ(window.size(), 1'000'000U);
    EXPECT_LE(window.memoryBytes(), std::size_t{32'000'000});
    EXPECT_FALSE(window.admit(std::string_view(salts).substr(0, kSaltSize), kNow, kNow + 1));
    // Once every one of them is stale, their buckets are gone and new hellos come in.
    EXPECT_TRUE(window.admit(randomBytes(kSaltSize), kNow + 100, kNow + 100));
    for (std::uint32_t i = 0; i < 64; ++i) {
        std::string salt = randomBytes(kSaltSize);
        salt[8] = static_cast<char>(i);
        window.admit(salt, kNow + 100, kNow + 100);
    }
    EXPECT_EQ(window.size(), 65U);

    // A full shard refuses rather than forgets; it takes salts again once its own expire.
    ReplayWindow small(std::chrono::seconds(30), 16 * 2);
    EXPECT_TRUE(small.admit(saltNumber(1), kNow, kNow));
    EXPECT_TRUE(small.admit(saltNumber(2), kNow, kNow));
    EXPECT_FALSE(small.admit(saltNumber(3), kNow, kNow));
    EXPECT_FALSE(small.admit(saltNumber(1), kNow, kNow + 1));
    EXPECT_TRUE(small.admit(saltNumber(4), kNow + 45, kNow + 45)) << "room again once they expire";
}

TEST(ProtocolKeys, ShortKeysAreRefusedAndHandMadeOnesCalledWeak)
{
    EXPECT_FALSE(pskProblem("").empty());
    EXPECT_NE(pskProblem("psk-goes-here").find("too short"), std::string::npos);
    EXPECT_FALSE(pskProblem(std::string(15, 'k')).empty());
    EXPECT_TRUE(pskProblem(std::string(16, 'k')).empty());
    EXPECT_TRUE(pskProblem(kPsk).empty());

    // Generated keys are strong, whatever their letters happen to be.
    for (int i = 0; i < 200; ++i) {
        static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
        std::string text = randomBytes(43);
        for (auto& c : text) {
            c = alphabet[static_cast<unsigned char>(c) & 63];
        }
        EXPECT_GE(ferrow::estimatedKeyBits(text), 150.0) << text;
        EXPECT_TRUE(weakKeyWarning(text).empty()) << text;
    }
    EXPECT_GE(ferrow::estimatedKeyBits(kPsk), 150.0);
    // Hand-made ones: repeats, words, runs and sequences are worth little.
    for (const char* weak :
         {"summer2024summer", "correcthorsebatterystaple", "Password123456789", "aaaaaaaaaaaaaaaaaaaaaaaa",
          "abcdefghijklmnopqrstuvwxyz0123456789", "qwertyuiopasdfgh"}) {
        EXPECT_LT(ferrow::estimatedKeyBits(weak), ferrow::kWeakKeyBits) << weak;
        EXPECT_NE(weakKeyWarning(weak).find("hand-made"), std::string::npos) << weak;
    }
}

TEST(ProtocolKeys, ConcurrentFirstUsesShareOneMasterKeyAndTheCostIsPartOfIt)
{
    const std::string psk = randomBytes(12) + "-fresh-key-text";
    std::vector<std::future<Key>> uses;
    for (int i = 0; i < 4; ++i) {
        uses.push_back(std::async(std::launch::async, [&psk] { return masterKey(psk); }));
    }
    const Key expected = deriveMasterKey(psk, kMasterKeyCost);
    for (auto& use : uses) {
        EXPECT_EQ(use.get(), expected);
    }
    EXPECT_NE(masterKey(psk + "x"), expected);
    // A cheaper cost gives another key: the cost is part of the key schedule.
    EXPECT_NE(deriveMasterKey(psk, {1024, 8, 1}), expected);
}
