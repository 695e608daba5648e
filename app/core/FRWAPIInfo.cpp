#include "FRWAPIInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // Only a file that this user or root wrote and nobody else can rewrite: anyone who could
    // plant one would hand the app an address and secret of their choosing.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        (status.st_uid != ::getuid() && status.st_uid != 0) || (status.st_mode & 022) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle) || file.size() > kMaxFileSize) {
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
