// The window driven from the keyboard alone, and the self-drawn controls as readers see them.

#include <QAccessible>
#include <QApplication>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include "FRWAccessibility.h"
#include "FRWMainWindowController.h"
#include "FRWSegmented.h"
#include "FRWSidebarRow.h"
#include "FRWSidebarViewController.h"
#include "FRWStatColumn.h"

namespace {
void showActive(QWidget* window)
{
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}
} // namespace

TEST(KeyboardNavigation, ArrowsInTheSidebarMoveFocusAndChangePage)
{
    FRWMainWindowController controller;
    showActive(controller.window());
    FRWSidebarViewController* sidebar = controller.sidebar();
    FRWSidebarRow* activity = sidebar->rowForID("activity");
    // Only the chosen row is a Tab stop, so Tab leaves the sidebar in one step.
    EXPECT_TRUE(activity->focusPolicy() & Qt::TabFocus);
    EXPECT_FALSE(sidebar->rowForID("overview")->focusPolicy() & Qt::TabFocus);
    activity->setFocus();

    QTest::keyClick(activity, Qt::Key_Up);
    EXPECT_EQ(sidebar->selectedID(), "activity") << "nothing above the first row";
    QTest::keyClick(activity, Qt::Key_Down);
    EXPECT_EQ(sidebar->selectedID(), "overview");
    EXPECT_EQ(controller.currentPage(), controller.pageForKey("overview"));
    EXPECT_EQ(QApplication::focusWidget(), sidebar->rowForID("overview"));

    FRWSidebarRow* last = sidebar->rows().last();
    last->setFocus();
    QTest::keyClick(last, Qt::Key_Space);
    EXPECT_EQ(controller.currentPage(), controller.pageForKey(last->itemID()));
    QTest::keyClick(last, Qt::Key_Down);
    EXPECT_EQ(sidebar->selectedID(), last->itemID()) << "nothing below the last row";

    const QAccessibleInterface* row = QAccessible::queryAccessibleInterface(last);
    EXPECT_EQ(row->role(), QAccessible::PageTab);
    EXPECT_TRUE(row->state().selected);
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(activity)->state().selected);
}

TEST(KeyboardNavigation, TheRingShowsOnlyAfterKeyboardFocus)
{
    FRWMainWindowController controller;
    showActive(controller.window());
    FRWSidebarRow* overview = controller.sidebar()->rowForID("overview");
    overview->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(FRWFocus::showsRing(overview)) << "a click or the window opening draws no ring";
    QTest::keyClick(overview, Qt::Key_Down);
    FRWSidebarRow* next = controller.sidebar()->rowForID(controller.sidebar()->selectedID());
    EXPECT_TRUE(FRWFocus::showsRing(next));
    QTest::mouseClick(overview, Qt::LeftButton);
    EXPECT_FALSE(FRWFocus::showsRing(overview)) << "a click hides it again";
}

TEST(KeyboardNavigation, ViewMenuListsThePagesAndCtrlDigitsOpenThem)
{
    FRWMainWindowController controller;
    showActive(controller.window());
    const QList<QAction*> actions = controller.viewMenu()->actions();
    const QList<FRWSidebarRow*> rows = controller.sidebar()->rows();
    ASSERT_EQ(actions.size(), rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(actions[i]->text(), rows[i]->title());
        EXPECT_EQ(actions[i]->shortcut().isEmpty(), i >= 9);
    }

    QTest::keyClick(controller.window(), Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(controller.currentPage(), controller.pageForKey(rows[1]->itemID()));
    EXPECT_EQ(controller.sidebar()->selectedID(), rows[1]->itemID());
    EXPECT_TRUE(actions[1]->isChecked());
    EXPECT_FALSE(actions[0]->isChecked());

    // A click in the sidebar moves the menu's check mark too.
    rows[0]->performAccessiblePress();
    EXPECT_TRUE(actions[0]->isChecked());
}

TEST(KeyboardNavigation, SegmentedArrowsChooseAndReadersSeeTheSegments)
{
    FRWSegmented control({"ALL", "PROXY", "DIRECT"});
    control.setAccessibleName("Traffic Shown");
    QList<int> chosen;
    control.onChange = [&chosen](int index) { chosen << index; };
    control.resize(control.sizeHint());
    EXPECT_TRUE(control.focusPolicy() & Qt::TabFocus);

    QTest::keyClick(&control, Qt::Key_Left);
    QTest::keyClick(&control, Qt::Key_Right);
    QTest::keyClick(&control, Qt::Key_End);
    QTest::keyClick(&control, Qt::Key_Right);
    EXPECT_EQ(chosen, (QList<int>{1, 2})) << "edges stop the walk and repeat no choice";

    QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(&control);
    ASSERT_EQ(tabs->role(), QAccessible::PageTabList);
    ASSERT_EQ(tabs->childCount(), 3);
    EXPECT_EQ(tabs->child(0)->text(QAccessible::Name), "ALL");
    EXPECT_EQ(tabs->child(0)->role(), QAccessible::PageTab);
    EXPECT_TRUE(tabs->child(2)->state().selected);
    EXPECT_FALSE(tabs->child(0)->state().selected);
    EXPECT_EQ(tabs->indexOfChild(tabs->child(1)), 1);
    tabs->child(0)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(control.selectedIndex(), 0);
    EXPECT_EQ(chosen.last(), 0);
}

TEST(KeyboardNavigation, StatColumnIsAButtonOnlyWithSomethingToDo)
{
    FRWStatColumn column("Outbound Mode", "Rule-Based Proxy");
    EXPECT_EQ(column.focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&column)->role(), QAccessible::StaticText);
    int clicks = 0;
    column.setOnClick([&clicks] { ++clicks; });
    const QAccessibleInterface* button = QAccessible::queryAccessibleInterface(&column);
    EXPECT_EQ(button->role(), QAccessible::Button);
    EXPECT_EQ(button->text(QAccessible::Name), "Outbound Mode");
    EXPECT_EQ(button->text(QAccessible::Description), "Rule-Based Proxy");
    QTest::keyClick(&column, Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
}
