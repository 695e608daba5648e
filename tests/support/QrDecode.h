#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ferrow::test {

/// A grey image, one byte per pixel, rows packed.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

/// The text of the one QR code in the image (zbar), or nothing when none or several are found.
std::optional<std::string> decodeQr(const GreyImage& image);

/// The image a terminal shows for text drawn with half blocks (U+2580 upper, U+2584 lower,
/// U+2588 full; anything else blank), blocks dark, `scale` pixels per module.
GreyImage imageOfBlockText(const std::string& text, int scale = 4);

} // namespace ferrow::test
