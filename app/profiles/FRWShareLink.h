#pragma once

#include <optional>

#include <QString>
#include <QVariantMap>

/// Node links: ferrow://<key>@<host>[:<port>][?tfo=...][#<name>], the key in unpadded base64url.
namespace FRWShareLink {

/// The node map a link describes ("name", "server", "port", "psk", and "tfo" when the link gives a
/// known mode), or nothing when the text is not a well-formed node link.
std::optional<QVariantMap> parse(const QString& text);

/// The link for a node map ("name", "server", "port", "psk", "tfo"), or nothing when the node has no
/// key, no usable port, or a host a link cannot carry. parse() reads it back to the same fields.
std::optional<QString> link(const QVariantMap& node);

/// Decodes %XX escapes into UTF-8 text; nothing when an escape is malformed or the bytes are not UTF-8.
std::optional<QString> percentDecoded(QStringView text);

} // namespace FRWShareLink
