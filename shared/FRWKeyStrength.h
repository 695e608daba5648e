#pragma once

#include <string_view>

namespace ferrow {

/// Below this estimated strength a key is called weak; a generated key (32 random bytes in
/// base64url) has 256 bits.
inline constexpr double kWeakKeyBits = 80.0;

/// A conservative estimate of the guessing work in a key text (UTF-8), in bits: each character is
/// worth the size of the character classes the text uses, except where it repeats earlier text,
/// runs on or steps through a sequence, or forms a word, which cost a guesser little; and never
/// more than the text's length times its per-character Shannon entropy.
double estimatedKeyBits(std::string_view key);

} // namespace ferrow
