#include "FRWProbeText.h"

namespace FRWProbeText {

QString none()
{
    return QStringLiteral("\u2014");
}

QString milliseconds(double ms)
{
    return QString::asprintf(ms < 10 ? "%.1f" : "%.0f", ms);
}

QString age(const QDateTime& updated, const QDateTime& now)
{
    if (!updated.isValid()) {
        return QStringLiteral("never");
    }
    const qint64 seconds = updated.secsTo(now);
    if (seconds < 60) {
        return QStringLiteral("just now");
    }
    const auto plural = [](qint64 n) { return n == 1 ? QString() : QStringLiteral("s"); };
    if (seconds < 3600) {
        const qint64 minutes = seconds / 60;
        return QStringLiteral("%1 minute%2 ago").arg(minutes).arg(plural(minutes));
    }
    const qint64 hours = seconds / 3600;
    return QStringLiteral("%1 hour%2 ago").arg(hours).arg(plural(hours));
}

} // namespace FRWProbeText
