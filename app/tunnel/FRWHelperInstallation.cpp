#include "FRWHelperInstallation.h"

#include <memory>
#include <utility>

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>

#include "FRWNames.h"

namespace {

/// Runs `program` without a shell and hands back its standard output, or nothing when it could
/// not be run or failed.
void runTool(QObject* context, const QString& program, const QStringList& arguments,
             std::function<void(std::optional<QString>)> completion)
{
    auto* process = new QProcess(context);
    auto done = std::make_shared<bool>(false);
    auto finish = [process, done, completion = std::move(completion)](std::optional<QString> output) {
        if (std::exchange(*done, true)) {
            return;
        }
        process->deleteLater();
        completion(std::move(output));
    };
    QObject::connect(process, &QProcess::errorOccurred, context, [finish](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            finish(std::nullopt);
        }
    });
    QObject::connect(process, &QProcess::finished, context,
                     [process, finish](int status, QProcess::ExitStatus exit) {
                         if (exit != QProcess::NormalExit || status != 0) {
                             return finish(std::nullopt);
                         }
                         finish(QString::fromUtf8(process->readAllStandardOutput()).trimmed());
                     });
    process->setStandardInputFile(QProcess::nullDevice());
    process->start(program, arguments);
}

bool packagedUnitOnDisk(const FRWHelperLayout& layout)
{
    const QString name = QFileInfo(layout.socketUnitPath).fileName();
    for (const QString& directory : layout.packagedUnitDirectories) {
        if (QFile::exists(directory + u'/' + name)) {
            return true;
        }
    }
    return false;
}

/// Fills in what follows from the kind.
FRWHelperInstallation withKind(FRWHelperInstallation::Kind kind, const FRWHelperLayout& layout)
{
    FRWHelperInstallation installation;
    installation.kind = kind;
    // This program's own helper (beside it in the prefix) is the package's only when it is the
    // package's program.
    installation.servesAnotherBuild = kind == FRWHelperInstallation::Kind::Packaged &&
                                      QFileInfo(layout.helperSource).canonicalFilePath() !=
                                          QFileInfo(layout.packagedHelperPath).canonicalFilePath();
    return installation;
}

} // namespace

FRWHelperInstallation::Kind FRWHelperInstallation::classify(const std::optional<QString>& socketUnitFile,
                                                            const FRWHelperLayout& layout,
                                                            bool packagedOnDisk, bool buildFolderOnDisk)
{
    // A unit systemd loads from anywhere but the build folder's place was not written by Ferrow.
    const bool systemsUnit =
        socketUnitFile && socketUnitFile->startsWith(u'/') &&
        QFileInfo(*socketUnitFile).absoluteFilePath() != QFileInfo(layout.socketUnitPath).absoluteFilePath();
    const bool packaged = systemsUnit || packagedOnDisk;
    if (packaged && buildFolderOnDisk) {
        return Kind::Both;
    }
    return packaged ? Kind::Packaged : buildFolderOnDisk ? Kind::BuildFolder : Kind::None;
}

bool buildFolderHelperOnDisk(const FRWHelperLayout& layout)
{
    return !layout.installedHelperPath.isEmpty() && QFile::exists(layout.socketUnitPath) &&
           QFile::exists(layout.serviceUnitPath) && QFile::exists(layout.installedHelperPath);
}

bool packagedHelperOnDisk(const FRWHelperLayout& layout)
{
    return !layout.packagedHelperPath.isEmpty() && QFile::exists(layout.packagedHelperPath) &&
           packagedUnitOnDisk(layout);
}

FRWHelperInstallation helperInstallationOnDisk(const FRWHelperLayout& layout)
{
    return withKind(FRWHelperInstallation::classify(std::nullopt, layout, packagedHelperOnDisk(layout),
                                                    buildFolderHelperOnDisk(layout)),
                    layout);
}

void detectHelperInstallation(const FRWHelperLayout& layout, QObject* context,
                              std::function<void(FRWHelperInstallation)> completion)
{
    const QString socketUnit = QFileInfo(layout.socketUnitPath).fileName();
    const QPointer<QObject> guard(context);
    runTool(context, layout.systemctlPath,
            {QStringLiteral("show"), QStringLiteral("--property=FragmentPath"), QStringLiteral("--value"),
             socketUnit},
            [layout, guard, completion = std::move(completion)](const std::optional<QString>& unitFile) {
                FRWHelperInstallation installation =
                    withKind(FRWHelperInstallation::classify(unitFile, layout, packagedHelperOnDisk(layout),
                                                             buildFolderHelperOnDisk(layout)),
                             layout);
                if (!installation.packaged() || !guard) {
                    return completion(installation);
                }
                runTool(guard, layout.dpkgQueryPath,
                        {QStringLiteral("--show"), QStringLiteral("--showformat=${Version}"),
                         QLatin1String(ferrow::kPackageName)},
                        [installation, completion](const std::optional<QString>& version) mutable {
                            installation.packageVersion = version.value_or(QString());
                            completion(installation);
                        });
            });
}
