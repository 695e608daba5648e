#pragma once

#include <QRect>
#include <QRectF>

/// Placing what a painter draws by hand in a right-to-left layout: the geometry is worked out for
/// left-to-right, then mirrored within the area it belongs to.
namespace FRWDirection {

/// `part`, measured left-to-right inside a strip `width` wide from x = 0, on the side it takes in
/// `direction`.
QRectF place(Qt::LayoutDirection direction, double width, const QRectF& part);
QRect place(Qt::LayoutDirection direction, int width, const QRect& part);

/// Text alignment to the leading or trailing edge for `direction`, whatever the text's own script
/// (a Latin host name is still right-aligned on a right-to-left page).
Qt::Alignment leading(Qt::LayoutDirection direction);
Qt::Alignment trailing(Qt::LayoutDirection direction);

} // namespace FRWDirection
