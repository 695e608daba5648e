#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// Signatures appended to Ferrow's executables. A signed file is
///
///     body | identifier | identifier length (4 bytes, little-endian) | Ed25519 signature (64) | magic (8)
///
/// and the signature covers everything before it: the body, the identifier and its length. Because
/// the length is signed too, a signed file has exactly one reading; no byte can move from the body
/// into the identifier or back.
namespace ferrow::signature {

inline constexpr std::string_view kMagic = "FRWSIGv1";
inline constexpr std::size_t kSignatureSize = 64;
inline constexpr std::size_t kLengthSize = 4;
inline constexpr std::size_t kFixedTrailerSize = kLengthSize + kSignatureSize + kMagic.size();
inline constexpr std::size_t kMaxIdentifierLength = 255;

enum class TrailerStatus {
    Good,
    NoTrailer, ///< too short, or no magic at the end
    Malformed, ///< magic present, but the length or the identifier is unusable
};

/// Where the parts of a signed file lie. Offsets index the file's bytes.
struct Trailer {
    std::size_t bodySize = 0;
    std::string identifier;
    std::size_t signedSize = 0; ///< body, identifier and length: what the signature covers
    std::span<const std::uint8_t> signature;
};

struct ParsedTrailer {
    TrailerStatus status = TrailerStatus::NoTrailer;
    Trailer trailer;
};

/// Reads the trailer of a file's bytes. Pure; never throws.
ParsedTrailer parseTrailer(std::span<const std::uint8_t> bytes);

/// An identifier is 1 to 255 characters from [A-Za-z0-9.-_].
bool isValidIdentifier(std::string_view identifier);

enum class VerifyStatus {
    Valid,
    Unsigned,
    Malformed,
    WrongIdentifier,
    BadKey,
    BadSignature,
};

/// Checks that `bytes` carry a trailer naming `identifier` whose signature was made with the
/// private half of `publicKeyPem`. Pure; never throws.
VerifyStatus verify(std::span<const std::uint8_t> bytes, std::string_view identifier,
                    std::string_view publicKeyPem);

/// True for `VerifyStatus::Valid` only; the text of a status for logs and tools.
const char* statusText(VerifyStatus status);

/// The body of `bytes`: without its trailer when it has a well-formed one, else all of it.
std::span<const std::uint8_t> bodyOf(std::span<const std::uint8_t> bytes);

/// Signs `body` (which must carry no trailer) and returns body plus trailer; nothing when the
/// key or the identifier is unusable.
std::optional<std::vector<std::uint8_t>> sign(std::span<const std::uint8_t> body, std::string_view identifier,
                                              std::string_view privateKeyPem);

/// A fresh Ed25519 key pair as PEM texts (PKCS#8 private key, SubjectPublicKeyInfo public key).
struct KeyPair {
    std::string privateKeyPem;
    std::string publicKeyPem;
};
std::optional<KeyPair> generateKeyPair();

/// The public half of a private key, as PEM.
std::optional<std::string> publicKeyOf(std::string_view privateKeyPem);

/// Reads a whole file of at most `maxSize` bytes through an open descriptor; nothing on any error.
std::optional<std::vector<std::uint8_t>> readAll(int fd, std::size_t maxSize);
/// Opens and reads a file (following links); nothing on any error or when it exceeds `maxSize`.
std::optional<std::vector<std::uint8_t>> readFile(const std::string& path, std::size_t maxSize);

/// Executables are far smaller than this; the limit keeps a hostile file from exhausting memory.
inline constexpr std::size_t kMaxSignedFileSize = std::size_t{1} << 30;

} // namespace ferrow::signature
