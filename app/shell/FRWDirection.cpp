#include "FRWDirection.h"

namespace FRWDirection {

QRectF place(Qt::LayoutDirection direction, double width, const QRectF& part)
{
    if (direction != Qt::RightToLeft) {
        return part;
    }
    return {width - part.right(), part.top(), part.width(), part.height()};
}

QRect place(Qt::LayoutDirection direction, int width, const QRect& part)
{
    if (direction != Qt::RightToLeft) {
        return part;
    }
    // QRect::right() is one short of the edge.
    return {width - part.x() - part.width(), part.y(), part.width(), part.height()};
}

Qt::Alignment leading(Qt::LayoutDirection direction)
{
    return Qt::AlignAbsolute | (direction == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft);
}

Qt::Alignment trailing(Qt::LayoutDirection direction)
{
    return Qt::AlignAbsolute | (direction == Qt::RightToLeft ? Qt::AlignLeft : Qt::AlignRight);
}

} // namespace FRWDirection
