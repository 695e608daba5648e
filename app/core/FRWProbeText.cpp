#include "FRWProbeText.h"

#include <QCoreApplication>

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
        return QCoreApplication::translate("FRWProbeText", "never");
    }
    const qint64 seconds = updated.secsTo(now);
    if (seconds < 60) {
        return QCoreApplication::translate("FRWProbeText", "just now");
    }
    // No English catalogue ships, so English picks its singular here; other languages pick
    // their own forms from the count.
    if (seconds < 3600) {
        const int minutes = static_cast<int>(seconds / 60);
        return minutes == 1 ? QCoreApplication::translate("FRWProbeText", "%n minute ago", nullptr, minutes)
                            : QCoreApplication::translate("FRWProbeText", "%n minutes ago", nullptr, minutes);
    }
    const int hours = static_cast<int>(seconds / 3600);
    return hours == 1 ? QCoreApplication::translate("FRWProbeText", "%n hour ago", nullptr, hours)
                      : QCoreApplication::translate("FRWProbeText", "%n hours ago", nullptr, hours);
}

} // namespace FRWProbeText
