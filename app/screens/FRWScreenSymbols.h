#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

/// The Settings and About pages' own symbols ("checkmark", "checkmark.circle.fill", "doc.on.doc").
namespace FRWScreenSymbols {

/// The symbol tinted in one colour, `points` square.
QPixmap pixmap(const QString& symbol, int points, const QColor& color, qreal devicePixelRatio = 2.0);

} // namespace FRWScreenSymbols
