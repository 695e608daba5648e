#pragma once

#include <QDateTime>
#include <QString>

/// Display texts of the network probes.
namespace FRWProbeText {

/// The no-value mark, an em dash.
QString none();
/// Milliseconds without unit: one decimal below 10 ("4.2"), none from 10 on ("13").
QString milliseconds(double ms);
/// How old the public address is: "never", "just now", "1 minute ago", "26 hours ago".
QString age(const QDateTime& updated, const QDateTime& now);

} // namespace FRWProbeText
