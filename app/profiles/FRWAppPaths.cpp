#include "FRWAppPaths.h"

#include <QDir>

#include "FRWNames.h"

namespace {

// The XDG base directory rule: the variable when it holds an absolute path, else the fallback.
QString xdgHome(const char* variable, const QString& fallbackBelowHome)
{
    QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) {
        return value;
    }
    return QDir::homePath() + u'/' + fallbackBelowHome;
}

} // namespace

FRWAppPaths FRWAppPaths::fromEnvironment()
{
    return under(xdgHome("XDG_DATA_HOME", QStringLiteral(".local/share")),
                 xdgHome("XDG_CONFIG_HOME", QStringLiteral(".config")));
}

FRWAppPaths FRWAppPaths::under(const QString& dataHome, const QString& configHome)
{
    return {dataHome + u'/' + QLatin1String(ferrow::kSupportFolderName),
            configHome + u'/' + QLatin1String(ferrow::kSettingsFolderName) + u'/' +
                QLatin1String(ferrow::kSettingsFileName)};
}
