#pragma once

#include <optional>

#include <QString>
#include <QStringList>

/// The GVariant text form that `gsettings get` prints and `gsettings set` reads, for the value
/// types of the proxy settings: strings, string arrays, integers and booleans.
namespace FRWGVariantText {

std::optional<QString> parseString(const QString& text);
std::optional<QStringList> parseStringArray(const QString& text);
std::optional<int> parseInt(const QString& text);
std::optional<bool> parseBool(const QString& text);

QString quoted(const QString& value);
QString stringArray(const QStringList& values);

} // namespace FRWGVariantText
