#pragma once

#include <optional>

#include <QString>
#include <QVariantMap>

/// Node links: ferrow://<key>@<host>[:<port>][?tfo=...][#<name>], the key in unpadded base64url.
namespace FRWShareLink {

/// The node map a link describes ("name", "server", "port", "psk", and "tfo" when the link gives a
/// known mode), or nothing when the text is not a well-formed node link.
std::optional<QVariantMap> parse(const QString& text);

/// Decodes %XX escapes into UTF-8 text; nothing when an escape is malformed or the bytes are not UTF-8.
std::optional<QString> percentDecoded(QStringView text);

} // namespace FRWShareLink
