#include "FRWByteText.h"

#include <array>
#include <cmath>

namespace {
FRWByteText::Parts format(double value, int decimals, bool rate)
{
    static constexpr std::array<const char*, 5> kUnits{"B", "KB", "MB", "GB", "TB"};
    if (!std::isfinite(value)) {
        value = 0;
    }
    size_t unit = 0;
    while (std::abs(value) >= 1024 && unit + 1 < kUnits.size()) {
        value /= 1024;
        ++unit;
    }
    const int places = unit == 0 ? 0 : decimals;
    QString unitText = QString::fromLatin1(kUnits[unit]);
    if (rate) {
        unitText += QStringLiteral("/s");
    }
    return {QString::number(value, 'f', places), unitText};
}
} // namespace

FRWByteText::Parts FRWByteText::sizeParts(double bytes)
{
    return format(bytes, 2, false);
}

FRWByteText::Parts FRWByteText::rateParts(double bytesPerSecond)
{
    return format(bytesPerSecond, 0, true);
}

QString FRWByteText::size(double bytes)
{
    const Parts parts = sizeParts(bytes);
    return parts.number + QLatin1Char(' ') + parts.unit;
}

QString FRWByteText::rate(double bytesPerSecond)
{
    const Parts parts = rateParts(bytesPerSecond);
    return parts.number + QLatin1Char(' ') + parts.unit;
}
