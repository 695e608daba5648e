#pragma once

#include <QColor>
#include <QFont>
#include <QList>

class QLabel;
class QScrollBar;
class QWidget;

/// A colour with a light and a dark value; resolves against the current appearance.
struct FRWDynamicColor {
    QColor light;
    QColor dark;

    FRWDynamicColor() = default;
    FRWDynamicColor(const QColor& both) : light(both), dark(both) {}
    FRWDynamicColor(const QColor& lightValue, const QColor& darkValue) : light(lightValue), dark(darkValue) {}

    QColor resolve(bool darkAppearance) const { return darkAppearance ? dark : light; }
    /// Resolved in the current appearance.
    QColor resolved() const;
    /// Resolved, with its alpha replaced.
    QColor resolvedWithAlpha(qreal alpha) const;

    bool operator==(const FRWDynamicColor& other) const = default;
};

/// A colour drawn over a background in the theme, and the contrast it must keep in both appearances.
struct FRWContrastPair {
    const char* name;
    FRWDynamicColor foreground;
    FRWDynamicColor background;
    double minimum;
};

/// The palette every view draws with: one accessor per colour role, plus the UI fonts.
class FRWTheme {
public:
    FRWTheme() = delete;

    static FRWDynamicColor windowGradientTop();
    static FRWDynamicColor windowGradientMid();
    static FRWDynamicColor windowGradientBottom();
    static FRWDynamicColor cardBackground();
    static FRWDynamicColor controlBackground();
    static FRWDynamicColor primaryText();
    static FRWDynamicColor label();
    static FRWDynamicColor secondaryLabel();
    static FRWDynamicColor sidebarTitle();
    static FRWDynamicColor sidebarHeader();
    static FRWDynamicColor border();
    static FRWDynamicColor separator();
    static FRWDynamicColor accentBlue();
    static FRWDynamicColor cyan();
    static FRWDynamicColor purple();
    static FRWDynamicColor magenta();
    static FRWDynamicColor indigo();
    static FRWDynamicColor buttonHovered();
    static FRWDynamicColor buttonHighlighted();
    static FRWDynamicColor selectionBackground();
    static FRWDynamicColor sidebarHover();
    static FRWDynamicColor sidebarBackground();
    static FRWDynamicColor statusGreen();
    static FRWDynamicColor statusOrange();
    static FRWDynamicColor statusRed();
    static FRWDynamicColor statusBlue();
    static FRWDynamicColor tertiaryLabel();

    /// Coloured text: the hue of the fill of the same name, darker in light mode and lighter in
    /// dark mode so small text keeps 4.5:1 on cards, the window and its own tinted badge.
    static FRWDynamicColor greenText();
    static FRWDynamicColor orangeText();
    static FRWDynamicColor redText();
    static FRWDynamicColor accentBlueText();
    static FRWDynamicColor magentaText();
    static FRWDynamicColor indigoText();
    /// The translucent fill of a badge drawn in `tint`.
    static constexpr qreal kBadgeFillAlpha = 0.14;

    /// Body text needs 4.5:1 against what it sits on; large text and symbols 3:1.
    static constexpr double kTextContrast = 4.5;
    static constexpr double kLargeContrast = 3.0;
    /// `over` laid on `under` (which is taken as opaque).
    static QColor composite(const QColor& over, const QColor& under);
    /// The contrast ratio of two colours, from 1 to 21, translucency laid over `background` first.
    static double contrastRatio(const QColor& foreground, const QColor& background);
    /// A card as it looks: its translucent fill over the window gradient's colour at `stop` (0..2).
    static QColor opaqueCard(bool dark, int stop = 1);
    /// Every text and symbol colour and the backgrounds it is drawn on, with the contrast each needs.
    static QList<FRWContrastPair> contrastPairs();

    /// The UI font at a size in points as the screens give it, drawn as that many logical pixels
    /// (converted at 96 dpi: a 13-point label gets a 13-pixel font unless the desktop scales text).
    static QFont font(qreal size, QFont::Weight weight = QFont::Normal);

    /// A label in the UI font at `size` whose colour follows the appearance.
    static QLabel* label(const QString& text, qreal size, QFont::Weight weight, const FRWDynamicColor& color);

    /// Sets the widget's text colour now and again whenever the appearance changes.
    static void bindTextColor(QWidget* widget, const FRWDynamicColor& color);

    /// Width of the thin vertical scroller, groove included.
    static constexpr int kScrollerWidth = 10;
    /// Draws a vertical scroll bar as the thin, translucent scroller of the pages, in the colours
    /// of the current appearance and again after every change. Its handle is hidden while there is
    /// nothing to scroll, so a bar kept always on reserves its width without showing.
    static void styleScroller(QScrollBar* bar);
};
