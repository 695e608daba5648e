#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include "FRWTheme.h"

/// The Settings and About pages' own symbols ("checkmark", "checkmark.circle.fill", "doc.on.doc").
namespace FRWScreenSymbols {

/// The symbol tinted in one colour, `points` square.
QPixmap pixmap(const QString& symbol, int points, const QColor& color, qreal devicePixelRatio = 2.0);

/// The symbol as an icon drawn in the theme colour of the moment it is painted.
QIcon icon(const QString& symbol, const FRWDynamicColor& color);

} // namespace FRWScreenSymbols
