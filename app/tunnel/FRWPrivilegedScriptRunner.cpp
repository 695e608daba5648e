#include "FRWPrivilegedScriptRunner.h"

#include <QProcess>

#include <memory>

void FRWPrivilegedScriptRunner::run(const QString& script, std::function<void(FRWResult)> completion) const
{
    auto* process = new QProcess;
    process->setStandardInputFile(QProcess::nullDevice());
    // The script's output is not ours to read; its errors still reach the log.
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    auto done = std::make_shared<bool>(false);
    auto shared = std::make_shared<std::function<void(FRWResult)>>(std::move(completion));
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, shared, done](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart || *done) {
                             return;
                         }
                         *done = true;
                         (*shared)(FRWError::ferrow(process->errorString()));
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::finished, process,
                     [process, shared, done](int status, QProcess::ExitStatus exitStatus) {
                         if (*done) {
                             return;
                         }
                         *done = true;
                         if (exitStatus == QProcess::NormalExit && status == 0) {
                             (*shared)(std::nullopt);
                         } else {
                             (*shared)(FRWError::ferrow(QStringLiteral("Authorization was cancelled.")));
                         }
                         process->deleteLater();
                     });
    process->start(m_pkexecPath, {QStringLiteral("/bin/bash"), QStringLiteral("-c"), script});
}
