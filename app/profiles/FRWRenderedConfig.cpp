#include "FRWRenderedConfig.h"

#include <sys/stat.h>

#include <QFile>

#include "FRWAtomicFile.h"
#include "FRWDefaultsKeys.h"
#include "FRWUserDefaults.h"

FRWRenderedConfig::FRWRenderedConfig(QString path, FRWUserDefaults& defaults)
    : m_path(std::move(path)), m_defaults(defaults)
{
}

QString FRWRenderedConfig::renderedFor() const
{
    return m_defaults.string(ferrow::defaults::kRenderedProfile);
}

// Size, modification time to the nanosecond and inode: any editor's save changes at least one.
QString FRWRenderedConfig::currentStamp() const
{
    struct stat info {};
    if (::stat(QFile::encodeName(m_path).constData(), &info) != 0) {
        return {};
    }
    return QStringLiteral("%1:%2.%3:%4")
        .arg(info.st_size)
        .arg(info.st_mtim.tv_sec)
        .arg(info.st_mtim.tv_nsec, 9, 10, QLatin1Char('0'))
        .arg(info.st_ino);
}

std::optional<QString> FRWRenderedConfig::editedText() const
{
    const QString recorded = m_defaults.string(ferrow::defaults::kRenderedStamp);
    if (recorded.isEmpty() || renderedFor().isEmpty()) {
        return std::nullopt;
    }
    const QString stamp = currentStamp();
    if (stamp.isEmpty() || stamp == recorded) {
        return std::nullopt;
    }
    return FRWAtomicFile::readText(m_path);
}

bool FRWRenderedConfig::write(const QString& identifier, const QString& text)
{
    if (!FRWAtomicFile::writeText(m_path, text)) {
        return false;
    }
    m_lastText = text;
    m_defaults.setString(ferrow::defaults::kRenderedProfile, identifier);
    m_defaults.setString(ferrow::defaults::kRenderedStamp, currentStamp());
    return true;
}
