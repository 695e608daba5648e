#include "FRWToolRunner.h"

#include <QProcess>

#include "FRWUtf8.h"

namespace {
// A settings tool that has not answered in this time is stuck; its answer no longer matters.
constexpr int kToolTimeoutMs = 20 * 1000;
} // namespace

FRWToolResult FRWToolRunner::run(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(tool, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(kToolTimeoutMs)) {
        return {};
    }
    if (!process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    FRWToolResult result;
    result.output = FRWUtf8::decode(process.readAllStandardOutput()).value_or(QString());
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}
