#include "FRWPrivilegedScriptRunner.h"

#include <cstdio>
#include <memory>

#include <QCoreApplication>
#include <QProcess>

namespace {

// pkexec's own exit statuses; any other is the script's.
constexpr int kPromptDismissed = 126;
constexpr int kNotAuthorized = 127;

} // namespace

QString FRWPrivilegedScriptRunner::failureText(int status, const QString& scriptError)
{
    if (status == kPromptDismissed) {
        return QCoreApplication::translate("FRWPrivilegedScriptRunner", "Authorization was cancelled.");
    }
    if (status == kNotAuthorized) {
        return QCoreApplication::translate(
            "FRWPrivilegedScriptRunner",
            "This account is not allowed to make this change, or the password could not be checked.");
    }
    if (!scriptError.isEmpty()) {
        return scriptError;
    }
    return QCoreApplication::translate("FRWPrivilegedScriptRunner", "The change failed (exit status %1).")
        .arg(status);
}

void FRWPrivilegedScriptRunner::run(const QString& script, std::function<void(FRWResult)> completion) const
{
    auto* process = new QProcess;
    process->setStandardInputFile(QProcess::nullDevice());
    // The script's output is not ours to read; its errors still reach the log, and the last one
    // says why it failed.
    process->setStandardOutputFile(QProcess::nullDevice());
    auto done = std::make_shared<bool>(false);
    auto lastError = std::make_shared<QString>();
    auto shared = std::make_shared<std::function<void(FRWResult)>>(std::move(completion));
    QObject::connect(process, &QProcess::readyReadStandardError, process, [process, lastError] {
        const QByteArray text = process->readAllStandardError();
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
        for (const QByteArray& line : text.split('\n')) {
            if (!line.trimmed().isEmpty()) {
                *lastError = QString::fromUtf8(line.trimmed());
            }
        }
    });
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
                     [process, shared, done, lastError](int status, QProcess::ExitStatus exitStatus) {
                         if (*done) {
                             return;
                         }
                         *done = true;
                         if (exitStatus == QProcess::NormalExit && status == 0) {
                             (*shared)(std::nullopt);
                         } else {
                             (*shared)(FRWError::ferrow(
                                 failureText(exitStatus == QProcess::NormalExit ? status : -1, *lastError)));
                         }
                         process->deleteLater();
                     });
    process->start(m_pkexecPath, {QStringLiteral("/bin/bash"), QStringLiteral("-c"), script});
}
