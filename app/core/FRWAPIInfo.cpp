#include "FRWAPIInfo.h"

#include <QFile>
#include <QJsonDocument>

#include "FRWNames.h"

namespace FRWAPIInfo {

namespace {
// A real api-info file is a few hundred bytes; anything larger is not one.
constexpr qint64 kMaxFileSize = qint64{64} * 1024;
} // namespace

std::optional<QJsonObject> read(const QString& path)
{
    if (path.isEmpty()) {
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize) {
        return std::nullopt;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.read(kMaxFileSize));
    if (!document.isObject()) {
        return std::nullopt;
    }
    QJsonObject info = document.object();
    if (address(info).isEmpty()) {
        return std::nullopt;
    }
    return info;
}

QString address(const QJsonObject& info)
{
    return info.value(QLatin1String(ferrow::kAPIInfoAddressKey)).toString();
}

QString secret(const QJsonObject& info)
{
    return info.value(QLatin1String(ferrow::kAPIInfoSecretKey)).toString();
}

} // namespace FRWAPIInfo
