#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

#include "FRWTheme.h"

/// Symbol images by symbol name ("gearshape", "chevron.down"): the desktop icon
/// theme's icon of the same meaning, else the project's own drawing, so no symbol is ever blank.
class FRWSymbols {
public:
    FRWSymbols() = delete;

    /// The freedesktop icon name used for a symbol, or an empty string when there is none.
    static QString themeName(const QString& symbol);
    /// The resource path of the project's own drawing, or an empty string for an unknown symbol.
    static QString fallbackPath(const QString& symbol);
    /// Theme icon first (when allowed), then the project's drawing; null for an unknown symbol.
    static QIcon icon(const QString& symbol);
    /// The symbol drawn in one colour, like a template image, fitted into size (never scaled up).
    static QPixmap tinted(const QString& symbol, const QSize& size, const QColor& color,
                          qreal devicePixelRatio);

    /// The symbol as an icon drawn in `color` resolved when it is painted, so it follows every
    /// appearance change without being set again. Disabled, it is drawn at reduced opacity.
    static QIcon themedIcon(const QString& symbol, const FRWDynamicColor& color);

    /// Ferrow's own icon: the installed one from the icon theme, else the drawing built in.
    static QIcon applicationIcon();

    /// The snapshot tool turns theme icons off so images do not depend on the machine's theme.
    static void setPrefersThemeIcons(bool prefers);
    static bool prefersThemeIcons();
};
