#include <cstddef>
#include <cstdint>

#include <QString>

#include "FRWShareLink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto node = FRWShareLink::parse(text)) {
        // A link that reads always names a host and a port in range.
        const int port = node->value(QStringLiteral("port")).toInt();
        if (node->value(QStringLiteral("server")).toString().isEmpty() || port < 1 || port > 65535 ||
            node->value(QStringLiteral("psk")).toString().isEmpty()) {
            __builtin_trap();
        }
        // A node written back as a link reads as the same node.
        if (const auto link = FRWShareLink::link(*node); link && FRWShareLink::parse(*link) != node) {
            __builtin_trap();
        }
    }
    FRWShareLink::parse(QStringLiteral("ferrow://") + text);
    return 0;
}
