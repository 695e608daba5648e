#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace FRWUtf8 {

/// The bytes as text; nothing when they are not valid UTF-8.
std::optional<QString> decode(const QByteArray& bytes);

} // namespace FRWUtf8
