// Every page read through the accessibility tree, and the page controls driven from the keyboard.

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "FRWActivityViewController.h"
#include "FRWExternalResourcesController.h"
#include "FRWNodeEditorSheet.h"
#include "FRWNodeTile.h"
#include "FRWPageKeys.h"
#include "FRWPillButton.h"
#include "FRWPlusTile.h"
#include "FRWPolicyViewController.h"
#include "FRWRuleEditorSheet.h"
#include "FRWRuleViewController.h"
#include "FindWidget.h"
#include "ScreensTestSupport.h"

namespace {

bool isInteractive(const QAccessibleInterface* node)
{
    static const QList<QAccessible::Role> roles = {
        QAccessible::Button,   QAccessible::CheckBox, QAccessible::RadioButton, QAccessible::PageTab,
        QAccessible::ListItem, QAccessible::ComboBox, QAccessible::MenuItem,    QAccessible::Link};
    const QAccessible::State state = node->state();
    return !state.invisible && (state.focusable || roles.contains(node->role()));
}

// A focusable object that claims no role of its own is a self-drawn control nobody described;
// a scroll area is Qt's own and is read as the pane it is.
bool hasVagueRole(const QAccessibleInterface* node)
{
    const bool vague = node->role() == QAccessible::Client || node->role() == QAccessible::NoRole;
    return vague && node->state().focusable && !qobject_cast<const QAbstractScrollArea*>(node->object());
}

QString describe(const QAccessibleInterface* node)
{
    const QObject* object = node->object();
    return QStringLiteral("%1 role %2")
        .arg(object ? QString::fromLatin1(object->metaObject()->className()) + u' ' + object->objectName()
                    : QStringLiteral("(element)"))
        .arg(node->role());
}

// Qt describes the separator rows of a combo box's pop-up this way; they are not controls.
bool isSeparatorItem(const QAccessibleInterface* node)
{
    return node->role() == QAccessible::ListItem && node->text(QAccessible::Description) == u"separator";
}

void collectFaults(QAccessibleInterface* node, QStringList& faults, int depth = 0)
{
    if (!node || depth > 64) {
        return;
    }
    if (isInteractive(node) && !isSeparatorItem(node) && node->text(QAccessible::Name).trimmed().isEmpty()) {
        faults << QStringLiteral("unnamed: ") + describe(node);
    }
    if (hasVagueRole(node)) {
        faults << QStringLiteral("no role: ") + describe(node);
    }
    for (int i = 0; i < node->childCount(); ++i) {
        collectFaults(node->child(i), faults, depth + 1);
    }
}

class KeyboardTest : public ScreensTest {
protected:
    void SetUp() override
    {
        ScreensTest::SetUp();
        profiles->activeProfile()->configText =
            QStringLiteral("[Proxy]\nHK = ferrow, hk.example.net, 8443, psk=abc\n"
                           "JP = ferrow, jp.example.net, 8443, psk=abc\n"
                           "[Proxy Group]\nStreaming = select, HK, DIRECT\n[Rule]\nFINAL,DIRECT\n");
        profiles->save();
    }
};

TEST_F(KeyboardTest, EveryPageNamesAndDescribesItsControls)
{
    const FRWPageFactory factory = makeScreenPages(context());
    using namespace ferrow::pages;
    for (const char* key : {kActivity, kOverview, kConnections, kProcess, kDevice, kProfile, kPolicy, kRule,
                            kLogs, kAbout, kSettings}) {
        auto page = load(factory.make(QString::fromLatin1(key)));
        QStringList faults;
        collectFaults(QAccessible::queryAccessibleInterface(page->view()), faults);
        EXPECT_TRUE(faults.isEmpty()) << key << ":\n" << faults.join(u'\n').toStdString();
    }
}

// The sheets and windows the pages open, each walked while it is up.
TEST_F(KeyboardTest, EverySheetNamesAndDescribesItsControls)
{
    const auto check = [](QWidget* sheet, const char* what) {
        ASSERT_NE(sheet, nullptr) << what;
        QStringList faults;
        collectFaults(QAccessible::queryAccessibleInterface(sheet), faults);
        EXPECT_TRUE(faults.isEmpty()) << what << ":\n" << faults.join(u'\n').toStdString();
    };
    auto policy = load(std::make_unique<FRWPolicyViewController>(context()));
    FRWNodeEditorSheet* node = policy->showNodeEditor(QStringLiteral("HK"));
    check(node, "node editor");
    node->close();
    policy->addGroup();
    check(policy->groupDialog(), "group editor");
    policy->groupDialog()->close();
    policy->deleteGroup(QStringLiteral("Streaming"));
    check(policy->deleteConfirmation(), "delete alert");
    policy->deleteConfirmation()->close();

    auto rules = load(std::make_unique<FRWRuleViewController>(context()));
    rules->addRule();
    check(rules->ruleEditor(), "rule editor");
    rules->ruleEditor()->close();

    connectCore();
    answer("/rulesets", QJsonArray{QJsonObject{{"url", "https://lists.example.test/a.list"}, {"rules", 3}}});
    FRWExternalResourcesController resources(*model);
    QSignalSpy reloaded(&resources, &FRWExternalResourcesController::reloaded);
    resources.presentOver(nullptr);
    ASSERT_TRUE(reloaded.wait(5000));
    check(resources.window(), "external resources");
    resources.dismiss();
}

// The objects Tab visits in a sheet, starting where the sheet puts focus, until it comes round.
QStringList tabOrder(QWidget* sheet)
{
    QStringList names;
    QWidget* start = sheet->focusWidget();
    for (QWidget* at = start; at && names.size() < 30; at = sheet->focusWidget()) {
        names << at->objectName();
        QTest::keyClick(at, Qt::Key_Tab);
        if (sheet->focusWidget() == start) {
            break;
        }
    }
    return names;
}

// Tab comes round each sheet in reading order from where the sheet puts focus; a disabled
// default button is skipped until it can act.
TEST_F(KeyboardTest, TabWalksEachSheetInReadingOrder)
{
    auto policy = load(std::make_unique<FRWPolicyViewController>(context()));
    FRWNodeEditorSheet* node = policy->showNodeEditor(QStringLiteral("HK"));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(
        tabOrder(node).join(u' ').toStdString(),
        "nameLineEdit serverLineEdit portLineEdit tfoComboBox keyLineEdit revealToolButton cancelButton "
        "commitButton pasteButton");
    node->close();
    policy->addGroup();
    EXPECT_EQ(tabOrder(policy->groupDialog()).join(u' ').toStdString(),
              "groupNameLineEdit groupKindComboBox cancelButton addButton");
    policy->groupDialog()->close();

    auto rules = load(std::make_unique<FRWRuleViewController>(context()));
    rules->addRule();
    FRWRuleEditorSheet* rule = rules->ruleEditor();
    EXPECT_EQ(tabOrder(rule).join(u' ').toStdString(),
              "valueLineEdit cancelButton typeComboBox policyComboBox");
    rule->findChild<QLineEdit*>(QStringLiteral("valueLineEdit"))->setText(QStringLiteral("example.test"));
    EXPECT_EQ(tabOrder(rule).join(u' ').toStdString(),
              "valueLineEdit cancelButton confirmButton typeComboBox policyComboBox");
    rule->close();
}

TEST_F(KeyboardTest, EscapeCancelsAndReturnAcceptsOnlyWhenItCan)
{
    auto policy = load(std::make_unique<FRWPolicyViewController>(context()));
    QPointer<FRWNodeEditorSheet> node = policy->showNodeEditor(QStringLiteral("HK"));
    ASSERT_NE(node, nullptr);
    QSignalSpy nodeDone(node.data(), &QDialog::finished);
    QTest::keyClick(node->focusWidget(), Qt::Key_Escape);
    ASSERT_EQ(nodeDone.size(), 1);
    EXPECT_EQ(nodeDone.first().first().toInt(), QDialog::Rejected);

    policy->addGroup();
    QPointer<QDialog> group = policy->groupDialog();
    auto* name = group->findChild<QLineEdit*>(QStringLiteral("groupNameLineEdit"));
    QSignalSpy groupDone(group.data(), &QDialog::finished);
    name->setText(QStringLiteral("Streaming")); // taken: Add is disabled, Return does nothing
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_TRUE(groupDone.isEmpty());
    name->setText(QStringLiteral("Video"));
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_EQ(groupDone.size(), 1);
    EXPECT_EQ(groupDone.first().first().toInt(), QDialog::Accepted);

    auto rules = load(std::make_unique<FRWRuleViewController>(context()));
    rules->addRule();
    FRWRuleEditorSheet* rule = rules->ruleEditor();
    QSignalSpy confirmed(rule, &FRWRuleEditorSheet::confirmed);
    auto* value = rule->findChild<QLineEdit*>(QStringLiteral("valueLineEdit"));
    QTest::keyClick(value, Qt::Key_Return);
    EXPECT_EQ(rule->confirmation(), nullptr);
    value->setText(QStringLiteral("example.test"));
    QTest::keyClick(value, Qt::Key_Return);
    QPointer<QMessageBox> alert = rule->confirmation();
    ASSERT_NE(alert, nullptr);
    // Escape on the alert goes back to the sheet, which stays up.
    QTest::keyClick(alert, Qt::Key_Escape);
    EXPECT_TRUE(alert.isNull() || !alert->isVisible());
    EXPECT_TRUE(rule->isVisible());
    EXPECT_TRUE(confirmed.isEmpty());
    QTest::keyClick(value, Qt::Key_Return);
    ASSERT_NE(rule->confirmation(), nullptr);
    QTest::keyClick(rule->confirmation(), Qt::Key_Return);
    EXPECT_EQ(confirmed.size(), 1);
}

TEST_F(KeyboardTest, ProfileListIsAListOfSelectableProfiles)
{
    auto profile = load(makeScreenPages(context()).make(QString::fromLatin1(ferrow::pages::kProfile)));
    QAccessibleInterface* list =
        QAccessible::queryAccessibleInterface(widget<QWidget>(profile, "profileListWidget"));
    ASSERT_EQ(list->role(), QAccessible::List);
    QList<QAccessibleInterface*> items;
    for (int i = 0; i < list->childCount(); ++i) {
        if (list->child(i)->role() == QAccessible::ListItem) {
            items << list->child(i);
        }
    }
    ASSERT_EQ(items.size(), 1);
    EXPECT_TRUE(items.first()->state().selected);
    EXPECT_EQ(items.first()->text(QAccessible::Description), "In use");
}

TEST_F(KeyboardTest, TabReachesThePillsAndSpaceTogglesThem)
{
    auto activity = load(std::make_unique<FRWActivityViewController>(context()));
    QWidget* window = activity->view()->window();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    auto* proxyPill = widget<FRWPillButton>(activity, "systemProxyPill");
    auto* enhancedPill = widget<FRWPillButton>(activity, "enhancedPill");
    QWidget* focused = nullptr;
    for (int presses = 0; presses < 40 && focused != proxyPill; ++presses) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, Qt::Key_Tab);
        focused = QApplication::focusWidget();
    }
    ASSERT_EQ(focused, proxyPill);
    QTest::keyClick(proxyPill, Qt::Key_Space);
    EXPECT_TRUE(tunnel.calls.contains("startSystemProxyWithCompletion"));
    QTest::keyClick(proxyPill, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), enhancedPill);
    QTest::keyClick(enhancedPill, Qt::Key_Return);
    EXPECT_TRUE(tunnel.calls.contains("start"));
}

TEST_F(KeyboardTest, APillSaysWhetherItsModeIsOn)
{
    auto activity = load(std::make_unique<FRWActivityViewController>(context()));
    QAccessibleInterface* proxy =
        QAccessible::queryAccessibleInterface(widget<FRWPillButton>(activity, "systemProxyPill"));
    QAccessibleInterface* enhanced =
        QAccessible::queryAccessibleInterface(widget<FRWPillButton>(activity, "enhancedPill"));
    ASSERT_TRUE(proxy && enhanced);
    EXPECT_TRUE(proxy->state().checkable);
    EXPECT_FALSE(proxy->state().checked);
    EXPECT_EQ(proxy->text(QAccessible::Name), "System Proxy");

    connectCore();
    tunnel.systemProxy = true;
    poll();
    EXPECT_TRUE(proxy->state().checked);
    EXPECT_FALSE(enhanced->state().checked);
}

TEST_F(KeyboardTest, ArrowsWalkThePolicyTilesAndSpaceTestsOne)
{
    auto policy = load(std::make_unique<FRWPolicyViewController>(context()));
    const QList<FRWNodeTile*> nodes = policy->nodeTiles();
    ASSERT_GE(nodes.size(), 2);
    nodes.first()->setFocus();
    QTest::keyClick(nodes.first(), Qt::Key_Right);
    EXPECT_EQ(QApplication::focusWidget(), nodes.at(1));
    QTest::keyClick(nodes.at(1), Qt::Key_Left);
    EXPECT_EQ(QApplication::focusWidget(), nodes.first());
    // Nothing sits left of the first tile: focus stays.
    QTest::keyClick(nodes.first(), Qt::Key_Left);
    EXPECT_EQ(QApplication::focusWidget(), nodes.first());

    QSignalSpy tested(nodes.first(), &FRWNodeTile::clicked);
    QTest::keyClick(nodes.first(), Qt::Key_Space);
    ASSERT_EQ(tested.size(), 1);
    EXPECT_EQ(tested.first().first().toString(), nodes.first()->nodeName());
    const QAccessibleInterface* tile = QAccessible::queryAccessibleInterface(nodes.first());
    EXPECT_EQ(tile->role(), QAccessible::Button);
    EXPECT_TRUE(tile->text(QAccessible::Description).contains(nodes.first()->status()));
}

} // namespace
