#pragma once

#include <QByteArray>
#include <QString>

namespace ferrow::test {

/// The file's text, or `whenMissing` when it cannot be read.
QString readText(const QString& path, const QString& whenMissing = QString());
/// Writes the bytes, creating parent folders; fails the current test when it cannot.
void writeBytes(const QString& path, const QByteArray& bytes);

} // namespace ferrow::test
