#include "FRWTheme.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QScrollBar>
#include <QWidget>

#include "FRWAppearance.h"

namespace {
QColor rgba(QRgb rgb, qreal alpha)
{
    QColor color = QColor::fromRgb(rgb);
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

FRWDynamicColor dynamic(QRgb light, qreal lightAlpha, QRgb dark, qreal darkAlpha)
{
    return {rgba(light, lightAlpha), rgba(dark, darkAlpha)};
}
} // namespace

QColor FRWDynamicColor::resolved() const
{
    return resolve(FRWAppearance::shared()->isDark());
}

QColor FRWDynamicColor::resolvedWithAlpha(qreal alpha) const
{
    QColor color = resolved();
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

// clang-format off
FRWDynamicColor FRWTheme::windowGradientTop()    { return dynamic(0xEAF0FA, 1, 0x232936, 1); }
FRWDynamicColor FRWTheme::windowGradientMid()    { return dynamic(0xEFF0F6, 1, 0x24242C, 1); }
FRWDynamicColor FRWTheme::windowGradientBottom() { return dynamic(0xF6F4F7, 1, 0x201F26, 1); }
FRWDynamicColor FRWTheme::cardBackground()       { return dynamic(0xFFFFFF, 0.8, 0x000000, 0.2); }
FRWDynamicColor FRWTheme::controlBackground()    { return dynamic(0xFFFFFF, 0.8, 0x000000, 0.2); }
FRWDynamicColor FRWTheme::primaryText()          { return dynamic(0x131417, 1, 0xEAEAEA, 1); }
FRWDynamicColor FRWTheme::label()                { return dynamic(0x202327, 1, 0xDDDDDD, 1); }
FRWDynamicColor FRWTheme::secondaryLabel()       { return dynamic(0x676A72, 1, 0x92969F, 1); }
FRWDynamicColor FRWTheme::sidebarTitle()         { return dynamic(0x131417, 1, 0xFFFFFF, 1); }
FRWDynamicColor FRWTheme::sidebarHeader()        { return dynamic(0x131417, 0.62, 0xFFFFFF, 0.55); }
FRWDynamicColor FRWTheme::border()               { return dynamic(0xE8E2E0, 1, 0x534B44, 1); }
FRWDynamicColor FRWTheme::separator()            { return dynamic(0x000000, 0.12, 0xFFFFFF, 0.12); }
FRWDynamicColor FRWTheme::accentBlue()           { return dynamic(0x0CBEFF, 1, 0x0CBEFF, 1); }
FRWDynamicColor FRWTheme::cyan()                 { return dynamic(0x20CDCD, 1, 0x26C0C0, 1); }
FRWDynamicColor FRWTheme::purple()               { return dynamic(0x6C5CE7, 1, 0x8677F0, 1); }
FRWDynamicColor FRWTheme::magenta()              { return dynamic(0xCC47CC, 1, 0xE060E0, 1); }
FRWDynamicColor FRWTheme::indigo()               { return dynamic(0x7B61FF, 1, 0x9280FF, 1); }
FRWDynamicColor FRWTheme::buttonHovered()        { return dynamic(0x000000, 0.1, 0xFFFFFF, 0.1); }
FRWDynamicColor FRWTheme::buttonHighlighted()    { return dynamic(0x000000, 0.15, 0xFFFFFF, 0.15); }
FRWDynamicColor FRWTheme::selectionBackground()  { return dynamic(0x000000, 0.085, 0xFFFFFF, 0.11); }
FRWDynamicColor FRWTheme::sidebarHover()         { return dynamic(0x000000, 0.045, 0xFFFFFF, 0.06); }
FRWDynamicColor FRWTheme::sidebarBackground()    { return QColor(Qt::transparent); }
FRWDynamicColor FRWTheme::statusGreen()          { return QColor(52, 199, 89); }
FRWDynamicColor FRWTheme::statusOrange()         { return QColor(255, 149, 0); }
FRWDynamicColor FRWTheme::statusRed()            { return QColor(255, 59, 48); }
FRWDynamicColor FRWTheme::statusBlue()           { return QColor(0, 122, 255); }
FRWDynamicColor FRWTheme::tertiaryLabel()        { return dynamic(0x000000, 0.5, 0xFFFFFF, 0.45); }
FRWDynamicColor FRWTheme::greenText()            { return dynamic(0x1F7836, 1, 0x34C759, 1); }
FRWDynamicColor FRWTheme::orangeText()           { return dynamic(0xAD4F00, 1, 0xFF9500, 1); }
FRWDynamicColor FRWTheme::redText()              { return dynamic(0xC90B00, 1, 0xFF6259, 1); }
FRWDynamicColor FRWTheme::accentBlueText()       { return dynamic(0x00719B, 1, 0x0CBEFF, 1); }
FRWDynamicColor FRWTheme::magentaText()          { return dynamic(0xA72EA7, 1, 0xE26DE2, 1); }
FRWDynamicColor FRWTheme::indigoText()           { return dynamic(0x5D3DFF, 1, 0x9D8DFF, 1); }
// clang-format on

QColor FRWTheme::composite(const QColor& over, const QColor& under)
{
    const qreal a = over.alphaF();
    return QColor::fromRgbF(static_cast<float>(over.redF() * a + under.redF() * (1 - a)),
                            static_cast<float>(over.greenF() * a + under.greenF() * (1 - a)),
                            static_cast<float>(over.blueF() * a + under.blueF() * (1 - a)));
}

double FRWTheme::contrastRatio(const QColor& foreground, const QColor& background)
{
    const auto luminance = [](const QColor& color) {
        const auto channel = [](double c) {
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
               0.0722 * channel(color.blueF());
    };
    const double a = luminance(composite(foreground, background));
    const double b = luminance(background);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor FRWTheme::opaqueCard(bool dark, int stop)
{
    const FRWDynamicColor window = stop <= 0   ? windowGradientTop()
                                   : stop == 1 ? windowGradientMid()
                                               : windowGradientBottom();
    return composite(cardBackground().resolve(dark), window.resolve(dark));
}

QList<FRWContrastPair> FRWTheme::contrastPairs()
{
    // Cards and the window are checked wherever the gradient runs: its top, middle and bottom.
    QList<FRWContrastPair> pairs;
    const FRWDynamicColor windows[] = {windowGradientTop(), windowGradientMid(), windowGradientBottom()};
    for (int stop = 0; stop < 3; ++stop) {
        const FRWDynamicColor card(opaqueCard(false, stop), opaqueCard(true, stop));
        const FRWDynamicColor& window = windows[stop];
        pairs += {
            {"primary text on a card", primaryText(), card, kTextContrast},
            {"label on a card", label(), card, kTextContrast},
            {"secondary text on a card", secondaryLabel(), card, kTextContrast},
            {"large numbers on a card", primaryText(), card, kLargeContrast},
            {"symbols in the label colour on a card", label(), card, kLargeContrast},
            {"symbols in the secondary colour on a card", secondaryLabel(), card, kLargeContrast},
            {"device symbols on a card", statusBlue(), card, kLargeContrast},
            {"page titles on the window", primaryText(), window, kTextContrast},
            {"secondary text on the window", secondaryLabel(), window, kTextContrast},
            {"sidebar titles", sidebarTitle(), window, kTextContrast},
            {"sidebar section headers", sidebarHeader(), window, kTextContrast},
            {"menu chevrons", tertiaryLabel(), window, kLargeContrast},
        };
        // Coloured text sits on cards and the window; the status colours also on their own badge.
        const struct {
            const char* name;
            FRWDynamicColor text;
            FRWDynamicColor fill;
        } coloured[] = {
            {"green text", greenText(), statusGreen()},
            {"orange text", orangeText(), statusOrange()},
            {"red text", redText(), statusRed()},
            {"accent blue text", accentBlueText(), accentBlue()},
            {"magenta headings", magentaText(), magenta()},
            {"indigo headings", indigoText(), indigo()},
        };
        for (const auto& entry : coloured) {
            const FRWDynamicColor badge(composite(rgba(entry.fill.light.rgb(), kBadgeFillAlpha), card.light),
                                        composite(rgba(entry.fill.dark.rgb(), kBadgeFillAlpha), card.dark));
            pairs += {
                {entry.name, entry.text, card, kTextContrast},
                {entry.name, entry.text, window, kTextContrast},
                {entry.name, entry.text, badge, kTextContrast},
            };
        }
    }
    return pairs;
}

QFont FRWTheme::font(qreal size, QFont::Weight weight)
{
    QFont font = QApplication::font();
    font.setPointSizeF(size * 72.0 / 96.0);
    font.setWeight(weight);
    return font;
}

void FRWTheme::bindTextColor(QWidget* widget, const FRWDynamicColor& color)
{
    // The colour lives on the widget, so binding again replaces it instead of stacking connections.
    const bool bound = widget->property("frwTextLight").isValid();
    widget->setProperty("frwTextLight", color.light);
    widget->setProperty("frwTextDark", color.dark);
    const auto apply = [widget] {
        const FRWDynamicColor bound(widget->property("frwTextLight").value<QColor>(),
                                    widget->property("frwTextDark").value<QColor>());
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, bound.resolved());
        palette.setColor(QPalette::Text, bound.resolved());
        widget->setPalette(palette);
    };
    apply();
    if (!bound) {
        QObject::connect(FRWAppearance::shared(), &FRWAppearance::changed, widget, apply);
    }
}

QLabel* FRWTheme::label(const QString& text, qreal size, QFont::Weight weight, const FRWDynamicColor& color)
{
    auto* result = new QLabel(text);
    result->setFont(font(size, weight));
    bindTextColor(result, color);
    // Otherwise the text's own direction decides, and a Latin name would hug the left edge of a
    // right-to-left page.
    if (QGuiApplication::layoutDirection() == Qt::RightToLeft) {
        result->setAlignment(Qt::AlignAbsolute | Qt::AlignRight | Qt::AlignVCenter);
    }
    return result;
}

void FRWTheme::styleScroller(QScrollBar* bar)
{
    const auto apply = [bar] {
        const bool scrolls = bar->maximum() > bar->minimum();
        const QColor handle =
            scrolls ? FRWTheme::secondaryLabel().resolvedWithAlpha(0.55) : QColor(Qt::transparent);
        const QString sheet =
            QStringLiteral(
                "QScrollBar:vertical { background: transparent; width: %1px; margin: 4px 2px 4px 0; }"
                "QScrollBar::handle:vertical { background: %2; border-radius: 4px; min-height: 32px; }"
                "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
                .arg(kScrollerWidth)
                .arg(handle.name(QColor::HexArgb));
        if (bar->styleSheet() != sheet) {
            bar->setStyleSheet(sheet);
        }
    };
    apply();
    if (!bar->property("frwScroller").toBool()) {
        bar->setProperty("frwScroller", true);
        QObject::connect(FRWAppearance::shared(), &FRWAppearance::changed, bar, apply);
        QObject::connect(bar, &QScrollBar::rangeChanged, bar, apply);
    }
}
