#include "FRWQrCode.h"

#include <algorithm>
#include <memory>

#include <qrencode.h>

namespace FRWQrCode {

namespace {

constexpr int kQuietZone = 4;

} // namespace

QImage modules(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeData(int(bytes.size()), reinterpret_cast<const unsigned char*>(bytes.constData()), 0,
                          QR_ECLEVEL_M),
        &QRcode_free);
    if (!code) {
        return {};
    }
    const int width = code->width;
    QImage image(width + 2 * kQuietZone, width + 2 * kQuietZone, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < width; ++y) {
        uchar* line = image.scanLine(y + kQuietZone);
        for (int x = 0; x < width; ++x) {
            // The low bit of each byte is the module's colour; the others describe its role.
            if (code->data[y * width + x] & 1) {
                line[x + kQuietZone] = 0;
            }
        }
    }
    return image;
}

QImage image(const QString& text, int side)
{
    const QImage small = modules(text);
    if (small.isNull()) {
        return {};
    }
    const int scale = std::max(1, side / small.width());
    return small.scaled(small.width() * scale, small.height() * scale, Qt::IgnoreAspectRatio,
                        Qt::FastTransformation);
}

} // namespace FRWQrCode
