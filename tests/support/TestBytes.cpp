#include "TestBytes.h"

#include <cstdint>
#include <openssl/evp.h>

namespace ferrow::test {

std::string patternBytes(std::size_t size, std::size_t offset)
{
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint64_t n = offset + i;
        out[i] = static_cast<char>((n * 2654435761u >> 13) ^ (n >> 7));
    }
    return out;
}

std::string sha256Hex(std::string_view bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < length; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 15];
    }
    return hex;
}

} // namespace ferrow::test
