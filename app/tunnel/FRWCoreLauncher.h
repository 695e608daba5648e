#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;

/// Starts core processes with a fresh API secret and waits for their api-info file. GUI thread.
class FRWCoreLauncher : public QObject {
    Q_OBJECT

public:
    enum class Output { Inherited, Discarded };
    /// Whether the core ends with the app. The System Proxy core outlives a crash on purpose: the
    /// desktop still points at it, and the next launch stops it.
    enum class Lifetime { OutlivesApp, EndsWithApp };

    FRWCoreLauncher(QString corePath, int readinessIntervalMs, int readinessLastAttempt,
                    QObject* parent = nullptr);

    const QString& corePath() const { return m_corePath; }

    /// The started process (owned by the launcher, deleted once it has finished), or null with
    /// the launch error. With inherited output, the core's last error line is kept in `lastError`
    /// when one is given, so a core that ends during start-up can be reported by its own words.
    QProcess* launch(const QStringList& arguments, Output output, Lifetime lifetime, QString* error,
                     std::shared_ptr<QString> lastError = nullptr);
    /// What a core's stderr line says when it reports an error ("" when it does not).
    static QString errorText(QStringView line);
    /// Asks the process to end, and kills it when it has not after a grace period.
    static void terminate(QProcess* process);
    static bool isRunning(const QProcess* process);
    static QString randomAPISecret();

    /// Reads the api-info file at `path` every interval until it is valid, the process ends, or
    /// the attempts run out; the completion gets the record or nothing.
    void pollForAPIInfoAt(const QString& path, QProcess* task, int attempt,
                          std::function<void(std::optional<QJsonObject>)> completion);

private:
    QString m_corePath;
    int m_intervalMs;
    int m_lastAttempt;
};
