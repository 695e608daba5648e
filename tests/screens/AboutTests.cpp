// The About page: the copy button's glyph and the clipboard, and the version line.

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QToolButton>

#include "FRWAboutViewController.h"
#include "FindWidget.h"
#include "ScreensTestSupport.h"

using namespace std::chrono_literals;

namespace {

class AboutTest : public ScreensTest {
protected:
    std::unique_ptr<FRWAboutViewController> page(const QString& version, const QString& build)
    {
        FRWScreensContext c = context();
        c.version = version;
        c.build = build;
        return load(std::make_unique<FRWAboutViewController>(c));
    }
};

TEST_F(AboutTest, TwoCopiesEndWithTheCopySymbolAndTheExactCommand)
{
    auto about = page("1.2.0", "abc1234");
    EXPECT_EQ(about->copySymbol(), "doc.on.doc");
    EXPECT_EQ(widget<QToolButton>(about, "copyButton")->toolTip(), "Copy the command");
    QApplication::clipboard()->setText("something else");

    widget<QToolButton>(about, "copyButton")->click();
    EXPECT_EQ(about->copySymbol(), "checkmark");
    EXPECT_EQ(QApplication::clipboard()->text(), FRWAboutViewController::installCommand({}));
    timers.advance(700ms);
    widget<QToolButton>(about, "copyButton")->click();
    EXPECT_EQ(about->copySymbol(), "checkmark");

    // The first copy's restore, 1.5 s after it, is not postponed by the second...
    timers.advance(799ms);
    EXPECT_EQ(about->copySymbol(), "checkmark");
    timers.advance(1ms);
    EXPECT_EQ(about->copySymbol(), "doc.on.doc");
    // ...and the glyph stays restored once the second one's time is up as well.
    timers.advance(1s);
    EXPECT_EQ(timers.pending(), 0);
    EXPECT_EQ(about->copySymbol(), "doc.on.doc");
    EXPECT_EQ(QApplication::clipboard()->text(), FRWAboutViewController::installCommand({}));
}

TEST_F(AboutTest, TheServerComesFromItsPackageUnlessTheBuildNamesWhereReleasesAre)
{
    // No address of anyone's is shown unless the build was given its own.
    const QString packaged = FRWAboutViewController::installCommand({});
    EXPECT_FALSE(packaged.contains("://"));
    EXPECT_TRUE(packaged.contains("sudo apt install ./ferrow-server_*.deb"));
    EXPECT_TRUE(packaged.contains("sudo ferrow-server-setup"));
    auto about = page("1.2.0", "abc1234");
    EXPECT_EQ(about->view()->findChild<QLabel*>("installCommandLabel")->text(), packaged);
    const QLabel* icon = about->view()->findChild<QLabel*>("appIconLabel");
    ASSERT_TRUE(icon);
    EXPECT_FALSE(icon->pixmap().isNull()) << "the application icon is drawn";
    EXPECT_EQ(FRWAboutViewController::installCommand("https://releases.example.org/ferrow"),
              "bash <(curl -fsSL https://releases.example.org/ferrow/server)");
}

TEST_F(AboutTest, VersionLine)
{
    EXPECT_EQ(page("1.2.0", "abc1234")->versionLabel()->text(), "Ferrow 1.2.0 (abc1234)");
    EXPECT_EQ(page("", "")->versionLabel()->text(), "Ferrow ? (?)");
    EXPECT_EQ(page("1.2.0", "")->versionLabel()->text(), "Ferrow 1.2.0 (?)");
}

} // namespace
