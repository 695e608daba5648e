#pragma once

#include <QImage>
#include <QString>

/// A QR code of a text (byte mode, error correction M), as black modules on white with the
/// four-module quiet zone readers need.
namespace FRWQrCode {

/// One pixel per module; a null image when the text does not fit a QR code.
QImage modules(const QString& text);

/// The code scaled by whole pixels per module to at most `side` pixels square.
QImage image(const QString& text, int side);

} // namespace FRWQrCode
