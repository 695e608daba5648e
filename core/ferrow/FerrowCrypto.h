#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <openssl/types.h>

namespace ferrow::proto {

inline constexpr std::size_t kKeySize = 32;
inline constexpr std::size_t kSaltSize = 32;
inline constexpr std::size_t kTagSize = 16;
inline constexpr std::size_t kNonceSize = 12;

using Key = std::array<std::uint8_t, kKeySize>;

/// HKDF-SHA256 (RFC 5869) of `length` bytes.
std::string hkdfSha256(std::string_view ikm, std::string_view salt, std::string_view info,
                       std::size_t length);
/// The same, filling `out`.
void hkdfSha256(std::string_view ikm, std::string_view salt, std::string_view info,
                std::span<std::uint8_t> out);

/// scrypt (RFC 7914) of a 32-byte key; memory N * r * 128 bytes.
Key scryptKey(std::string_view password, std::string_view salt, std::uint64_t n, std::uint32_t r,
              std::uint32_t p);

/// Cryptographically random bytes; aborts when the system cannot supply them, because a key or
/// salt made from anything weaker must never be used.
void randomBytes(void* out, std::size_t count);
std::string randomBytes(std::size_t count);
/// A uniform value in [low, high].
std::uint32_t randomBetween(std::uint32_t low, std::uint32_t high);

/// AES-256-GCM with a 96-bit nonce made of four zero bytes and a 64-bit big-endian counter,
/// one key per direction of one connection. The cipher context is kept between frames, and
/// handed on to a later stream when this one ends.
class Aead {
public:
    explicit Aead(const Key& key);
    ~Aead();
    Aead(const Aead&) = delete;
    Aead& operator=(const Aead&) = delete;

    /// Appends ciphertext and tag of `plain` to `out`.
    void seal(std::uint64_t counter, std::string_view aad, std::string_view plain, std::string& out);
    /// The same for the plaintext `first` followed by `rest`, without joining them first.
    void seal(std::uint64_t counter, std::string_view aad, char first, std::string_view rest,
              std::string& out);
    /// Writes the plaintext of `sealed` (ciphertext + tag) to `out`; false when it does not authenticate.
    bool open(std::uint64_t counter, std::string_view aad, std::string_view sealed, std::string& out);

private:
    EVP_CIPHER_CTX* sealing();
    EVP_CIPHER_CTX* opening();

    Key m_key{};
    // A direction only ever seals or only ever opens: each context is taken on first use.
    EVP_CIPHER_CTX* m_seal = nullptr;
    EVP_CIPHER_CTX* m_open = nullptr;
};

/// A keystream (AES-256-CTR over zero bytes) consumed two bytes per frame to hide frame lengths.
class LengthMask {
public:
    explicit LengthMask(const Key& key);
    ~LengthMask();
    LengthMask(const LengthMask&) = delete;
    LengthMask& operator=(const LengthMask&) = delete;

    std::uint16_t next();

private:
    void refill();
    EVP_CIPHER_CTX* m_ctx;
    std::array<std::uint8_t, 512> m_stream{};
    std::size_t m_used = 512;
};

} // namespace ferrow::proto
