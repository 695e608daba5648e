#include "FRWKeyStrength.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>

namespace ferrow {

namespace {

bool isLower(unsigned char c)
{
    return c >= 'a' && c <= 'z';
}

bool isUpper(unsigned char c)
{
    return c >= 'A' && c <= 'Z';
}

double bitsPerCharacter(std::string_view text)
{
    bool lower = false;
    bool upper = false;
    bool digit = false;
    bool symbol = false;
    bool other = false;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        lower |= isLower(c);
        upper |= isUpper(c);
        digit |= c >= '0' && c <= '9';
        symbol |= c >= 0x20 && c < 0x7f && !std::isalnum(c);
        other |= c < 0x20 || c >= 0x7f;
    }
    const int alphabet = 26 * lower + 26 * upper + 10 * digit + 33 * symbol + 128 * other;
    return std::log2(std::max(alphabet, 2));
}

/// Length of the longest earlier occurrence of the text starting at `at`.
std::size_t repeatLength(std::string_view text, std::size_t at)
{
    std::size_t best = 0;
    for (std::size_t start = 0; start < at; ++start) {
        std::size_t length = 0;
        while (at + length < text.size() && text[start + length] == text[at + length]) {
            ++length;
        }
        best = std::max(best, length);
    }
    return best;
}

/// Length of a run of one character or a sequence stepping by one (aaaa, abcd, 4321) at `at`.
std::size_t sequenceLength(std::string_view text, std::size_t at)
{
    if (at + 2 >= text.size()) {
        return 0;
    }
    const int step = static_cast<unsigned char>(text[at + 1]) - static_cast<unsigned char>(text[at]);
    if (step < -1 || step > 1) {
        return 0;
    }
    std::size_t length = 2;
    while (at + length < text.size() && static_cast<unsigned char>(text[at + length]) -
                                                static_cast<unsigned char>(text[at + length - 1]) ==
                                            step) {
        ++length;
    }
    return length;
}

/// Length of a word-like run at `at`: four or more lower-case letters, maybe capitalised.
std::size_t wordLength(std::string_view text, std::size_t at)
{
    std::size_t length = at < text.size() && isUpper(static_cast<unsigned char>(text[at])) ? 1 : 0;
    while (at + length < text.size() && isLower(static_cast<unsigned char>(text[at + length]))) {
        ++length;
    }
    return length >= 4 ? length : 0;
}

double shannonBits(std::string_view text)
{
    std::array<int, 256> counts{};
    for (const char c : text) {
        ++counts[static_cast<unsigned char>(c)];
    }
    const auto length = static_cast<double>(text.size());
    double perCharacter = 0;
    for (const int count : counts) {
        if (count > 0) {
            const double p = count / length;
            perCharacter -= p * std::log2(p);
        }
    }
    return perCharacter * length;
}

} // namespace

double estimatedKeyBits(std::string_view psk)
{
    const double perCharacter = bitsPerCharacter(psk);
    // Letters of words carry about 2.5 bits each in English text.
    const double perWordLetter = std::min(perCharacter, 2.5);
    double bits = 0;
    std::size_t at = 0;
    while (at < psk.size()) {
        if (const auto repeated = repeatLength(psk, at); repeated >= 3) {
            bits += std::log2(static_cast<double>(at)) + std::log2(static_cast<double>(repeated));
            at += repeated;
        } else if (const auto sequence = sequenceLength(psk, at); sequence >= 3) {
            bits += perCharacter + 2;
            at += sequence;
        } else if (const auto word = wordLength(psk, at); word > 0) {
            bits += perWordLetter * static_cast<double>(word);
            at += word;
        } else {
            bits += perCharacter;
            ++at;
        }
    }
    return std::min(bits, shannonBits(psk));
}

} // namespace ferrow
