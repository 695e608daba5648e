#pragma once

#include <optional>

#include <QJsonObject>
#include <QString>

/// The api-info file a core writes once its controller API listens.
namespace FRWAPIInfo {

/// The file's JSON object when it is a regular file (not a link) owned by this user or root and
/// writable by nobody else, parses as an object and has a non-empty string "address"; nothing
/// otherwise. Never throws.
std::optional<QJsonObject> read(const QString& path);

QString address(const QJsonObject& info);
/// The bearer secret, empty when absent or not a string.
QString secret(const QJsonObject& info);

} // namespace FRWAPIInfo
