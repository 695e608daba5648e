// The Policy page: outbound mode and member choice reaching a real core, latency badges, the node
// editor's round trip through the profile text, ferrow:// links, and the group editor.

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "FRWGroupTile.h"
#include "FRWNodeEditorSheet.h"
#include "FRWNodeShareSheet.h"
#include "FRWNodeTile.h"
#include "FRWPolicyViewController.h"
#include "FRWSegmented.h"
#include "FRWShareLink.h"
#include "FindWidget.h"
#include "QrDecode.h"
#include "ScreensTestSupport.h"

using ferrow::test::CoreProcess;

namespace {

const QString kProfile =
    QStringLiteral("[General]\nloglevel = info\n\n[Proxy]\n"
                   "HK = ferrow, hk.example.net, 8443, psk=abc, tfo=auto, underlying-proxy=DIRECT\n"
                   "[Proxy Group]\nStreaming = select, Gone, DIRECT\n"
                   "[Rule]\nFINAL,DIRECT\n");

class PolicyPageTest : public ScreensTest {
protected:
    void SetUp() override
    {
        ScreensTest::SetUp();
        profiles->activeProfile()->configText = kProfile;
        profiles->save();
    }
    std::unique_ptr<FRWPolicyViewController> page()
    {
        return load(std::make_unique<FRWPolicyViewController>(context()));
    }
    static FRWNodeTile* tile(FRWPolicyViewController& policy, const QString& name)
    {
        for (FRWNodeTile* node : policy.nodeTiles()) {
            if (node->nodeName() == name) {
                return node;
            }
        }
        return nullptr;
    }
    static void paste(QLineEdit* field, const QString& text)
    {
        QApplication::clipboard()->setText(text);
        field->setFocus();
        field->selectAll();
        field->paste();
    }
};

TEST_F(PolicyPageTest, TilesLatencyBadgesAndSignature)
{
    auto policy = page();
    QStringList names;
    for (FRWNodeTile* node : policy->nodeTiles()) {
        names << node->nodeName() + ":" + node->typeText() + ":" + node->status();
    }
    EXPECT_EQ(names, (QStringList{"REJECT:BUILTIN:", "DIRECT:BUILTIN:", "HK:FERROW:Tap to Test"}));
    // A tile's shadow reaches past it: it lives in the page's document, not in a tight grid.
    for (FRWNodeTile* node : policy->nodeTiles()) {
        ASSERT_NE(node->shadowWidget(), nullptr);
        EXPECT_EQ(node->shadowWidget()->parentWidget(), policy->contentView());
    }
    EXPECT_FALSE(tile(*policy, "DIRECT")->isEditable());
    EXPECT_TRUE(tile(*policy, "DIRECT")->menuActions().isEmpty());
    ASSERT_EQ(policy->groupTiles().size(), 1);
    EXPECT_EQ(policy->groupTiles()[0]->selectedMember(), "Gone");

    using P = FRWPolicyViewController;
    EXPECT_EQ(P::latencyStatus("Ferrow", false, 0), std::make_pair(QStringLiteral("0 ms"), true));
    EXPECT_EQ(P::latencyStatus("Ferrow", false, -1).first, "Timeout");
    EXPECT_EQ(P::latencyStatus("Ferrow", false, -1, false, "refused").first, "Refused");
    EXPECT_EQ(P::latencyStatus("Ferrow", false, -1, false, "unreachable").first, "No route");
    EXPECT_EQ(P::latencyStatus("Ferrow", false, -1, false, "name").first, "Name not found");
    EXPECT_EQ(P::latencyStatus("Ferrow", false, -1, false, "something new").first, "Timeout");
    EXPECT_EQ(P::latencyStatus("Ferrow", true, 120).first, "Testing\u2026");
    EXPECT_EQ(P::latencyStatus("Builtin", true, 5).first, "");
    EXPECT_EQ(P::labelForGroupType("URL-TEST"), "Automatic Testing Group");
    EXPECT_EQ(P::labelForGroupType("odd"), "Manual Selection Group");

    // An update that changes nothing renders nothing.
    const int renders = policy->renderCount();
    policy->rebuild();
    EXPECT_EQ(policy->renderCount(), renders);
}

TEST_F(PolicyPageTest, NodeEditorRoundTripsThroughTheProfileByteForByte)
{
    auto policy = page();
    const QString before = profiles->activeProfile()->configText;
    FRWNodeEditorSheet* sheet = policy->showNodeEditor("HK");
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(policy->showNodeEditor("HK"), nullptr); // one sheet at a time
    EXPECT_EQ(sheet->windowTitle(), "Edit Node");
    EXPECT_EQ(widget<QLineEdit>(sheet, "portLineEdit")->text(), "8443");
    EXPECT_EQ(widget<QComboBox>(sheet, "tfoComboBox")->currentText(), "auto");
    EXPECT_EQ(widget<QLineEdit>(sheet, "keyLineEdit")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(widget<QLabel>(sheet, "reachedNoteLabel")->text(), "Reached through: DIRECT");
    widget<QPushButton>(sheet, "commitButton")->click();
    EXPECT_EQ(profiles->activeProfile()->configText, before);

    // Port limits gate the commit button; an empty key is fine.
    sheet = policy->showNodeEditor("Vanished");
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->windowTitle(), "Add Node");
    sheet->nameField()->setText("JP");
    widget<QLineEdit>(sheet, "serverLineEdit")->setText("jp.example.net");
    for (const auto& [port, ok] :
         {std::pair{"0", false}, {"70000", false}, {"99999999999", false}, {"443", true}}) {
        widget<QLineEdit>(sheet, "portLineEdit")->setText(port);
        sheet->validate();
        EXPECT_EQ(widget<QPushButton>(sheet, "commitButton")->isEnabled(), ok) << port;
    }
    sheet->togglePSKReveal();
    EXPECT_EQ(widget<QLineEdit>(sheet, "keyLineEdit")->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(widget<QToolButton>(sheet, "revealToolButton")->toolTip(), "Hide the key");
    widget<QPushButton>(sheet, "commitButton")->click();
    EXPECT_EQ(profiles->nodeDetails("JP").value("port").toString(), "443");
    EXPECT_NE(tile(*policy, "JP"), nullptr);
    // New nodes join every group.
    EXPECT_TRUE(profiles->groups()[0].value("members").toStringList().contains("JP"));

    policy->deleteNode("JP");
    EXPECT_EQ(tile(*policy, "JP"), nullptr);
    EXPECT_FALSE(profiles->groups()[0].value("members").toStringList().contains("JP"));
}

TEST_F(PolicyPageTest, LinkPasteValidInvalidAndNamed)
{
    auto policy = page();
    FRWNodeEditorSheet* sheet = policy->showNodeEditor(QString());
    ASSERT_NE(sheet, nullptr);
    QApplication::clipboard()->setText("not a link");
    sheet->pasteShareLink();
    EXPECT_EQ(widget<QLabel>(sheet, "pasteNoteLabel")->text(), "No ferrow:// link on the clipboard");
    QApplication::clipboard()->setText(" ferrow://bm90IGEgbGluaw");
    sheet->pasteShareLink();
    EXPECT_EQ(widget<QLabel>(sheet, "pasteNoteLabel")->text(),
              "The ferrow:// link on the clipboard is malformed");
    EXPECT_TRUE(widget<QLineEdit>(sheet, "serverLineEdit")->text().isEmpty());
    EXPECT_FALSE(sheet->applyShareURI("ferrow://c2VjcmV0@host.example:70000#X"));

    paste(sheet->nameField(), "ferrow://c2VjcmV0@sg.example.net:9443?tfo=ON#Singapore%20A");
    EXPECT_EQ(sheet->nameField()->text(), "Singapore A");
    EXPECT_EQ(widget<QLineEdit>(sheet, "serverLineEdit")->text(), "sg.example.net");
    EXPECT_EQ(widget<QLineEdit>(sheet, "portLineEdit")->text(), "9443");
    EXPECT_EQ(widget<QComboBox>(sheet, "tfoComboBox")->currentText(), "on");
    EXPECT_EQ(widget<QLabel>(sheet, "pasteNoteLabel")->text(), "Read sg.example.net:9443 \u00b7 TFO on");
    EXPECT_TRUE(widget<QPushButton>(sheet, "commitButton")->isEnabled());

    // A typed name stays when a link is pasted into another field.
    sheet->nameField()->setText("  Mine ");
    paste(widget<QLineEdit>(sheet, "serverLineEdit"), "ferrow://a2V5@[2001:db8::1]#Theirs");
    EXPECT_EQ(sheet->nameField()->text(), "Mine");
    EXPECT_EQ(widget<QLineEdit>(sheet, "serverLineEdit")->text(), "2001:db8::1");
    EXPECT_EQ(widget<QLineEdit>(sheet, "portLineEdit")->text(), "443");
    widget<QPushButton>(sheet, "commitButton")->click();
    EXPECT_EQ(profiles->nodeDetails("Mine").value("psk").toString(), "key");
}

TEST_F(PolicyPageTest, ShareShowsAQrCodeThatReadsBackToTheNode)
{
    auto policy = page();
    QAction* share = nullptr;
    for (QAction* action : tile(*policy, "HK")->menuActions()) {
        share = action->text() == "Share\u2026" ? action : share;
    }
    ASSERT_NE(share, nullptr);
    share->trigger();
    FRWNodeShareSheet* sheet = policy->shareSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(policy->showNodeEditor("HK"), nullptr); // one sheet at a time

    const QImage code = sheet->code().convertToFormat(QImage::Format_Grayscale8);
    ferrow::test::GreyImage grey{code.width(), code.height(), {}};
    for (int y = 0; y < code.height(); ++y) {
        grey.pixels.insert(grey.pixels.end(), code.constScanLine(y), code.constScanLine(y) + code.width());
    }
    const std::optional<std::string> read = ferrow::test::decodeQr(grey);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(QString::fromStdString(*read), sheet->link());
    const QVariantMap node = FRWShareLink::parse(sheet->link()).value_or(QVariantMap());
    const QVariantMap details = profiles->nodeDetails("HK");
    for (const char* key : {"name", "server", "port", "psk", "tfo"}) {
        EXPECT_EQ(node.value(key), details.value(key)) << key;
    }
    widget<QPushButton>(sheet, "copyButton")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), sheet->link());
    widget<QPushButton>(sheet, "doneButton")->click();
    QCoreApplication::processEvents();

    // A node without a key has nothing to share: no code, nothing to copy.
    profiles->activeProfile()->configText.replace("[Proxy Group]",
                                                  "Bare = ferrow, bare.example.net, 443\n[Proxy Group]");
    profiles->save();
    FRWNodeShareSheet* bare = policy->shareNode("Bare");
    ASSERT_NE(bare, nullptr);
    EXPECT_TRUE(bare->link().isEmpty());
    EXPECT_TRUE(bare->code().isNull());
    EXPECT_FALSE(widget<QPushButton>(bare, "copyButton")->isEnabled());
    EXPECT_EQ(policy->shareNode("Nowhere"), nullptr);
}

TEST_F(PolicyPageTest, NodeEditorAndLinksRefuseWhatTheProfileCannotHold)
{
    profiles->addGroup("Video", "select", {"HK"}, "");
    auto policy = page();
    FRWNodeEditorSheet* sheet = policy->showNodeEditor(QString());
    ASSERT_NE(sheet, nullptr);
    const QString key = QStringLiteral("Zm9vYmFyYmF6cXV4cXV1eHF1dXp6eXp5eHd2dXRzcg");
    widget<QLineEdit>(sheet, "serverLineEdit")->setText("jp.example.net");
    widget<QLineEdit>(sheet, "keyLineEdit")->setText(key);
    for (const auto& [name, why] : {std::pair{"HK", "A node named \u201cHK\u201d already exists."},
                                    {"Video", "A policy group named \u201cVideo\u201d already exists."},
                                    {"Fast, JP", "A name cannot contain a comma."},
                                    {"DIRECT", "\u201cDIRECT\u201d is a built-in policy."}}) {
        sheet->nameField()->setText(name);
        sheet->validate();
        EXPECT_EQ(sheet->problemNote()->text(), why);
        EXPECT_FALSE(widget<QPushButton>(sheet, "commitButton")->isEnabled()) << name;
    }
    sheet->nameField()->setText("JP");
    widget<QLineEdit>(sheet, "keyLineEdit")->setText("k,ey");
    sheet->validate();
    EXPECT_EQ(sheet->problemNote()->text(), "The key cannot contain a comma.");
    EXPECT_FALSE(widget<QPushButton>(sheet, "commitButton")->isEnabled());
    // A typed key is allowed, with a warning.
    widget<QLineEdit>(sheet, "keyLineEdit")->setText("hunter2hunter2");
    sheet->validate();
    EXPECT_TRUE(sheet->problemNote()->text().startsWith("This key looks typed"));
    EXPECT_TRUE(widget<QPushButton>(sheet, "commitButton")->isEnabled());
    widget<QLineEdit>(sheet, "keyLineEdit")->setText(key);
    sheet->validate();
    EXPECT_TRUE(sheet->problemNote()->text().isEmpty());
    EXPECT_TRUE(widget<QPushButton>(sheet, "commitButton")->isEnabled());

    // A link whose key the format cannot hold fills the form but cannot be saved.
    EXPECT_TRUE(sheet->applyShareURI("ferrow://ayxleQ@jp.example.net:8443#JP"));
    EXPECT_EQ(widget<QLineEdit>(sheet, "keyLineEdit")->text(), "k,ey");
    EXPECT_FALSE(widget<QPushButton>(sheet, "commitButton")->isEnabled());
    sheet->reject();

    // Editing a node keeps its own name.
    sheet = policy->showNodeEditor("HK");
    ASSERT_NE(sheet, nullptr);
    widget<QLineEdit>(sheet, "keyLineEdit")->setText(key);
    sheet->validate();
    EXPECT_TRUE(widget<QPushButton>(sheet, "commitButton")->isEnabled());
    sheet->reject();
}

TEST_F(PolicyPageTest, GroupEditorAndMembersThatNoLongerExist)
{
    auto policy = page();
    policy->pickMemberFor("Streaming", {"Gone", "DIRECT"}, "Gone", policy->groupTiles()[0]);
    ASSERT_NE(policy->memberMenu(), nullptr);
    const QList<QAction*> items = policy->memberMenu()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_FALSE(items[0]->isEnabled());
    EXPECT_TRUE(items[0]->isChecked());
    EXPECT_TRUE(items[1]->isEnabled());
    policy->memberMenu()->close();

    // Add never replaces a group: a name in use, or one the profile cannot hold, is refused.
    policy->addGroup();
    QDialog* dialog = policy->groupDialog();
    ASSERT_NE(dialog, nullptr);
    auto* kind = dialog->findChild<QComboBox*>("groupKindComboBox");
    auto* strategyRow = dialog->findChild<QWidget*>("strategyRow");
    auto* name = dialog->findChild<QLineEdit*>("groupNameLineEdit");
    auto* add = dialog->findChild<QPushButton*>("addButton");
    auto* note = dialog->findChild<QLabel*>("problemNoteLabel");
    EXPECT_FALSE(strategyRow->isVisibleTo(dialog));
    kind->setCurrentIndex(3);
    EXPECT_TRUE(strategyRow->isVisibleTo(dialog));
    dialog->findChild<QComboBox*>("strategyComboBox")->setCurrentIndex(1);
    for (const auto& [typed, why] :
         {std::pair{" Streaming\t", "A policy group named \u201cStreaming\u201d already exists."},
          {"HK", "A node named \u201cHK\u201d already exists."},
          {"DIRECT", "\u201cDIRECT\u201d is a built-in policy."},
          {"Fast, HK", "A name cannot contain a comma."}}) {
        name->setText(typed);
        EXPECT_EQ(note->text(), why);
        EXPECT_FALSE(add->isEnabled()) << typed;
        add->click();
    }
    ASSERT_EQ(profiles->groups().size(), 1);
    EXPECT_EQ(profiles->groups()[0].value("members").toStringList(), (QStringList{"Gone", "DIRECT"}));
    EXPECT_EQ(profiles->groups()[0].value("type").toString(), "select");
    name->setText("Video");
    EXPECT_TRUE(add->isEnabled());
    add->click();
    ASSERT_EQ(profiles->groups().size(), 2);
    EXPECT_EQ(profiles->groups()[1].value("members").toStringList(), (QStringList{"REJECT", "DIRECT", "HK"}));
    EXPECT_EQ(profiles->groups()[1].value("strategy").toString(), "round-robin");
    EXPECT_EQ(profiles->groups()[1].value("type").toString(), "load-balance");
    profiles->deleteGroup("Video");

    // An empty name cancels silently.
    policy->addGroup();
    policy->groupDialog()->findChild<QLineEdit*>("groupNameLineEdit")->setText("  ");
    policy->groupDialog()->findChild<QPushButton*>("addButton")->click();
    EXPECT_EQ(profiles->groups().size(), 1);

    // Deleting asks first.
    policy->deleteGroup("Streaming");
    ASSERT_NE(policy->deleteConfirmation(), nullptr);
    EXPECT_EQ(profiles->groups().size(), 1);
    for (QAbstractButton* button : policy->deleteConfirmation()->buttons()) {
        if (button->text() == "Delete") {
            button->click();
            break;
        }
    }
    EXPECT_TRUE(profiles->groups().isEmpty());
    EXPECT_TRUE(policy->groupTiles().isEmpty());
}

TEST_F(PolicyPageTest, MemberMenuFollowsTheProfileAndAChoiceWithoutACoreIsKept)
{
    profiles->activeProfile()->configText = QStringLiteral(
        "[Proxy]\nHK = ferrow, hk.example.net, 8443, psk=abc\n[Proxy Group]\nProxy = select, HK, DIRECT\n"
        "[Rule]\nFINAL,Proxy\n");
    profiles->save();
    auto policy = page();
    const auto openMenu = [&] {
        QStringList texts;
        if (policy->groupTiles().isEmpty()) {
            return texts;
        }
        QTest::mouseClick(policy->groupTiles()[0], Qt::LeftButton);
        if (policy->memberMenu()) {
            for (QAction* action : policy->memberMenu()->actions()) {
                texts << action->text() + (action->isChecked() ? "*" : "");
            }
        }
        return texts;
    };

    // No core runs: the choice is taken and shown at once.
    ASSERT_EQ(openMenu(), (QStringList{"HK*", "DIRECT"}));
    policy->memberMenu()->actions()[1]->trigger();
    EXPECT_EQ(policy->groupTiles()[0]->selectedMember(), "DIRECT");
    EXPECT_EQ(model->chosenMember("Proxy"), "DIRECT");

    // The core that starts next is told it.
    answer("/groups", R"([{"name":"Proxy","type":"select","members":["HK","DIRECT"],"selected":"HK"}])");
    connectCore();
    poll();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            for (const auto& request : controller.requests()) {
                if (request.target == "/select" && request.body == R"({"group":"Proxy","member":"DIRECT"})") {
                    return true;
                }
            }
            return false;
        },
        5000));

    // A node just added is in the menu before the core has reloaded the profile.
    profiles->addNode("JP", "jp.example.net", 8443, "abc", "auto");
    EXPECT_EQ(openMenu(), (QStringList{"HK*", "DIRECT", "JP"}));
}

TEST_F(PolicyPageTest, TestAllWorksWithTheProxyOffAndOldResultsAreNotGreen)
{
    auto policy = page();
    answer("/test", R"({"ms":42})");
    connectCore();
    ASSERT_FALSE(model->running());
    policy->testAll();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return tile(*policy, "HK") && tile(*policy, "HK")->status() == "42 ms"; }, 5000))
        << (tile(*policy, "HK") ? tile(*policy, "HK")->status().toStdString() : "no tile");
    EXPECT_FALSE(model->nodeLatencies().contains("DIRECT"));

    // Older than the sweep interval, the result no longer says the node works.
    clock.advance(301);
    emit model->didUpdate();
    EXPECT_EQ(tile(*policy, "HK")->status(), "42 ms \u00b7 old");
    EXPECT_EQ(FRWPolicyViewController::latencyStatus("Ferrow", false, 42, true).second, false);
}

TEST_F(PolicyPageTest, ModeMemberAndTestsReachARealCore)
{
    CoreProcess::Options options;
    options.profile = "[Proxy]\nHK = ferrow, 127.0.0.1, 1, psk=YWJj, tfo=off\n"
                      "[Proxy Group]\nProxy = select, DIRECT, REJECT\n[Rule]\nFINAL,Proxy\n";
    CoreProcess core(options);
    ASSERT_TRUE(core.started()) << core.stderrText();
    tunnel.apiInfoPath = QString::fromStdString(core.apiInfoPath().string());
    auto policy = page();
    poll();
    ASSERT_EQ(policy->groupTiles().size(), 1); // the core's groups win over the profile's
    EXPECT_EQ(policy->groupTiles()[0]->groupName(), "Proxy");
    EXPECT_EQ(policy->groupTiles()[0]->selectedMember(), "DIRECT");

    policy->pickMemberFor("Proxy", {"DIRECT", "REJECT"}, "DIRECT", policy->groupTiles()[0]);
    ASSERT_NE(policy->memberMenu(), nullptr);
    policy->memberMenu()->actions()[1]->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return core.get("/groups")[0]["selected"] == "REJECT"; }, 5000))
        << core.get("/groups").dump();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return !policy->groupTiles().isEmpty() && policy->groupTiles()[0]->selectedMember() == "REJECT";
        },
        5000));

    FRWSegmented* mode = widget<FRWSegmented>(policy, "modeSegmented");
    QTest::mouseClick(mode, Qt::LeftButton, {},
                      QPoint(static_cast<int>(mode->width() / 6.0), mode->height() / 2));
    EXPECT_TRUE(QTest::qWaitFor([&] { return core.get("/outbound")["mode"] == "direct"; }, 5000))
        << core.get("/outbound").dump();
    EXPECT_EQ(widget<QLabel>(policy, "modeTextLabel")->text(),
              "Every request goes out directly, without going through a node.");

    // Nothing listens on port 1: the test ends as a timeout badge.
    policy->testAll();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return tile(*policy, "HK") && tile(*policy, "HK")->status() == "Timeout"; }, 15000))
        << (tile(*policy, "HK") ? tile(*policy, "HK")->status().toStdString() : "no tile");
}

} // namespace
