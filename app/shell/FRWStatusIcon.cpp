#include "FRWStatusIcon.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "FRWTheme.h"

namespace FRWStatusIcon {

QImage menuBarIconBadgedWith(const QString& letter, const QColor& ink, qreal scale)
{
    QImage image(qRound(kWidth * scale), qRound(kHeight * scale), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(scale);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // The design's coordinates have their origin at the bottom left.
    const auto y = [](qreal fromBottom) { return kHeight - fromBottom; };

    QPen stroke(ink, 2);
    stroke.setCapStyle(Qt::RoundCap);
    painter.setPen(stroke);
    for (const auto& [length, height] : {std::pair{11.0, 15.5}, std::pair{7.5, 12.0}, std::pair{8.0, 8.5}}) {
        painter.drawLine(QPointF(7 - length / 2, y(height)), QPointF(7 + length / 2, y(height)));
    }

    const QRectF square(11.5, y(8.5), 8.5, 8.5);
    QPainterPath rounded;
    rounded.addRoundedRect(square, 2, 2);
    painter.fillPath(rounded, ink);

    QFont font = FRWTheme::font(7, QFont::Black);
    font.setPixelSize(7);
    painter.setFont(font);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    painter.setPen(Qt::black);
    painter.drawText(square, Qt::AlignCenter, letter);
    return image;
}

QIcon trayIcon(const QString& letter, const QColor& ink, bool disabled)
{
    // Where Ferrow is installed, panels that recolour symbolic icons get the themed one by name.
    const QString mode = letter == QLatin1String("D")   ? QStringLiteral("direct")
                         : letter == QLatin1String("G") ? QStringLiteral("global")
                                                        : QStringLiteral("rule");
    const QString themed = QStringLiteral("ferrow-status-%1-symbolic").arg(mode);
    if (!disabled && QIcon::hasThemeIcon(themed)) {
        return QIcon::fromTheme(themed);
    }
    QColor colour = ink;
    if (disabled) {
        colour.setAlphaF(0.4);
    }
    QIcon icon;
    for (const qreal scale : {1.0, 2.0}) {
        icon.addPixmap(QPixmap::fromImage(menuBarIconBadgedWith(letter, colour, scale)));
    }
    return icon;
}

} // namespace FRWStatusIcon
