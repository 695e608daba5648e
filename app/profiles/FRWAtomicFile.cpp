#include "FRWAtomicFile.h"

#include <QFile>
#include <QSaveFile>

#include "FRWUtf8.h"

namespace FRWAtomicFile {

bool write(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        qWarning("ferrow: cannot write %s: %s", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    return true;
}

bool writeText(const QString& path, const QString& text)
{
    return write(path, text.toUtf8());
}

std::optional<QString> readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return FRWUtf8::decode(file.readAll());
}

} // namespace FRWAtomicFile
