#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

namespace FRWUtf8 {

/// The bytes as text; nothing when they are not valid UTF-8.
std::optional<QString> decode(const QByteArray& bytes);

} // namespace FRWUtf8
