#include "FRWSignature.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace ferrow::signature {

namespace {

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

std::unique_ptr<BIO, BioFree> memoryBio(std::string_view text)
{
    if (text.size() > 1 << 20) {
        return nullptr;
    }
    return std::unique_ptr<BIO, BioFree>(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

bool isEd25519(const Pkey& key)
{
    return key && EVP_PKEY_get_id(key.get()) == EVP_PKEY_ED25519;
}

Pkey readPublicKey(std::string_view pem)
{
    auto bio = memoryBio(pem);
    Pkey key(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    return isEd25519(key) ? std::move(key) : nullptr;
}

Pkey readPrivateKey(std::string_view pem)
{
    auto bio = memoryBio(pem);
    Pkey key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    return isEd25519(key) ? std::move(key) : nullptr;
}

std::string bioText(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

std::uint32_t readLittleEndian32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

} // namespace

bool isValidIdentifier(std::string_view identifier)
{
    if (identifier.empty() || identifier.size() > kMaxIdentifierLength) {
        return false;
    }
    for (const char c : identifier) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '.' || c == '-' || c == '_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

ParsedTrailer parseTrailer(std::span<const std::uint8_t> bytes)
{
    ParsedTrailer result;
    if (bytes.size() < kFixedTrailerSize) {
        return result;
    }
    const std::size_t magicAt = bytes.size() - kMagic.size();
    if (std::memcmp(bytes.data() + magicAt, kMagic.data(), kMagic.size()) != 0) {
        return result;
    }
    result.status = TrailerStatus::Malformed;
    const std::size_t signatureAt = magicAt - kSignatureSize;
    const std::size_t lengthAt = signatureAt - kLengthSize;
    const std::uint32_t length = readLittleEndian32(bytes.data() + lengthAt);
    if (length == 0 || length > kMaxIdentifierLength || length > lengthAt) {
        return result;
    }
    const std::size_t identifierAt = lengthAt - length;
    std::string identifier(reinterpret_cast<const char*>(bytes.data() + identifierAt), length);
    if (!isValidIdentifier(identifier)) {
        return result;
    }
    result.status = TrailerStatus::Good;
    result.trailer.bodySize = identifierAt;
    result.trailer.identifier = std::move(identifier);
    result.trailer.signedSize = signatureAt;
    result.trailer.signature = bytes.subspan(signatureAt, kSignatureSize);
    return result;
}

VerifyStatus verify(std::span<const std::uint8_t> bytes, std::string_view identifier,
                    std::string_view publicKeyPem)
{
    const ParsedTrailer parsed = parseTrailer(bytes);
    if (parsed.status == TrailerStatus::NoTrailer) {
        return VerifyStatus::Unsigned;
    }
    if (parsed.status == TrailerStatus::Malformed) {
        return VerifyStatus::Malformed;
    }
    if (parsed.trailer.identifier != identifier) {
        return VerifyStatus::WrongIdentifier;
    }
    const Pkey key = readPublicKey(publicKeyPem);
    if (!key) {
        return VerifyStatus::BadKey;
    }
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1) {
        return VerifyStatus::BadKey;
    }
    const int ok = EVP_DigestVerify(ctx.get(), parsed.trailer.signature.data(),
                                    parsed.trailer.signature.size(), bytes.data(), parsed.trailer.signedSize);
    return ok == 1 ? VerifyStatus::Valid : VerifyStatus::BadSignature;
}

const char* statusText(VerifyStatus status)
{
    switch (status) {
    case VerifyStatus::Valid:
        return "valid signature";
    case VerifyStatus::Unsigned:
        return "not signed";
    case VerifyStatus::Malformed:
        return "malformed signature trailer";
    case VerifyStatus::WrongIdentifier:
        return "signed with another identifier";
    case VerifyStatus::BadKey:
        return "unusable public key";
    case VerifyStatus::BadSignature:
        return "signature does not match";
    }
    return "unknown";
}

std::span<const std::uint8_t> bodyOf(std::span<const std::uint8_t> bytes)
{
    const ParsedTrailer parsed = parseTrailer(bytes);
    return parsed.status == TrailerStatus::Good ? bytes.first(parsed.trailer.bodySize) : bytes;
}

std::optional<std::vector<std::uint8_t>> sign(std::span<const std::uint8_t> body, std::string_view identifier,
                                              std::string_view privateKeyPem)
{
    if (!isValidIdentifier(identifier)) {
        return std::nullopt;
    }
    const Pkey key = readPrivateKey(privateKeyPem);
    if (!key) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out;
    out.reserve(body.size() + identifier.size() + kFixedTrailerSize);
    out.insert(out.end(), body.begin(), body.end());
    out.insert(out.end(), identifier.begin(), identifier.end());
    const auto length = static_cast<std::uint32_t>(identifier.size());
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(length >> shift));
    }
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    std::size_t signatureSize = kSignatureSize;
    std::uint8_t signatureBytes[kSignatureSize];
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), signatureBytes, &signatureSize, out.data(), out.size()) != 1 ||
        signatureSize != kSignatureSize) {
        return std::nullopt;
    }
    out.insert(out.end(), signatureBytes, signatureBytes + kSignatureSize);
    out.insert(out.end(), kMagic.begin(), kMagic.end());
    return out;
}

std::optional<KeyPair> generateKeyPair()
{
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
    EVP_PKEY* raw = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_keygen(ctx.get(), &raw) != 1) {
        return std::nullopt;
    }
    const Pkey key(raw);
    std::unique_ptr<BIO, BioFree> privateBio(BIO_new(BIO_s_mem()));
    std::unique_ptr<BIO, BioFree> publicBio(BIO_new(BIO_s_mem()));
    if (!privateBio || !publicBio ||
        PEM_write_bio_PrivateKey(privateBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
        PEM_write_bio_PUBKEY(publicBio.get(), key.get()) != 1) {
        return std::nullopt;
    }
    return KeyPair{bioText(privateBio.get()), bioText(publicBio.get())};
}

std::optional<std::string> publicKeyOf(std::string_view privateKeyPem)
{
    const Pkey key = readPrivateKey(privateKeyPem);
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!key || !bio || PEM_write_bio_PUBKEY(bio.get(), key.get()) != 1) {
        return std::nullopt;
    }
    return bioText(bio.get());
}

std::optional<std::vector<std::uint8_t>> readAll(int fd, std::size_t maxSize)
{
    std::vector<std::uint8_t> bytes;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0 &&
        static_cast<std::uint64_t>(status.st_size) <= maxSize) {
        bytes.reserve(static_cast<std::size_t>(status.st_size));
    }
    std::uint8_t block[65536];
    for (;;) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            return bytes;
        }
        if (bytes.size() + static_cast<std::size_t>(got) > maxSize) {
            return std::nullopt;
        }
        bytes.insert(bytes.end(), block, block + got);
    }
}

std::optional<std::vector<std::uint8_t>> readFile(const std::string& path, std::size_t maxSize)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat status {};
    std::optional<std::vector<std::uint8_t>> bytes;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        bytes = readAll(fd, maxSize);
    }
    ::close(fd);
    return bytes;
}

} // namespace ferrow::signature
