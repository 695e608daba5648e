#include "FRWSymbols.h"

#include <QFile>
#include <QHash>
#include <QPainter>

#include "FRWNames.h"

namespace {
bool g_prefersTheme = true;

const QHash<QString, QString>& themeNames()
{
    // Symbolic (monochrome) names: they tint cleanly. No common name means "branch", so that
    // one always uses the project's drawing.
    static const QHash<QString, QString> names{
        {QStringLiteral("waveform.path.ecg"), QStringLiteral("utilities-system-monitor-symbolic")},
        {QStringLiteral("square.grid.2x2"), QStringLiteral("view-grid-symbolic")},
        {QStringLiteral("point.3.connected.trianglepath.dotted"),
         QStringLiteral("network-workgroup-symbolic")},
        {QStringLiteral("terminal"), QStringLiteral("utilities-terminal-symbolic")},
        {QStringLiteral("macstudio"), QStringLiteral("computer-symbolic")},
        {QStringLiteral("doc.text"), QStringLiteral("text-x-generic-symbolic")},
        {QStringLiteral("arrow.triangle.branch"), QString()},
        {QStringLiteral("list.bullet"), QStringLiteral("view-list-bullet-symbolic")},
        {QStringLiteral("text.alignleft"), QStringLiteral("format-justify-left-symbolic")},
        {QStringLiteral("info.circle"), QStringLiteral("help-about-symbolic")},
        {QStringLiteral("gearshape"), QStringLiteral("preferences-system-symbolic")},
        {QStringLiteral("chevron.down"), QStringLiteral("pan-down-symbolic")},
        {QStringLiteral("arrow.clockwise"), QStringLiteral("view-refresh-symbolic")},
    };
    return names;
}
} // namespace

// Outside any namespace: the resource initialiser is declared where this macro stands.
static void initResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(ferrow_resources);
        return true;
    }();
    (void)done;
}

QString FRWSymbols::themeName(const QString& symbol)
{
    return themeNames().value(symbol);
}

QString FRWSymbols::fallbackPath(const QString& symbol)
{
    initResources();
    const QString path = QStringLiteral(":/symbols/%1.svg").arg(symbol);
    return !symbol.isEmpty() && QFile::exists(path) ? path : QString();
}

QIcon FRWSymbols::applicationIcon()
{
    initResources();
    const QIcon own(QStringLiteral(":/app/zq.orbel.ferrow-mac.svg"));
    const QString name = QLatin1String(ferrow::kApplicationIdentifier);
    return g_prefersTheme && QIcon::hasThemeIcon(name) ? QIcon::fromTheme(name, own) : own;
}

QIcon FRWSymbols::icon(const QString& symbol)
{
    const QString fallback = fallbackPath(symbol);
    QIcon own = fallback.isEmpty() ? QIcon() : QIcon(fallback);
    const QString name = themeName(symbol);
    if (g_prefersTheme && !name.isEmpty() && QIcon::hasThemeIcon(name)) {
        return QIcon::fromTheme(name, own);
    }
    return own;
}

QPixmap FRWSymbols::tinted(const QString& symbol, const QSize& size, const QColor& color,
                           qreal devicePixelRatio)
{
    const QIcon source = icon(symbol);
    if (source.isNull() || size.isEmpty()) {
        return {};
    }
    const qreal dpr = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    // Fit the icon into size keeping its proportions; small bitmap icons are not blown up.
    QSize logical = source.actualSize(size);
    if (logical.isEmpty()) {
        logical = size;
    }
    QImage image(logical * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        source.paint(&painter, QRect(QPoint(0, 0), logical));
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(QRect(QPoint(0, 0), logical), color);
    }
    return QPixmap::fromImage(image);
}

void FRWSymbols::setPrefersThemeIcons(bool prefers)
{
    g_prefersTheme = prefers;
}

bool FRWSymbols::prefersThemeIcons()
{
    return g_prefersTheme;
}
