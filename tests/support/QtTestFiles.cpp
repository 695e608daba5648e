#include "QtTestFiles.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace ferrow::test {

QString readText(const QString& path, const QString& whenMissing)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : whenMissing;
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(path.section(u'/', 0, -2));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

} // namespace ferrow::test
