#include "FRWScreenSymbols.h"

#include "FRWSymbols.h"

// Outside any namespace: the resource initialiser is declared where this macro stands.
static void initSettingsResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(ferrow_settings_resources);
        return true;
    }();
    (void)done;
}

QPixmap FRWScreenSymbols::pixmap(const QString& symbol, int points, const QColor& color,
                                 qreal devicePixelRatio)
{
    initSettingsResources();
    return FRWSymbols::tinted(symbol, QSize(points, points), color, devicePixelRatio);
}

QIcon FRWScreenSymbols::icon(const QString& symbol, const FRWDynamicColor& color)
{
    initSettingsResources();
    return FRWSymbols::themedIcon(symbol, color);
}
