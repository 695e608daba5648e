#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedLayout>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include "FRWFlipped.h"
#include "FRWMainWindowController.h"
#include "FRWPageViewController.h"
#include "FRWPlaceholderViewController.h"
#include "FRWSidebarRow.h"
#include "FRWSidebarViewController.h"
#include "FindWidget.h"

namespace {
// A page that counts how often it was made and loaded, and is tall enough to scroll.
struct Counts {
    int made = 0;
    int loaded = 0;
};

class TallPage : public FRWPageViewController {
public:
    TallPage(Counts& counts) : FRWPageViewController("Tall"), m_counts(counts) { ++m_counts.made; }

protected:
    void viewDidLoad() override
    {
        FRWPageViewController::viewDidLoad();
        ++m_counts.loaded;
        auto* filler = new QWidget;
        filler->setFixedHeight(2000);
        contentLayout()->addWidget(filler);
    }

private:
    Counts& m_counts;
};

void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

QString placeholderMessage(FRWViewController* page)
{
    auto* placeholder = dynamic_cast<FRWPlaceholderViewController*>(page);
    return placeholder && widget<QLabel>(placeholder, "messageLabel")
               ? widget<QLabel>(placeholder, "messageLabel")->text()
               : QString();
}
} // namespace

TEST(MainWindow, LaunchShowsActivityAndSelectsOnlyIt)
{
    FRWMainWindowController controller;
    ASSERT_NE(controller.currentPage(), nullptr);
    EXPECT_EQ(controller.currentPage(), controller.pageForKey("activity"));
    int selected = 0;
    for (FRWSidebarRow* row : controller.sidebar()->rows()) {
        selected += row->isSelected() ? 1 : 0;
    }
    EXPECT_EQ(selected, 1);
    EXPECT_TRUE(controller.sidebar()->rowForID("activity")->isSelected());
}

TEST(MainWindow, FixedContentSizeWithSidebarAndPageArea)
{
    FRWMainWindowController controller;
    QWidget* window = controller.window();
    window->show();
    settle();
    EXPECT_EQ(window->size(), QSize(940, 726));
    EXPECT_EQ(window->minimumSize(), QSize(940, 726));
    EXPECT_EQ(window->maximumSize(), QSize(940, 726));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(controller.sidebar()->view()->width(), 208);
    EXPECT_EQ(widget<QWidget>(controller, "contentContainer")->geometry(), QRect(208, 0, 732, 726));
    EXPECT_EQ(controller.currentPage()->view()->size(), QSize(732, 726));
    window->resize(1200, 900);
    settle();
    EXPECT_EQ(window->size(), QSize(940, 726)) << "the window keeps one size";
}

TEST(MainWindow, PagesAreMadeOnFirstVisitAndCached)
{
    Counts counts;
    FRWPageFactory factory;
    factory.registerPage("policy", [&counts] { return std::make_unique<TallPage>(counts); });
    FRWMainWindowController controller(std::move(factory));
    EXPECT_EQ(counts.made, 0) << "no page is made before its first visit";
    EXPECT_EQ(controller.pageForKey("policy"), nullptr);

    controller.showPage("policy");
    FRWViewController* policy = controller.currentPage();
    EXPECT_EQ(counts.made, 1);
    EXPECT_EQ(counts.loaded, 1);
    controller.showPage("logs");
    EXPECT_NE(controller.currentPage(), policy);
    controller.showPage("policy");
    EXPECT_EQ(controller.currentPage(), policy);
    EXPECT_EQ(counts.made, 1);
    EXPECT_EQ(counts.loaded, 1);
}

TEST(MainWindow, ReturningToAPageKeepsItsScrollPosition)
{
    Counts counts;
    FRWPageFactory factory;
    factory.registerPage("policy", [&counts] { return std::make_unique<TallPage>(counts); });
    FRWMainWindowController controller(std::move(factory));
    controller.window()->show();
    controller.showPage("policy");
    settle();
    auto* policy = dynamic_cast<FRWPageViewController*>(controller.currentPage());
    ASSERT_NE(policy, nullptr);
    QScrollBar* bar = policy->scroll()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 300);
    bar->setValue(300);

    controller.showPage("logs");
    settle();
    EXPECT_FALSE(policy->view()->isVisible());
    controller.showPage("policy");
    settle();
    EXPECT_EQ(controller.currentPage(), policy);
    EXPECT_TRUE(policy->view()->isVisible());
    EXPECT_EQ(policy->scroll()->verticalScrollBar()->value(), 300);
}

TEST(MainWindow, ShowingTheCurrentPageAgainChangesNothing)
{
    FRWMainWindowController controller;
    auto* stack = widget<QWidget>(controller, "contentContainer")->findChild<QStackedLayout*>();
    ASSERT_NE(stack, nullptr);
    FRWViewController* activity = controller.currentPage();
    QTest::mousePress(controller.sidebar()->rowForID("activity"), Qt::LeftButton, {}, QPoint(30, 10));
    EXPECT_EQ(controller.currentPage(), activity);
    EXPECT_EQ(stack->count(), 1) << "the page was not added twice";
}

TEST(MainWindow, SidebarClickSwitchesPages)
{
    FRWMainWindowController controller;
    QTest::mousePress(controller.sidebar()->rowForID("settings"), Qt::LeftButton, {}, QPoint(30, 10));
    ASSERT_NE(controller.pageForKey("settings"), nullptr);
    EXPECT_EQ(controller.currentPage(), controller.pageForKey("settings"));
    EXPECT_EQ(controller.sidebar()->selectedID(), "settings");
}

TEST(MainWindow, ShowPageLeavesTheSidebarSelectionAlone)
{
    FRWMainWindowController controller;
    controller.showPage("logs");
    EXPECT_EQ(controller.sidebar()->selectedID(), "activity");
}

TEST(MainWindow, UnknownKeyGivesCapitalisedPlaceholder)
{
    FRWMainWindowController controller;
    controller.showPage("clients");
    auto* page = dynamic_cast<FRWPlaceholderViewController*>(controller.currentPage());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->pageTitle(), "Clients");
    EXPECT_EQ(page->titleLabel()->text(), "Clients");
    EXPECT_EQ(placeholderMessage(page), "Not available in Ferrow.");
}

TEST(MainWindow, UnregisteredKeysShowPlaceholdersUntilScreensPlugIn)
{
    FRWMainWindowController controller;
    for (const char* key : {"activity", "overview", "connections", "about"}) {
        controller.showPage(key);
        EXPECT_EQ(placeholderMessage(controller.currentPage()), "Not available in Ferrow.") << key;
    }
}

TEST(MainWindow, EmptyOrOddKeysNeverCrash)
{
    FRWMainWindowController controller;
    controller.showPage("");
    auto* empty = dynamic_cast<FRWPageViewController*>(controller.currentPage());
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->pageTitle(), "");
    controller.showPage(QString::fromUtf8("été"));
    EXPECT_EQ(dynamic_cast<FRWPageViewController*>(controller.currentPage())->pageTitle(),
              QString::fromUtf8("Été"));
}

TEST(MainWindow, FactoryMakerReturningNothingFallsBackToPlaceholder)
{
    FRWPageFactory factory;
    factory.registerPage("rule", [] { return std::unique_ptr<FRWViewController>(); });
    EXPECT_TRUE(factory.hasPage("rule"));
    const auto page = factory.make("rule");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(dynamic_cast<FRWPageViewController*>(page.get())->pageTitle(), "Rule");
    EXPECT_FALSE(page->isViewLoaded()) << "made pages are not loaded yet";
}

TEST(PageBase, TitleAndContentGeometry)
{
    FRWPlaceholderViewController page("Logs");
    QWidget* view = page.view();
    EXPECT_EQ(view->size(), QSize(732, 680));
    view->show();
    settle();
    QLabel* title = page.titleLabel();
    const QPoint titleInDoc = title->mapTo(widget<FRWFlippedDoc>(page, "pageDoc"), QPoint(0, 0));
    EXPECT_EQ(titleInDoc.x(), FRWPageViewController::kContentMargin);
    EXPECT_EQ(titleInDoc.y(), 52);
    EXPECT_TRUE(title->font().bold());
    const QPoint messageInDoc =
        widget<QLabel>(page, "messageLabel")->mapTo(widget<FRWFlippedDoc>(page, "pageDoc"), QPoint(0, 0));
    EXPECT_EQ(messageInDoc.x(), 28);
    EXPECT_EQ(messageInDoc.y(), titleInDoc.y() + title->height() + 24);
    EXPECT_EQ(widget<FRWFlippedDoc>(page, "pageDoc")->width(), page.scroll()->viewport()->width());
    EXPECT_GE(widget<FRWFlippedDoc>(page, "pageDoc")->height(), page.viewportHeight());
    EXPECT_EQ(page.scroll()->verticalScrollBar()->maximum(), 0) << "a short page does not scroll";
}

TEST(PageBase, ControllerDeletesItsViewWhereverItIs)
{
    auto* page = new FRWPlaceholderViewController("Gone");
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    layout->addWidget(page->view());
    QPointer<QWidget> view = page->view();
    delete page;
    EXPECT_TRUE(view.isNull());
    EXPECT_EQ(host.findChildren<QScrollArea*>().size(), 0);
}
