// SHA256_Init and its kin are deprecated in OpenSSL 3 but kept: unlike an EVP digest context,
// which allocates its provider context again on every init, they need no heap at all.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "FerrowCrypto.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <sys/random.h>
#include <vector>

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

namespace ferrow::proto {

namespace {

[[noreturn]] void cryptoFailure(const char* what)
{
    // Only a broken OpenSSL installation gets here; carrying on could leak plaintext.
    std::fprintf(stderr, "ferrow: OpenSSL failure in %s\n", what);
    std::abort();
}

void check(int ok, const char* what)
{
    if (ok != 1) {
        cryptoFailure(what);
    }
}

std::array<unsigned char, kNonceSize> nonceFor(std::uint64_t counter)
{
    std::array<unsigned char, kNonceSize> nonce{};
    for (int i = 0; i < 8; ++i) {
        nonce[4 + i] = static_cast<unsigned char>(counter >> (56 - 8 * i));
    }
    return nonce;
}

const unsigned char* bytes(std::string_view text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

/// Algorithms fetched once: an implicit fetch on every context set-up is a provider lookup under
/// a lock, which costs more than the handshake's own cryptography.
struct Algorithms {
    EVP_KDF* scrypt = EVP_KDF_fetch(nullptr, "SCRYPT", nullptr);
    EVP_CIPHER* gcm = EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr);
    EVP_CIPHER* ctr = EVP_CIPHER_fetch(nullptr, "AES-256-CTR", nullptr);
};

const Algorithms& algorithms()
{
    static const Algorithms fetched = [] {
        Algorithms result;
        if (!result.scrypt || !result.gcm || !result.ctr) {
            cryptoFailure("algorithm fetch");
        }
        return result;
    }();
    return fetched;
}

} // namespace

namespace {

constexpr std::size_t kSha256Size = 32;
constexpr std::size_t kSha256Block = 64;
using Digest = std::array<unsigned char, kSha256Size>;

/// HMAC-SHA256 of the concatenated `parts`, with the plain SHA-256 functions on the stack: the
/// KDF interface looks its digest and MAC up by name on every call, and an EVP digest context
/// allocates on every init; both cost more than the hashing.
template <std::size_t N>
Digest hmacSha256(std::string_view key, const std::array<std::string_view, N>& parts)
{
    std::array<unsigned char, kSha256Block> block{};
    if (key.size() > kSha256Block) {
        SHA256(reinterpret_cast<const unsigned char*>(key.data()), key.size(), block.data());
    } else {
        std::copy(key.begin(), key.end(), block.begin());
    }
    std::array<unsigned char, kSha256Block> pad{};
    SHA256_CTX ctx;
    const auto hash = [&](unsigned char xorWith, const auto& feed, Digest& out) {
        for (std::size_t i = 0; i < kSha256Block; ++i) {
            pad[i] = static_cast<unsigned char>(block[i] ^ xorWith);
        }
        check(SHA256_Init(&ctx), "HMAC init");
        check(SHA256_Update(&ctx, pad.data(), pad.size()), "HMAC pad");
        feed();
        check(SHA256_Final(out.data(), &ctx), "HMAC final");
    };
    Digest inner{};
    hash(
        0x36,
        [&] {
            for (const auto part : parts) {
                check(SHA256_Update(&ctx, part.data(), part.size()), "HMAC data");
            }
        },
        inner);
    Digest outer{};
    hash(
        0x5c, [&] { check(SHA256_Update(&ctx, inner.data(), inner.size()), "HMAC inner"); }, outer);
    OPENSSL_cleanse(block.data(), block.size());
    OPENSSL_cleanse(pad.data(), pad.size());
    OPENSSL_cleanse(&ctx, sizeof ctx);
    return outer;
}

std::string_view view(const Digest& digest)
{
    return {reinterpret_cast<const char*>(digest.data()), digest.size()};
}

} // namespace

void hkdfSha256(std::string_view ikm, std::string_view salt, std::string_view info,
                std::span<std::uint8_t> out)
{
    if (out.size() > 255 * kSha256Size) {
        cryptoFailure("HKDF length");
    }
    const Digest zeros{};
    Digest prk = hmacSha256(salt.empty() ? view(zeros) : salt, std::array{ikm});
    Digest block{};
    std::size_t filled = 0;
    for (unsigned char i = 1; filled < out.size(); ++i) {
        const char counter = static_cast<char>(i);
        const std::string_view previous = i == 1 ? std::string_view() : view(block);
        block = hmacSha256(view(prk), std::array{previous, info, std::string_view(&counter, 1)});
        const std::size_t take = std::min(kSha256Size, out.size() - filled);
        std::copy_n(block.begin(), take, out.begin() + static_cast<std::ptrdiff_t>(filled));
        filled += take;
    }
    OPENSSL_cleanse(prk.data(), prk.size());
    OPENSSL_cleanse(block.data(), block.size());
}

std::string hkdfSha256(std::string_view ikm, std::string_view salt, std::string_view info, std::size_t length)
{
    if (length > 255 * kSha256Size) {
        cryptoFailure("HKDF length");
    }
    std::string out(length, '\0');
    hkdfSha256(ikm, salt, info, std::span(reinterpret_cast<std::uint8_t*>(out.data()), out.size()));
    return out;
}

Key scryptKey(std::string_view password, std::string_view salt, std::uint64_t n, std::uint32_t r,
              std::uint32_t p)
{
    EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(algorithms().scrypt);
    if (!ctx) {
        cryptoFailure("scrypt context");
    }
    // OpenSSL refuses work above its memory limit; allow what the parameters need and a little.
    std::uint64_t maxMemory = n * r * 128 + (std::uint64_t{1} << 20) + std::uint64_t{p} * r * 128;
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD, const_cast<char*>(password.data()),
                                          password.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<char*>(salt.data()), salt.size()),
        OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_N, &n),
        OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_R, &r),
        OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_P, &p),
        OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_MAXMEM, &maxMemory),
        OSSL_PARAM_construct_end(),
    };
    Key out{};
    const int ok = EVP_KDF_derive(ctx, out.data(), out.size(), params);
    EVP_KDF_CTX_free(ctx);
    check(ok, "scrypt derive");
    return out;
}

void randomBytes(void* out, std::size_t count)
{
    // The kernel's generator directly: one system call, where OpenSSL's per-thread DRBG re-keys
    // its AES context and asks for the process id on every draw (a few per connection).
    auto* next = static_cast<unsigned char*>(out);
    while (count > 0) {
        const auto got = ::getrandom(next, count, 0);
        if (got > 0) {
            next += got;
            count -= static_cast<std::size_t>(got);
        } else if (got < 0 && errno == ENOSYS) {
            check(RAND_bytes(next, static_cast<int>(count)), "RAND_bytes");
            return;
        } else if (got < 0 && errno != EINTR) {
            cryptoFailure("getrandom");
        }
    }
}

std::string randomBytes(std::size_t count)
{
    std::string out(count, '\0');
    randomBytes(out.data(), count);
    return out;
}

std::uint32_t randomBetween(std::uint32_t low, std::uint32_t high)
{
    if (high <= low) {
        return low;
    }
    const std::uint64_t span = std::uint64_t{high} - low + 1;
    // Rejection sampling keeps the draw uniform.
    const std::uint64_t limit = (std::uint64_t{1} << 32) - ((std::uint64_t{1} << 32) % span);
    std::uint32_t value = 0;
    do {
        randomBytes(&value, sizeof value);
    } while (value >= limit);
    return low + static_cast<std::uint32_t>(value % span);
}

namespace {

/// Cipher contexts outlive their streams: setting one up allocates and goes through the
/// provider's dispatch, re-keying one that exists does neither. A context comes back re-keyed
/// with zeros, so no finished stream's key schedule stays behind in it.
class ContextPool {
public:
    explicit ContextPool(const EVP_CIPHER* cipher) : m_cipher(cipher) {}
    ContextPool(const ContextPool&) = delete;
    ContextPool& operator=(const ContextPool&) = delete;
    // Left to the end of the process: the contexts held then are few and freed with it.

    /// A context keyed with `key` (and `iv`, when given) for encrypting (1) or decrypting (0).
    EVP_CIPHER_CTX* take(const Key& key, const unsigned char* iv, int encrypt)
    {
        EVP_CIPHER_CTX* context = nullptr;
        {
            const std::lock_guard guard(m_lock);
            if (!m_free.empty()) {
                context = m_free.back();
                m_free.pop_back();
            }
        }
        if (context) {
            check(EVP_CipherInit_ex(context, nullptr, nullptr, key.data(), iv, encrypt), "cipher re-key");
            return context;
        }
        context = EVP_CIPHER_CTX_new();
        if (!context) {
            cryptoFailure("cipher context");
        }
        check(EVP_CipherInit_ex(context, m_cipher, nullptr, key.data(), iv, encrypt), "cipher init");
        return context;
    }

    void give(EVP_CIPHER_CTX* context)
    {
        if (!context) {
            return;
        }
        static constexpr Key kZeros{};
        static constexpr std::array<unsigned char, 16> kZeroIv{};
        check(EVP_CipherInit_ex(context, nullptr, nullptr, kZeros.data(), kZeroIv.data(), -1), "cipher wipe");
        {
            const std::lock_guard guard(m_lock);
            if (m_free.size() < kKept) {
                m_free.push_back(context);
                return;
            }
        }
        EVP_CIPHER_CTX_free(context);
    }

private:
    // Enough for the streams of a busy moment; past that a context is freed as before.
    static constexpr std::size_t kKept = 512;
    const EVP_CIPHER* m_cipher;
    std::mutex m_lock;
    std::vector<EVP_CIPHER_CTX*> m_free;
};

ContextPool& gcmContexts()
{
    static auto* pool = new ContextPool(algorithms().gcm);
    return *pool;
}

ContextPool& ctrContexts()
{
    static auto* pool = new ContextPool(algorithms().ctr);
    return *pool;
}

} // namespace

Aead::Aead(const Key& key) : m_key(key)
{
}

EVP_CIPHER_CTX* Aead::sealing()
{
    if (!m_seal) {
        m_seal = gcmContexts().take(m_key, nullptr, 1);
    }
    return m_seal;
}

EVP_CIPHER_CTX* Aead::opening()
{
    if (!m_open) {
        m_open = gcmContexts().take(m_key, nullptr, 0);
    }
    return m_open;
}

Aead::~Aead()
{
    gcmContexts().give(m_seal);
    gcmContexts().give(m_open);
    OPENSSL_cleanse(m_key.data(), m_key.size());
}

void Aead::seal(std::uint64_t counter, std::string_view aad, std::string_view plain, std::string& out)
{
    const auto nonce = nonceFor(counter);
    EVP_CIPHER_CTX* ctx = sealing();
    check(EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, nonce.data()), "seal nonce");
    int length = 0;
    check(EVP_EncryptUpdate(ctx, nullptr, &length, bytes(aad), static_cast<int>(aad.size())), "seal aad");
    const std::size_t start = out.size();
    out.resize(start + plain.size() + kTagSize);
    auto* target = reinterpret_cast<unsigned char*>(out.data() + start);
    if (!plain.empty()) {
        check(EVP_EncryptUpdate(ctx, target, &length, bytes(plain), static_cast<int>(plain.size())),
              "seal data");
    }
    check(EVP_EncryptFinal_ex(ctx, target + plain.size(), &length), "seal final");
    check(EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, kTagSize, target + plain.size()), "seal tag");
}

void Aead::seal(std::uint64_t counter, std::string_view aad, char first, std::string_view rest,
                std::string& out)
{
    const auto nonce = nonceFor(counter);
    EVP_CIPHER_CTX* ctx = sealing();
    check(EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, nonce.data()), "seal nonce");
    int length = 0;
    check(EVP_EncryptUpdate(ctx, nullptr, &length, bytes(aad), static_cast<int>(aad.size())), "seal aad");
    const std::size_t start = out.size();
    const std::size_t plainSize = 1 + rest.size();
    out.resize(start + plainSize + kTagSize);
    auto* target = reinterpret_cast<unsigned char*>(out.data() + start);
    const auto lead = static_cast<unsigned char>(first);
    check(EVP_EncryptUpdate(ctx, target, &length, &lead, 1), "seal data");
    if (!rest.empty()) {
        check(EVP_EncryptUpdate(ctx, target + 1, &length, bytes(rest), static_cast<int>(rest.size())),
              "seal data");
    }
    check(EVP_EncryptFinal_ex(ctx, target + plainSize, &length), "seal final");
    check(EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, kTagSize, target + plainSize), "seal tag");
}

bool Aead::open(std::uint64_t counter, std::string_view aad, std::string_view sealed, std::string& out)
{
    if (sealed.size() < kTagSize) {
        return false;
    }
    const auto nonce = nonceFor(counter);
    EVP_CIPHER_CTX* ctx = opening();
    check(EVP_DecryptInit_ex(ctx, nullptr, nullptr, nullptr, nonce.data()), "open nonce");
    int length = 0;
    check(EVP_DecryptUpdate(ctx, nullptr, &length, bytes(aad), static_cast<int>(aad.size())), "open aad");
    const std::size_t plainSize = sealed.size() - kTagSize;
    out.resize(plainSize);
    auto* target = reinterpret_cast<unsigned char*>(out.data());
    if (plainSize > 0) {
        check(EVP_DecryptUpdate(ctx, target, &length, bytes(sealed), static_cast<int>(plainSize)),
              "open data");
    }
    std::array<unsigned char, kTagSize> tag{};
    std::copy_n(bytes(sealed) + plainSize, kTagSize, tag.begin());
    check(EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, kTagSize, tag.data()), "open tag");
    if (EVP_DecryptFinal_ex(ctx, target + plainSize, &length) != 1) {
        out.clear();
        return false;
    }
    return true;
}

LengthMask::LengthMask(const Key& key)
{
    const std::array<unsigned char, 16> iv{};
    m_ctx = ctrContexts().take(key, iv.data(), 1);
}

LengthMask::~LengthMask()
{
    ctrContexts().give(m_ctx);
    OPENSSL_cleanse(m_stream.data(), m_stream.size());
}

void LengthMask::refill()
{
    const std::array<unsigned char, 512> zeros{};
    int length = 0;
    check(EVP_EncryptUpdate(m_ctx, m_stream.data(), &length, zeros.data(), static_cast<int>(zeros.size())),
          "mask stream");
    m_used = 0;
}

std::uint16_t LengthMask::next()
{
    if (m_used + 2 > m_stream.size()) {
        refill();
    }
    const auto value = static_cast<std::uint16_t>((m_stream[m_used] << 8) | m_stream[m_used + 1]);
    m_used += 2;
    return value;
}

} // namespace ferrow::proto
