#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FRWSignature.h"

namespace sig = ferrow::signature;

namespace {

std::vector<std::uint8_t> bytesOf(const std::string& text)
{
    return {text.begin(), text.end()};
}

class SignatureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto generated = sig::generateKeyPair();
        ASSERT_TRUE(generated);
        keys = *generated;
        auto other = sig::generateKeyPair();
        ASSERT_TRUE(other);
        otherKeys = *other;
        body = bytesOf(std::string("\x7f"
                                   "ELF pretend executable\n",
                                   24) +
                       std::string(1000, '\0') + "tail");
        auto made = sig::sign(body, "zq.orbel.ferrow-mac", keys.privateKeyPem);
        ASSERT_TRUE(made);
        signedBytes = *made;
    }

    sig::VerifyStatus check(const std::vector<std::uint8_t>& bytes,
                            const std::string& identifier = "zq.orbel.ferrow-mac")
    {
        return sig::verify(bytes, identifier, keys.publicKeyPem);
    }

    sig::KeyPair keys;
    sig::KeyPair otherKeys;
    std::vector<std::uint8_t> body;
    std::vector<std::uint8_t> signedBytes;
};

} // namespace

TEST_F(SignatureTest, RoundTripVerifiesAndKeepsTheBody)
{
    EXPECT_EQ(check(signedBytes), sig::VerifyStatus::Valid);
    const sig::ParsedTrailer parsed = sig::parseTrailer(signedBytes);
    ASSERT_EQ(parsed.status, sig::TrailerStatus::Good);
    EXPECT_EQ(parsed.trailer.identifier, "zq.orbel.ferrow-mac");
    EXPECT_EQ(parsed.trailer.bodySize, body.size());
    EXPECT_EQ(signedBytes.size(), body.size() + 19 + sig::kFixedTrailerSize);
    const auto stripped = sig::bodyOf(signedBytes);
    EXPECT_EQ(std::vector<std::uint8_t>(stripped.begin(), stripped.end()), body);
}

TEST_F(SignatureTest, SigningIsDeterministicSoResigningChangesNothing)
{
    const auto again = sig::sign(sig::bodyOf(signedBytes), "zq.orbel.ferrow-mac", keys.privateKeyPem);
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, signedBytes);
}

TEST_F(SignatureTest, AnyFlippedByteFails)
{
    // Body start, body middle, last body byte, identifier, length, signature, magic.
    const std::size_t n = signedBytes.size();
    const std::vector<std::size_t> positions{
        0, body.size() / 2, body.size() - 1, body.size() + 3, n - 76, n - 72, n - 40, n - 9, n - 1};
    for (const std::size_t at : positions) {
        std::vector<std::uint8_t> tampered = signedBytes;
        tampered[at] ^= 0x01;
        EXPECT_NE(check(tampered), sig::VerifyStatus::Valid) << "flipped byte at " << at;
    }
}

TEST_F(SignatureTest, AnotherIdentifierIsRefused)
{
    EXPECT_EQ(check(signedBytes, "zq.orbel.ferrow-mac.helper"), sig::VerifyStatus::WrongIdentifier);
    EXPECT_EQ(check(signedBytes, "zq.orbel.ferrow-ma"), sig::VerifyStatus::WrongIdentifier);
    EXPECT_EQ(check(signedBytes, ""), sig::VerifyStatus::WrongIdentifier);
}

TEST_F(SignatureTest, AnotherKeyIsRefused)
{
    EXPECT_EQ(sig::verify(signedBytes, "zq.orbel.ferrow-mac", otherKeys.publicKeyPem),
              sig::VerifyStatus::BadSignature);
    const auto byOther = sig::sign(body, "zq.orbel.ferrow-mac", otherKeys.privateKeyPem);
    ASSERT_TRUE(byOther);
    EXPECT_EQ(check(*byOther), sig::VerifyStatus::BadSignature);
}

TEST_F(SignatureTest, UnusablePublicKeysAreRefused)
{
    EXPECT_EQ(sig::verify(signedBytes, "zq.orbel.ferrow-mac", ""), sig::VerifyStatus::BadKey);
    EXPECT_EQ(sig::verify(signedBytes, "zq.orbel.ferrow-mac",
                          "-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n"),
              sig::VerifyStatus::BadKey);
    // A private key is not a public key.
    EXPECT_EQ(sig::verify(signedBytes, "zq.orbel.ferrow-mac", keys.privateKeyPem), sig::VerifyStatus::BadKey);
}

TEST_F(SignatureTest, EveryTruncationFails)
{
    for (std::size_t cut = 1; cut <= sig::kFixedTrailerSize + 20; ++cut) {
        const std::vector<std::uint8_t> truncated(signedBytes.begin(),
                                                  signedBytes.end() - static_cast<long>(cut));
        EXPECT_NE(check(truncated), sig::VerifyStatus::Valid) << "cut " << cut;
    }
}

TEST_F(SignatureTest, UnsignedAndTinyInputsAreUnsigned)
{
    EXPECT_EQ(check(body), sig::VerifyStatus::Unsigned);
    EXPECT_EQ(check({}), sig::VerifyStatus::Unsigned);
    EXPECT_EQ(check(bytesOf("FRWSIGv1")), sig::VerifyStatus::Unsigned);
}

TEST_F(SignatureTest, MovingABoundaryByteBetweenBodyAndIdentifierFails)
{
    // Claim one more identifier byte: the same bytes, read differently, must not verify.
    std::vector<std::uint8_t> shifted = signedBytes;
    const std::size_t lengthAt = shifted.size() - sig::kFixedTrailerSize;
    shifted[body.size() - 1] = 'x';
    shifted[lengthAt] = 20;
    const sig::ParsedTrailer parsed = sig::parseTrailer(shifted);
    ASSERT_EQ(parsed.status, sig::TrailerStatus::Good);
    EXPECT_EQ(parsed.trailer.identifier, "xzq.orbel.ferrow-mac");
    EXPECT_EQ(sig::verify(shifted, "xzq.orbel.ferrow-mac", keys.publicKeyPem),
              sig::VerifyStatus::BadSignature);
}

TEST_F(SignatureTest, LengthsBeyondTheFileOrLimitAreMalformed)
{
    std::vector<std::uint8_t> tiny = bytesOf("id");
    tiny.insert(tiny.end(), {200, 0, 0, 0});
    tiny.insert(tiny.end(), sig::kSignatureSize, 0);
    tiny.insert(tiny.end(), sig::kMagic.begin(), sig::kMagic.end());
    EXPECT_EQ(sig::parseTrailer(tiny).status, sig::TrailerStatus::Malformed);

    std::vector<std::uint8_t> huge = signedBytes;
    huge[huge.size() - sig::kFixedTrailerSize + 3] = 0x80;
    EXPECT_EQ(sig::parseTrailer(huge).status, sig::TrailerStatus::Malformed);
    EXPECT_EQ(check(huge), sig::VerifyStatus::Malformed);

    std::vector<std::uint8_t> zero = signedBytes;
    std::fill_n(zero.end() - static_cast<long>(sig::kFixedTrailerSize), 4, 0);
    EXPECT_EQ(sig::parseTrailer(zero).status, sig::TrailerStatus::Malformed);
}

TEST_F(SignatureTest, IdentifiersWithOddCharactersAreNeitherSignedNorAccepted)
{
    EXPECT_FALSE(sig::sign(body, "", keys.privateKeyPem));
    EXPECT_FALSE(sig::sign(body, "has space", keys.privateKeyPem));
    EXPECT_FALSE(sig::sign(body, "slash/y", keys.privateKeyPem));
    EXPECT_FALSE(sig::sign(body, std::string(256, 'a'), keys.privateKeyPem));
    EXPECT_TRUE(sig::sign(body, std::string(255, 'a'), keys.privateKeyPem));

    std::vector<std::uint8_t> odd = signedBytes;
    odd[body.size()] = '\n';
    EXPECT_EQ(sig::parseTrailer(odd).status, sig::TrailerStatus::Malformed);
}

TEST_F(SignatureTest, SigningNeedsAPrivateEd25519Key)
{
    EXPECT_FALSE(sig::sign(body, "x", keys.publicKeyPem));
    EXPECT_FALSE(sig::sign(body, "x", "not a key"));
    const auto derived = sig::publicKeyOf(keys.privateKeyPem);
    ASSERT_TRUE(derived);
    EXPECT_EQ(*derived, keys.publicKeyPem);
}
