#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include "FRWAppearance.h"
#include "FRWSidebarRow.h"
#include "FRWSidebarViewController.h"
#include "FRWTheme.h"

namespace {
QStringList selectedIDs(const FRWSidebarViewController& sidebar)
{
    QStringList ids;
    for (FRWSidebarRow* row : sidebar.rows()) {
        if (row->isSelected()) {
            ids.append(row->itemID());
        }
    }
    return ids;
}

struct LoadedSidebar {
    FRWSidebarViewController controller;
    QStringList picked;

    LoadedSidebar()
    {
        controller.view()->resize(FRWSidebarViewController::kWidth, 726);
        controller.onSelect = [this](const QString& key) { picked.append(key); };
    }
};
} // namespace

TEST(Sidebar, HasEveryPageInOrderWithSettingsLast)
{
    FRWSidebarViewController sidebar;
    sidebar.view();
    QStringList ids;
    for (FRWSidebarRow* row : sidebar.rows()) {
        ids.append(row->itemID());
    }
    EXPECT_EQ(ids, QStringList({"activity", "overview", "connections", "process", "device", "profile",
                                "policy", "rule", "logs", "about", "settings"}));
    EXPECT_EQ(sidebar.rowForID("device")->title(), "Device");
    EXPECT_EQ(sidebar.rowForID("device")->symbol(), "macstudio");
    EXPECT_EQ(sidebar.rowForID("connections")->symbol(), "point.3.connected.trianglepath.dotted");
}

TEST(Sidebar, HeadersAreUpperCase)
{
    FRWSidebarViewController sidebar;
    QStringList headers;
    for (QLabel* label : sidebar.view()->findChildren<QLabel*>("sidebarHeaderLabel")) {
        headers.append(label->text());
    }
    EXPECT_EQ(headers, QStringList({"CLIENTS", "PROXIES", "SYSTEM"}));
}

TEST(Sidebar, LaunchSelectsOnlyActivity)
{
    LoadedSidebar s;
    EXPECT_EQ(selectedIDs(s.controller), QStringList({"activity"}));
    EXPECT_EQ(s.controller.selectedID(), "activity");
    EXPECT_TRUE(s.picked.isEmpty()) << "loading the view reports no pick";
}

TEST(Sidebar, ClickSelectsAndReports)
{
    LoadedSidebar s;
    FRWSidebarRow* policy = s.controller.rowForID("policy");
    QTest::mousePress(policy, Qt::LeftButton, {}, QPoint(40, 10));
    EXPECT_EQ(selectedIDs(s.controller), QStringList({"policy"}));
    EXPECT_EQ(s.picked, QStringList({"policy"}));
}

TEST(Sidebar, ClickOnSelectedRowReportsAgain)
{
    LoadedSidebar s;
    FRWSidebarRow* activity = s.controller.rowForID("activity");
    QTest::mousePress(activity, Qt::LeftButton, {}, QPoint(100, 17));
    QTest::mousePress(activity, Qt::LeftButton, {}, QPoint(100, 17));
    EXPECT_EQ(s.picked, QStringList({"activity", "activity"}));
    EXPECT_EQ(selectedIDs(s.controller), QStringList({"activity"}));
}

TEST(Sidebar, ReleaseAloneDoesNothing)
{
    LoadedSidebar s;
    QTest::mouseRelease(s.controller.rowForID("logs"), Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_TRUE(s.picked.isEmpty());
    EXPECT_EQ(selectedIDs(s.controller), QStringList({"activity"}));
}

TEST(Sidebar, SelectItemIDNeverReports)
{
    LoadedSidebar s;
    s.controller.selectItemID("logs");
    EXPECT_EQ(selectedIDs(s.controller), QStringList({"logs"}));
    EXPECT_TRUE(s.picked.isEmpty());
}

TEST(Sidebar, UnknownKeyDeselectsEverything)
{
    LoadedSidebar s;
    s.controller.selectItemID("nothing");
    EXPECT_TRUE(selectedIDs(s.controller).isEmpty());
    EXPECT_EQ(s.controller.selectedID(), "nothing");
}

TEST(Sidebar, HoverNeverHidesSelectionFill)
{
    FRWAppearance::shared()->setOverride(FRWAppearance::Scheme::Light);
    LoadedSidebar s;
    FRWSidebarRow* activity = s.controller.rowForID("activity");
    activity->setHovered(true);
    EXPECT_EQ(activity->backgroundColor(), FRWTheme::selectionBackground().light);
    activity->setHovered(false);
    EXPECT_EQ(activity->backgroundColor(), FRWTheme::selectionBackground().light);

    FRWSidebarRow* rule = s.controller.rowForID("rule");
    EXPECT_EQ(rule->backgroundColor().alpha(), 0);
    rule->setHovered(true);
    EXPECT_EQ(rule->backgroundColor(), FRWTheme::sidebarHover().light);
    rule->setHovered(false);
    EXPECT_EQ(rule->backgroundColor().alpha(), 0) << "leaving returns an unselected row to transparent";
    FRWAppearance::shared()->setOverride(std::nullopt);
}

TEST(Sidebar, EnterAndLeaveEventsDriveHover)
{
    LoadedSidebar s;
    FRWSidebarRow* rule = s.controller.rowForID("rule");
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(rule, &enter);
    EXPECT_TRUE(rule->isHovered());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(rule, &leave);
    EXPECT_FALSE(rule->isHovered());
}

TEST(Sidebar, RowIsOneAccessiblePageTabWhosePressClicks)
{
    LoadedSidebar s;
    FRWSidebarRow* logs = s.controller.rowForID("logs");
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(logs);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::PageTab);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Logs");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(s.controller.view())->role(), QAccessible::PageTabList);
    EXPECT_EQ(accessible->childCount(), 0);
    QAccessibleActionInterface* actions = accessible->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(s.picked, QStringList({"logs"}));
    EXPECT_EQ(selectedIDs(s.controller), QStringList({"logs"}));
}

TEST(Sidebar, AccessiblePressSucceedsWithoutBlock)
{
    FRWSidebarRow row("lonely");
    row.setTitle("Lonely");
    EXPECT_TRUE(row.performAccessiblePress());
}

TEST(Sidebar, RowClickDoesNotKeepSidebarAlive)
{
    auto* sidebar = new FRWSidebarViewController;
    sidebar->view();
    bool reported = false;
    sidebar->onSelect = [&reported](const QString&) { reported = true; };
    QPointer<FRWSidebarRow> row = sidebar->rowForID("about");
    const auto click = row->onClick;
    delete sidebar;
    EXPECT_TRUE(row.isNull()) << "rows go with the sidebar's view";
    // The block held the sidebar weakly: calling it now must neither crash nor report.
    click("about");
    EXPECT_FALSE(reported);
}

TEST(Sidebar, RowSettersStoreValues)
{
    FRWSidebarRow row("x");
    row.setTitle(QString());
    EXPECT_EQ(row.title(), "");
    row.setTrailingSymbol("chevron.down");
    EXPECT_EQ(row.trailingSymbol(), "chevron.down");
    row.setTrailingSymbol(QString());
    EXPECT_TRUE(row.trailingSymbol().isEmpty());
    row.resize(190, FRWSidebarRow::kHeight);
    row.setSymbol("no.such.symbol");
    EXPECT_FALSE(row.grab().isNull()) << "an unknown symbol paints nothing rather than failing";
}
