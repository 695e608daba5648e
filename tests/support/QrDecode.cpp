#include "QrDecode.h"

#include <algorithm>
#include <memory>
#include <sstream>

#include <zbar.h>

namespace ferrow::test {

// In C++ the library declares its C interface inside this namespace.
using namespace zbar;

std::optional<std::string> decodeQr(const GreyImage& image)
{
    std::unique_ptr<zbar_image_scanner_t, decltype(&zbar_image_scanner_destroy)> scanner(
        zbar_image_scanner_create(), &zbar_image_scanner_destroy);
    zbar_image_scanner_set_config(scanner.get(), ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
    zbar_image_scanner_set_config(scanner.get(), ZBAR_QRCODE, ZBAR_CFG_ENABLE, 1);
    std::unique_ptr<zbar_image_t, decltype(&zbar_image_destroy)> frame(zbar_image_create(),
                                                                       &zbar_image_destroy);
    zbar_image_set_format(frame.get(), zbar_fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(frame.get(), unsigned(image.width), unsigned(image.height));
    zbar_image_set_data(frame.get(), image.pixels.data(), image.pixels.size(), nullptr);
    if (zbar_scan_image(scanner.get(), frame.get()) != 1) {
        return std::nullopt;
    }
    const zbar_symbol_t* symbol = zbar_image_first_symbol(frame.get());
    return std::string(zbar_symbol_get_data(symbol), zbar_symbol_get_data_length(symbol));
}

GreyImage imageOfBlockText(const std::string& text, int scale)
{
    // Each character is one module wide and two tall: its upper and lower halves.
    std::vector<std::vector<std::pair<bool, bool>>> rows;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::pair<bool, bool>> cells;
        for (std::size_t i = 0; i < line.size();) {
            if (line.compare(i, 3, "\u2580") == 0) {
                cells.emplace_back(true, false);
            } else if (line.compare(i, 3, "\u2584") == 0) {
                cells.emplace_back(false, true);
            } else if (line.compare(i, 3, "\u2588") == 0) {
                cells.emplace_back(true, true);
            } else {
                cells.emplace_back(false, false);
                i += 1;
                continue;
            }
            i += 3;
        }
        rows.push_back(std::move(cells));
    }
    std::size_t columns = 0;
    for (const auto& cells : rows) {
        columns = std::max(columns, cells.size());
    }
    // A light margin of four modules, so a code drawn flush to the text's edge still reads.
    const int margin = 4 * scale;
    GreyImage image;
    image.width = int(columns) * scale + 2 * margin;
    image.height = int(rows.size()) * 2 * scale + 2 * margin;
    image.pixels.assign(std::size_t(image.width) * std::size_t(image.height), 255);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            for (int half = 0; half < 2; ++half) {
                const bool dark = half == 0 ? rows[r][c].first : rows[r][c].second;
                if (!dark) {
                    continue;
                }
                for (int dy = 0; dy < scale; ++dy) {
                    const int y = margin + (int(r) * 2 + half) * scale + dy;
                    for (int dx = 0; dx < scale; ++dx) {
                        image.pixels[std::size_t(y) * std::size_t(image.width) + std::size_t(margin) +
                                     c * std::size_t(scale) + std::size_t(dx)] = 0;
                    }
                }
            }
        }
    }
    return image;
}

} // namespace ferrow::test
