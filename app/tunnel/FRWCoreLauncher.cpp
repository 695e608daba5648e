#include "FRWCoreLauncher.h"

#include <array>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>

#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QTimer>

#include "FRWAPIInfo.h"
#include "FRWNames.h"

namespace {
constexpr int kTerminateGraceMs = 5000;
} // namespace

FRWCoreLauncher::FRWCoreLauncher(QString corePath, int readinessIntervalMs, int readinessLastAttempt,
                                 QObject* parent)
    : QObject(parent)
    , m_corePath(std::move(corePath))
    , m_intervalMs(readinessIntervalMs)
    , m_lastAttempt(readinessLastAttempt)
{
}

bool FRWCoreLauncher::isRunning(const QProcess* process)
{
    return process && process->state() != QProcess::NotRunning;
}

QString FRWCoreLauncher::randomAPISecret()
{
    std::array<quint32, 6> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(words.data()), sizeof words).toHex());
}

QString FRWCoreLauncher::errorText(QStringView line)
{
    // "ferrow-core: <time> [error] <text>" from the core's log, "ferrow-core: fatal: <text>" otherwise.
    static const QString tag = QStringLiteral("[error] ");
    static const QString fatal = QStringLiteral("ferrow-core: fatal: ");
    if (const qsizetype at = line.indexOf(tag); at >= 0) {
        return line.sliced(at + tag.size()).trimmed().toString();
    }
    if (line.startsWith(fatal)) {
        return line.sliced(fatal.size()).trimmed().toString();
    }
    return {};
}

QProcess* FRWCoreLauncher::launch(const QStringList& arguments, Output output, Lifetime lifetime,
                                  QString* error, std::shared_ptr<QString> lastError)
{
    // The common failures are known without starting anything; the rest arrive as FailedToStart.
    const QFileInfo core(m_corePath);
    if (!core.isFile() || !core.isExecutable()) {
        *error = tr("%1 is not an executable file").arg(m_corePath);
        return nullptr;
    }
    auto* process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(ferrow::kAPISecretEnvironmentVariable), randomAPISecret());
    process->setProcessEnvironment(environment);
    process->setStandardInputFile(QProcess::nullDevice());
    if (output == Output::Discarded) {
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
    } else {
        // Passed on as before, but read on the way, so its last complaint can be shown.
        process->setProcessChannelMode(QProcess::ForwardedOutputChannel);
        const auto relay = [process, lastError = std::move(lastError),
                            pending = std::make_shared<QByteArray>()] {
            const QByteArray text = process->readAllStandardError();
            std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
            pending->append(text);
            qsizetype end = 0;
            while ((end = pending->indexOf('\n')) >= 0) {
                const QString found = errorText(QString::fromUtf8(pending->first(end)));
                pending->remove(0, end + 1);
                if (lastError && !found.isEmpty()) {
                    *lastError = found;
                }
            }
        };
        connect(process, &QProcess::readyReadStandardError, process, relay);
        connect(process, &QProcess::finished, process, relay);
    }
    if (lifetime == Lifetime::EndsWithApp) {
        process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    }
    // Not waited for: the start finishes on its own, and a core that cannot start ends like one that
    // exited at once, through `finished`, which every holder of a core already handles.
    connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError failure) {
        if (failure == QProcess::FailedToStart) {
            qWarning("ferrow: the core could not start: %s", qPrintable(process->errorString()));
            emit process->finished(-1, QProcess::CrashExit);
        }
    });
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->start(m_corePath, arguments);
    if (process->state() == QProcess::NotRunning) {
        // Refused at once, before anyone could hear of it.
        *error = process->errorString();
        process->deleteLater();
        return nullptr;
    }
    return process;
}

void FRWCoreLauncher::terminate(QProcess* process)
{
    if (!isRunning(process)) {
        return;
    }
    process->terminate();
    // A core that ignores the request does not get to outlive us.
    QTimer::singleShot(kTerminateGraceMs, process, [process] {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
        }
    });
}

void FRWCoreLauncher::pollForAPIInfoAt(const QString& path, QProcess* task, int attempt,
                                       std::function<void(std::optional<QJsonObject>)> completion)
{
    if (std::optional<QJsonObject> info = FRWAPIInfo::read(path)) {
        return completion(std::move(info));
    }
    if (attempt > m_lastAttempt || !isRunning(task)) {
        return completion(std::nullopt);
    }
    const QPointer<FRWCoreLauncher> self(this);
    const QPointer<QProcess> guarded(task);
    QTimer::singleShot(m_intervalMs, [self, path, guarded, attempt, completion = std::move(completion)] {
        if (!self) {
            return completion(std::nullopt);
        }
        self->pollForAPIInfoAt(path, guarded, attempt + 1, completion);
    });
}
