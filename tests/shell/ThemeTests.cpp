#include <QApplication>
#include <QPalette>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "FRWAppearance.h"
#include "FRWGradientView.h"
#include "FRWMainWindowController.h"
#include "FRWSidebarRow.h"
#include "FRWSidebarViewController.h"
#include "FRWTheme.h"

namespace {
QColor rgba(QRgb rgb, double alpha)
{
    QColor color = QColor::fromRgb(rgb);
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

struct Role {
    const char* name;
    FRWDynamicColor (*accessor)();
    QRgb light;
    double lightAlpha;
    QRgb dark;
    double darkAlpha;
};

// clang-format off
const Role kRoles[] = {
    {"windowGradientTop", &FRWTheme::windowGradientTop, 0xEAF0FA, 1, 0x232936, 1},
    {"windowGradientMid", &FRWTheme::windowGradientMid, 0xEFF0F6, 1, 0x24242C, 1},
    {"windowGradientBottom", &FRWTheme::windowGradientBottom, 0xF6F4F7, 1, 0x201F26, 1},
    {"cardBackground", &FRWTheme::cardBackground, 0xFFFFFF, 0.8, 0x000000, 0.2},
    {"controlBackground", &FRWTheme::controlBackground, 0xFFFFFF, 0.8, 0x000000, 0.2},
    {"primaryText", &FRWTheme::primaryText, 0x131417, 1, 0xEAEAEA, 1},
    {"label", &FRWTheme::label, 0x202327, 1, 0xDDDDDD, 1},
    {"secondaryLabel", &FRWTheme::secondaryLabel, 0x676A72, 1, 0x92969F, 1},
    {"sidebarTitle", &FRWTheme::sidebarTitle, 0x131417, 1, 0xFFFFFF, 1},
    {"sidebarHeader", &FRWTheme::sidebarHeader, 0x131417, 0.62, 0xFFFFFF, 0.55},
    {"border", &FRWTheme::border, 0xE8E2E0, 1, 0x534B44, 1},
    {"separator", &FRWTheme::separator, 0x000000, 0.12, 0xFFFFFF, 0.12},
    {"accentBlue", &FRWTheme::accentBlue, 0x0CBEFF, 1, 0x0CBEFF, 1},
    {"cyan", &FRWTheme::cyan, 0x20CDCD, 1, 0x26C0C0, 1},
    {"purple", &FRWTheme::purple, 0x6C5CE7, 1, 0x8677F0, 1},
    {"magenta", &FRWTheme::magenta, 0xCC47CC, 1, 0xE060E0, 1},
    {"indigo", &FRWTheme::indigo, 0x7B61FF, 1, 0x9280FF, 1},
    {"buttonHovered", &FRWTheme::buttonHovered, 0x000000, 0.1, 0xFFFFFF, 0.1},
    {"buttonHighlighted", &FRWTheme::buttonHighlighted, 0x000000, 0.15, 0xFFFFFF, 0.15},
    {"selectionBackground", &FRWTheme::selectionBackground, 0x000000, 0.085, 0xFFFFFF, 0.11},
    {"sidebarHover", &FRWTheme::sidebarHover, 0x000000, 0.045, 0xFFFFFF, 0.06},
    {"statusGreen", &FRWTheme::statusGreen, 0x34C759, 1, 0x34C759, 1},
    {"statusOrange", &FRWTheme::statusOrange, 0xFF9500, 1, 0xFF9500, 1},
};
// clang-format on

// Restores the application palette and the appearance after each test.
class AppearanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_palette = QApplication::palette();
        FRWAppearance::shared()->setOverride(std::nullopt);
        FRWAppearance::shared()->setPortalColorScheme(0);
    }
    void TearDown() override
    {
        QApplication::setPalette(m_palette);
        FRWAppearance::shared()->setOverride(std::nullopt);
        FRWAppearance::shared()->setPortalColorScheme(0);
    }

    static void setWindowColor(const QColor& color)
    {
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Window, color);
        QApplication::setPalette(palette);
    }

private:
    QPalette m_palette;
};
} // namespace

TEST(Theme, EveryRoleResolvesToItsLightAndDarkValue)
{
    for (const Role& role : kRoles) {
        const FRWDynamicColor color = role.accessor();
        EXPECT_EQ(color.resolve(false), rgba(role.light, role.lightAlpha)) << role.name;
        EXPECT_EQ(color.resolve(true), rgba(role.dark, role.darkAlpha)) << role.name;
    }
}

TEST(Theme, SidebarBackgroundIsTransparentInBoth)
{
    EXPECT_EQ(FRWTheme::sidebarBackground().resolve(false).alpha(), 0);
    EXPECT_EQ(FRWTheme::sidebarBackground().resolve(true).alpha(), 0);
}

TEST(Theme, FontSizesAreLogicalPixels)
{
    const QFont title = FRWTheme::font(28, QFont::Bold);
    EXPECT_DOUBLE_EQ(title.pointSizeF(), 21.0);
    EXPECT_EQ(title.weight(), QFont::Bold);
}

TEST_F(AppearanceTest, FollowsPaletteLightness)
{
    setWindowColor(QColor(0xF0, 0xF0, 0xF0));
    EXPECT_FALSE(FRWAppearance::shared()->isDark());
    QSignalSpy changed(FRWAppearance::shared(), &FRWAppearance::changed);
    setWindowColor(QColor(0x20, 0x20, 0x24));
    EXPECT_TRUE(FRWAppearance::shared()->isDark());
    EXPECT_EQ(changed.count(), 1);
    setWindowColor(QColor(0x22, 0x22, 0x22));
    EXPECT_EQ(changed.count(), 1) << "no signal while the appearance stays the same";
}

TEST_F(AppearanceTest, PortalPreferenceWinsOverPaletteUntilItHasNone)
{
    setWindowColor(QColor(0xF0, 0xF0, 0xF0));
    FRWAppearance::shared()->setPortalColorScheme(1);
    EXPECT_TRUE(FRWAppearance::shared()->isDark());
    setWindowColor(QColor(0xFA, 0xFA, 0xFA));
    EXPECT_TRUE(FRWAppearance::shared()->isDark());
    FRWAppearance::shared()->setPortalColorScheme(2);
    EXPECT_FALSE(FRWAppearance::shared()->isDark());
    setWindowColor(QColor(0x10, 0x10, 0x10));
    EXPECT_FALSE(FRWAppearance::shared()->isDark()) << "the portal said light";
    FRWAppearance::shared()->setPortalColorScheme(0);
    EXPECT_TRUE(FRWAppearance::shared()->isDark()) << "no preference: the palette decides";
    FRWAppearance::shared()->setPortalColorScheme(77);
    EXPECT_TRUE(FRWAppearance::shared()->isDark()) << "an unknown value counts as no preference";
}

TEST_F(AppearanceTest, OverrideWinsOverEverything)
{
    FRWAppearance::shared()->setPortalColorScheme(2);
    FRWAppearance::shared()->setOverride(FRWAppearance::Scheme::Dark);
    EXPECT_TRUE(FRWAppearance::shared()->isDark());
    FRWAppearance::shared()->setOverride(std::nullopt);
    EXPECT_FALSE(FRWAppearance::shared()->isDark());
}

TEST_F(AppearanceTest, PaletteChangeRecoloursGradientAndSidebarInPlace)
{
    setWindowColor(QColor(0xF0, 0xF0, 0xF0));
    FRWMainWindowController controller;
    QWidget* window = controller.window();
    window->show();
    QCoreApplication::processEvents();
    const QImage light = window->grab().toImage();

    setWindowColor(QColor(0x1E, 0x1E, 0x22));
    QCoreApplication::processEvents();
    ASSERT_TRUE(FRWAppearance::shared()->isDark());
    const QImage dark = window->grab().toImage();

    // The gradient's top-left corner takes the top colour of each appearance.
    EXPECT_EQ(light.pixelColor(1, 1), QColor(0xEA, 0xF0, 0xFA));
    EXPECT_EQ(dark.pixelColor(1, 1), QColor(0x23, 0x29, 0x36));
    // The gradient's bottom-right corner takes the bottom colour.
    EXPECT_EQ(dark.pixelColor(938, 724), QColor(0x20, 0x1F, 0x26));

    // The selected Activity row: a dark fill in light, a light fill in dark, over the gradient.
    FRWSidebarRow* activity = controller.sidebar()->rowForID("activity");
    const QPoint inRow = activity->mapTo(window, QPoint(activity->width() - 6, activity->height() / 2));
    EXPECT_LT(light.pixelColor(inRow).lightness(), QColor(0xEA, 0xF0, 0xFA).lightness());
    EXPECT_GT(dark.pixelColor(inRow).lightness(), QColor(0x23, 0x29, 0x36).lightness());

    // The row title is drawn in the sidebarTitle role: near black in light, white in dark.
    int darkestLight = 255;
    int brightestDark = 0;
    for (int x = 43; x < 120; ++x) {
        const QPoint p = activity->mapTo(window, QPoint(x, activity->height() / 2));
        darkestLight = std::min(darkestLight, light.pixelColor(p).lightness());
        brightestDark = std::max(brightestDark, dark.pixelColor(p).lightness());
    }
    EXPECT_LT(darkestLight, 80);
    EXPECT_GT(brightestDark, 200);
}

TEST(GradientView, RunsFromTopLeftToBottomRight)
{
    FRWAppearance::shared()->setOverride(FRWAppearance::Scheme::Light);
    FRWGradientView view;
    view.resize(300, 100);
    const QImage image = view.grab().toImage();
    EXPECT_EQ(image.pixelColor(0, 0), QColor(0xEA, 0xF0, 0xFA));
    EXPECT_EQ(image.pixelColor(299, 99), QColor(0xF6, 0xF4, 0xF7));
    // Along the 45-degree direction, points with the same x + y share a colour.
    EXPECT_EQ(image.pixelColor(150, 20), image.pixelColor(120, 50));
    FRWAppearance::shared()->setOverride(std::nullopt);
}

TEST_F(AppearanceTest, StockWidgetsGetAThemePaletteWhenTheDesktopPaletteDisagrees)
{
    setWindowColor(QColor(0xF0, 0xF0, 0xF0));
    const QPalette desktop = QApplication::palette();
    FRWAppearance::shared()->setPortalColorScheme(1);
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), FRWTheme::windowGradientMid().dark);
    EXPECT_EQ(QApplication::palette().color(QPalette::Text), FRWTheme::primaryText().dark);
    EXPECT_TRUE(FRWAppearance::shared()->isDark()) << "our own palette is not taken for the desktop's";

    FRWAppearance::shared()->setPortalColorScheme(0);
    EXPECT_FALSE(FRWAppearance::shared()->isDark());
    EXPECT_EQ(QApplication::palette(), desktop) << "the desktop's palette comes back unchanged";
}

TEST_F(AppearanceTest, AFittingDesktopPaletteIsKept)
{
    setWindowColor(QColor(0x20, 0x20, 0x20));
    const QPalette desktop = QApplication::palette();
    FRWAppearance::shared()->setPortalColorScheme(1);
    EXPECT_EQ(QApplication::palette(), desktop);
}

TEST_F(AppearanceTest, PaletteIsLeftAloneWhenNotManaged)
{
    setWindowColor(QColor(0xF0, 0xF0, 0xF0));
    const QPalette desktop = QApplication::palette();
    FRWAppearance::shared()->setManagesApplicationPalette(false);
    FRWAppearance::shared()->setOverride(FRWAppearance::Scheme::Dark);
    EXPECT_EQ(QApplication::palette(), desktop);
    FRWAppearance::shared()->setManagesApplicationPalette(true);
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), FRWTheme::windowGradientMid().dark);
}

TEST(Theme, ContrastRatioMatchesKnownPairs)
{
    EXPECT_NEAR(FRWTheme::contrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(FRWTheme::contrastRatio(Qt::white, Qt::white), 1.0, 1e-9);
    EXPECT_NEAR(FRWTheme::contrastRatio(QColor(0x76, 0x76, 0x76), Qt::white), 4.54, 0.01);
    // Order does not matter; a translucent colour is measured as it lands on the background.
    EXPECT_NEAR(FRWTheme::contrastRatio(Qt::white, QColor(0x76, 0x76, 0x76)), 4.54, 0.01);
    EXPECT_NEAR(FRWTheme::contrastRatio(rgba(0x000000, 0.0), Qt::white), 1.0, 1e-9);
}

TEST(Theme, EveryTextAndSymbolColourIsReadableInBothAppearances)
{
    const QList<FRWContrastPair> pairs = FRWTheme::contrastPairs();
    ASSERT_FALSE(pairs.isEmpty());
    for (const FRWContrastPair& pair : pairs) {
        for (const bool dark : {false, true}) {
            EXPECT_GE(FRWTheme::contrastRatio(pair.foreground.resolve(dark), pair.background.resolve(dark)),
                      pair.minimum)
                << pair.name << (dark ? " (dark)" : " (light)");
        }
    }
}

TEST(ThemePalette, DarkAndLightAreReadable)
{
    for (const auto scheme : {FRWAppearance::Scheme::Light, FRWAppearance::Scheme::Dark}) {
        const QPalette palette = FRWAppearance::themePalette(scheme);
        const int contrast =
            std::abs(palette.color(QPalette::Base).lightness() - palette.color(QPalette::Text).lightness());
        EXPECT_GT(contrast, 150);
    }
    EXPECT_LT(FRWAppearance::themePalette(FRWAppearance::Scheme::Dark).color(QPalette::Base).lightness(), 60);
    EXPECT_GT(FRWAppearance::themePalette(FRWAppearance::Scheme::Light).color(QPalette::Base).lightness(),
              230);
}
