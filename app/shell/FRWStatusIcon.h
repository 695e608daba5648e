#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

/// The tray icon: three strokes, a rounded square, and the outbound letter cut out of it. Drawn in
/// one colour (the panel's text colour), since tray icons are not tinted for the panel on Linux.
namespace FRWStatusIcon {

inline constexpr int kWidth = 20;
inline constexpr int kHeight = 18;

/// The icon at `scale` device pixels per point.
QImage menuBarIconBadgedWith(const QString& letter, const QColor& ink, qreal scale = 2.0);
/// The tray's icon: normal, and a faded form for when neither routing mode runs.
QIcon trayIcon(const QString& letter, const QColor& ink, bool disabled);

} // namespace FRWStatusIcon
