#pragma once

#include <QString>

/// The screens' byte and rate texts: units B, KB, MB, GB, TB in steps of 1024; no decimals for
/// bytes, otherwise 2 in the size form and 0 in the rate form ("1.50 KB", "512 KB/s").
class FRWByteText {
public:
    FRWByteText() = delete;

    struct Parts {
        QString number;
        QString unit;
    };

    static Parts sizeParts(double bytes);
    static Parts rateParts(double bytesPerSecond);
    static QString size(double bytes);
    static QString rate(double bytesPerSecond);
};
