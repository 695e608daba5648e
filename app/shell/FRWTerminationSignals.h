#pragma once

#include <QObject>

class QSocketNotifier;

/// Turns SIGTERM, SIGINT and SIGHUP into a signal on the GUI thread, so that a desktop ending
/// the session or a `kill` takes the same orderly way out as "Quit Ferrow".
class FRWTerminationSignals : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FRWTerminationSignals)

public:
    explicit FRWTerminationSignals(QObject* parent = nullptr);
    ~FRWTerminationSignals() override;

signals:
    void terminationRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};
