#include "FRWSymbols.h"

#include <QFile>
#include <QHash>
#include <QIconEngine>
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
/// Paints a symbol in a theme colour resolved at paint time.
class ThemedSymbolEngine : public QIconEngine {
public:
    ThemedSymbolEngine(QString symbol, FRWDynamicColor color) : m_symbol(std::move(symbol)), m_color(color) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State /*state*/) override
    {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const QPixmap image = FRWSymbols::tinted(m_symbol, rect.size(), colorFor(mode), dpr);
        const QSize logical = image.deviceIndependentSize().toSize();
        painter->drawPixmap(QRect(rect.topLeft() + QPoint((rect.width() - logical.width()) / 2,
                                                          (rect.height() - logical.height()) / 2),
                                  logical),
                            image);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State /*state*/, qreal scale) override
    {
        // Always exactly the size asked for, the symbol centred in it.
        QPixmap out(size * scale);
        out.setDevicePixelRatio(scale);
        out.fill(Qt::transparent);
        const QPixmap image = FRWSymbols::tinted(m_symbol, size, colorFor(mode), scale);
        QPainter painter(&out);
        const QSize logical = image.deviceIndependentSize().toSize();
        painter.drawPixmap(
            QPoint((size.width() - logical.width()) / 2, (size.height() - logical.height()) / 2), image);
        return out;
    }

    QSize actualSize(const QSize& size, QIcon::Mode /*mode*/, QIcon::State /*state*/) override
    {
        return size;
    }
    QIconEngine* clone() const override { return new ThemedSymbolEngine(m_symbol, m_color); }
    QString key() const override { return QStringLiteral("FRWThemedSymbol"); }
    bool isNull() override { return FRWSymbols::icon(m_symbol).isNull(); }

private:
    QColor colorFor(QIcon::Mode mode) const
    {
        QColor color = m_color.resolved();
        if (mode == QIcon::Disabled) {
            color.setAlphaF(color.alphaF() * 0.45f);
        }
        return color;
    }

    QString m_symbol;
    FRWDynamicColor m_color;
};
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

QIcon FRWSymbols::themedIcon(const QString& symbol, const FRWDynamicColor& color)
{
    if (icon(symbol).isNull()) {
        return {};
    }
    return QIcon(new ThemedSymbolEngine(symbol, color));
}

void FRWSymbols::setPrefersThemeIcons(bool prefers)
{
    g_prefersTheme = prefers;
}

bool FRWSymbols::prefersThemeIcons()
{
    return g_prefersTheme;
}
