#include "FRWHelperLayout.h"

#include <QFileInfo>

#include "FRWNames.h"
#include "FRWSigningKey.h"

namespace {

QString existingExecutable(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
}

} // namespace

FRWHelperLayout FRWHelperLayout::system(const QString& programDirectory)
{
    FRWHelperLayout layout;
    // bin/Ferrow → libexec/ferrow/ferrow-helper; a program in the build tree uses the build's helper.
    layout.helperSource = existingExecutable(programDirectory + QStringLiteral("/../") +
                                             QLatin1String(ferrow::kLibexecSubdirectory) + u'/' +
                                             QLatin1String(ferrow::kHelperExecutableName));
#ifdef FERROW_BUILD_TREE_HELPER
    if (layout.helperSource.isEmpty()) {
        layout.helperSource = existingExecutable(QStringLiteral(FERROW_BUILD_TREE_HELPER));
    }
#endif
    layout.installedHelperPath = QLatin1String(ferrow::kInstalledHelperPath);
    layout.socketUnitPath = QLatin1String(ferrow::kHelperSocketUnitPath);
    layout.serviceUnitPath = QLatin1String(ferrow::kHelperServiceUnitPath);
    layout.stagedCorePath = QLatin1String(ferrow::kStagedCorePath);
    layout.polkitPolicyPath = QLatin1String(ferrow::kHelperPolkitPolicyPath);
    layout.stateDirectory = QLatin1String(ferrow::kHelperStateDirectory);
    layout.coreStateDirectory = QLatin1String(ferrow::kHelperCoreStateDirectory);
    layout.socketPath = QLatin1String(ferrow::kHelperSocketPath);
    layout.packagedHelperPath = QLatin1String(ferrow::kPackagedHelperPath);
    for (const char* directory : ferrow::kPackagedUnitDirectories) {
        layout.packagedUnitDirectories.append(QLatin1String(directory));
    }
    layout.pkexecPath = QStringLiteral("/usr/bin/pkexec");
    layout.systemctlPath = QStringLiteral("systemctl");
    layout.dpkgQueryPath = QStringLiteral("dpkg-query");
    layout.opensslPath = QStringLiteral("openssl");
    layout.owner = QStringLiteral("root:root");
    layout.makerPublicKeyPem = QString::fromLatin1(ferrow::kMakerPublicKeyPem);
    return layout;
}
