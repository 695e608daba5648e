#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

/// Whole-file reads and atomic writes (a temporary file renamed into place).
namespace FRWAtomicFile {

/// Writes the bytes atomically; false (and a log line) when the file could not be written.
bool write(const QString& path, const QByteArray& bytes);
bool writeText(const QString& path, const QString& text);

/// The file's bytes as UTF-8 text; nothing when it cannot be read or is not valid UTF-8.
std::optional<QString> readText(const QString& path);

} // namespace FRWAtomicFile
