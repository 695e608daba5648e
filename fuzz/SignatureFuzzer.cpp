// Feeds arbitrary bytes to the signature trailer parser and verifier.
#include <cstddef>
#include <cstdint>
#include <span>

#include "FRWSignature.h"
#include "FRWSigningKey.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const auto parsed = ferrow::signature::parseTrailer(bytes);
    if (parsed.status == ferrow::signature::TrailerStatus::Good &&
        (parsed.trailer.bodySize > size || parsed.trailer.signedSize > size ||
         parsed.trailer.signature.size() != ferrow::signature::kSignatureSize)) {
        __builtin_trap();
    }
    (void)ferrow::signature::bodyOf(bytes);
    (void)ferrow::signature::verify(bytes, parsed.trailer.identifier, ferrow::kMakerPublicKeyPem);
    return 0;
}
