#include "FRWInstallLayout.h"

#include <QDir>
#include <QFileInfo>

#include "FRWNames.h"

namespace {

QString existingExecutable(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
}

QString existingDirectory(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() ? info.absoluteFilePath() : QString();
}

} // namespace

FRWInstallLayout FRWInstallLayout::forProgramIn(const QString& programDirectory)
{
    const QString prefix = programDirectory + QStringLiteral("/..");
    FRWInstallLayout layout;
    layout.corePath = existingExecutable(prefix + u'/' + QLatin1String(ferrow::kLibexecSubdirectory) + u'/' +
                                         QLatin1String(ferrow::kCoreExecutableName));
    layout.ruleSetDir = existingDirectory(prefix + u'/' + QLatin1String(ferrow::kRuleSetsSubdirectory));
#ifdef FERROW_BUILD_TREE_CORE
    if (layout.corePath.isEmpty()) {
        layout.corePath = existingExecutable(QStringLiteral(FERROW_BUILD_TREE_CORE));
    }
#endif
#ifdef FERROW_SOURCE_RULE_SETS
    if (layout.ruleSetDir.isEmpty()) {
        layout.ruleSetDir = existingDirectory(QStringLiteral(FERROW_SOURCE_RULE_SETS));
    }
#endif
    return layout;
}
