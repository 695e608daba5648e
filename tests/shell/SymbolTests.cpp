#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

#include "FRWSidebarRow.h"
#include "FRWSidebarViewController.h"
#include "FRWSymbols.h"

namespace {
const QStringList kSymbols{"waveform.path.ecg",
                           "square.grid.2x2",
                           "point.3.connected.trianglepath.dotted",
                           "terminal",
                           "macstudio",
                           "doc.text",
                           "arrow.triangle.branch",
                           "list.bullet",
                           "text.alignleft",
                           "info.circle",
                           "gearshape",
                           "chevron.down",
                           "arrow.clockwise"};

int opaquePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
        }
    }
    return count;
}
} // namespace

TEST(Symbols, EverySidebarSymbolHasTheProjectsOwnDrawing)
{
    FRWSidebarViewController sidebar;
    sidebar.view();
    for (FRWSidebarRow* row : sidebar.rows()) {
        EXPECT_FALSE(FRWSymbols::fallbackPath(row->symbol()).isEmpty()) << row->symbol().toStdString();
        EXPECT_TRUE(kSymbols.contains(row->symbol()));
    }
}

TEST(Symbols, EveryDrawingRendersVisibleInk)
{
    for (const QString& symbol : kSymbols) {
        const QPixmap pixmap = FRWSymbols::tinted(symbol, QSize(19, 19), Qt::black, 1.0);
        ASSERT_FALSE(pixmap.isNull()) << symbol.toStdString();
        EXPECT_EQ(pixmap.size(), QSize(19, 19));
        EXPECT_GT(opaquePixels(pixmap.toImage()), 12) << symbol.toStdString();
    }
}

TEST(Symbols, TintReplacesTheColourAndKeepsTheShape)
{
    const QImage image = FRWSymbols::tinted("info.circle", QSize(24, 24), QColor(200, 10, 30), 2.0).toImage();
    EXPECT_EQ(image.size(), QSize(48, 48)) << "drawn at the device pixel ratio";
    int tinted = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() == 255) {
                ++tinted;
                EXPECT_EQ(c.rgb(), QColor(200, 10, 30).rgb());
            }
        }
    }
    EXPECT_GT(tinted, 50);
    EXPECT_EQ(qAlpha(image.pixel(24, 24 - 6)), 0) << "the circle is not filled";
}

TEST(Symbols, UnknownNamesGiveNothingRatherThanFailing)
{
    EXPECT_TRUE(FRWSymbols::fallbackPath("no.such.symbol").isEmpty());
    EXPECT_TRUE(FRWSymbols::fallbackPath("").isEmpty());
    EXPECT_TRUE(FRWSymbols::icon("no.such.symbol").isNull());
    EXPECT_TRUE(FRWSymbols::tinted("no.such.symbol", QSize(19, 19), Qt::black, 1).isNull());
    EXPECT_TRUE(FRWSymbols::tinted("gearshape", QSize(0, 0), Qt::black, 1).isNull());
}

TEST(Symbols, ThemeNamesAreFreedesktopNames)
{
    EXPECT_EQ(FRWSymbols::themeName("gearshape"), "preferences-system-symbolic");
    EXPECT_EQ(FRWSymbols::themeName("info.circle"), "help-about-symbolic");
    EXPECT_TRUE(FRWSymbols::themeName("arrow.triangle.branch").isEmpty());
}

TEST(Symbols, ThemeIconIsPreferredOnlyWhenAllowedAndPresent)
{
    const bool before = FRWSymbols::prefersThemeIcons();
    FRWSymbols::setPrefersThemeIcons(true);
    // Whatever the machine's theme holds, a symbol never comes back blank.
    for (const QString& symbol : kSymbols) {
        EXPECT_FALSE(FRWSymbols::icon(symbol).isNull()) << symbol.toStdString();
    }
    FRWSymbols::setPrefersThemeIcons(before);
}
