// Two live pages over one library and one profile file: what one page writes, the other shows
// and never undoes, and unsaved edits meet changes made elsewhere only by the user's choice.

#include <filesystem>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>

#include "FRWNodeEditorSheet.h"
#include "FRWPolicyViewController.h"
#include "FRWProfileRow.h"
#include "FRWProfileViewController.h"
#include "FRWRuleViewController.h"
#include "FRWRulesModel.h"
#include "FindWidget.h"
#include "ScreensTestSupport.h"

namespace {

const QString kRules = QStringLiteral("[Rule]\nDOMAIN,a.example,DIRECT\nDEST-PORT,22,REJECT\nFINAL,Proxy\n");

class SharedProfileTest : public ScreensTest {
protected:
    void SetUp() override
    {
        ScreensTest::SetUp();
        profiles->activeProfile()->configText =
            QStringLiteral("[Proxy]\nHK = ferrow, hk.example.net, 443, psk=a, tfo=off\n"
                           "[Proxy Group]\nProxy = select, HK\n") +
            kRules;
        profiles->save();
        profilePage = load(std::make_unique<FRWProfileViewController>(context()));
    }

    /// The active profile's file as it is on disk.
    QString fileText() const
    {
        return QString::fromStdString(
            ferrow::test::readFile(profiles->fileForName(profiles->activeID()).toStdString()));
    }
    QPlainTextEdit* editor() const { return widget<QPlainTextEdit>(profilePage, "configPlainTextEdit"); }
    void click(const char* name) { profilePage->view()->findChild<QAbstractButton*>(name)->click(); }
    void appendToEditor(const QString& text) { editor()->setPlainText(editor()->toPlainText() + text); }
    /// Types the value into the open rule editor and confirms it.
    static void confirmRule(FRWRuleEditorSheet* sheet, const QString& value)
    {
        ASSERT_NE(sheet, nullptr);
        widget<QLineEdit>(sheet, "valueLineEdit")->setText(value);
        widget<QPushButton>(sheet, "confirmButton")->click();
        ASSERT_NE(sheet->confirmation(), nullptr);
        sheet->confirmation()->buttons().first()->click();
    }

    std::unique_ptr<FRWProfileViewController> profilePage;
};

TEST_F(SharedProfileTest, RulesPageEditsReachTheProfileEditorAndAreNotUndoneByItsSave)
{
    auto rules = load(std::make_unique<FRWRuleViewController>(context()));
    rules->table()->selectRow(1);
    rules->deleteSelectedRule();
    ASSERT_FALSE(fileText().contains("DEST-PORT,22,REJECT"));
    EXPECT_FALSE(editor()->toPlainText().contains("DEST-PORT,22,REJECT"));

    rules->table()->selectRow(0);
    rules->editSelectedRule();
    confirmRule(rules->ruleEditor(), "b.example");
    EXPECT_TRUE(editor()->toPlainText().contains("DOMAIN,b.example,DIRECT"));

    // An edit made on the Profile page from what it now shows keeps both changes.
    appendToEditor("# checked\n");
    click("saveButton");
    EXPECT_FALSE(fileText().contains("DEST-PORT,22,REJECT"));
    EXPECT_TRUE(fileText().contains("DOMAIN,b.example,DIRECT"));
    EXPECT_FALSE(fileText().contains("a.example"));
    EXPECT_TRUE(fileText().contains("# checked"));
}

TEST_F(SharedProfileTest, UnsavedProfileEditsMeetAPolicyEditOnlyByTheUsersChoice)
{
    auto policy = load(std::make_unique<FRWPolicyViewController>(context()));
    appendToEditor("# mine\n");
    policy->addNode();
    FRWNodeEditorSheet* sheet = policy->nodeEditor();
    ASSERT_NE(sheet, nullptr);
    sheet->nameField()->setText("JP");
    widget<QLineEdit>(sheet, "serverLineEdit")->setText("jp.example.net");
    sheet->validate();
    widget<QPushButton>(sheet, "commitButton")->click();
    ASSERT_TRUE(fileText().contains("jp.example.net"));
    EXPECT_TRUE(widget<QWidget>(profilePage, "conflictBar")->isVisibleTo(profilePage->view()));

    // Save, New, Duplicate and a row click neither write the editor over the node nor drop it.
    click("saveButton");
    click("newToolButton");
    click("duplicateToolButton");
    profilePage->select(profiles->profiles().first());
    EXPECT_TRUE(fileText().contains("jp.example.net"));
    EXPECT_EQ(profiles->profiles().size(), 1);
    EXPECT_TRUE(editor()->toPlainText().contains("# mine"));

    // Reload takes the library's version.
    click("reloadButton");
    EXPECT_FALSE(widget<QWidget>(profilePage, "conflictBar")->isVisibleTo(profilePage->view()));
    EXPECT_TRUE(editor()->toPlainText().contains("jp.example.net"));
    EXPECT_FALSE(editor()->toPlainText().contains("# mine"));

    // Keep Mine writes the editor's version, because the user said so.
    appendToEditor("# mine again\n");
    policy->deleteNode("JP");
    ASSERT_TRUE(widget<QWidget>(profilePage, "conflictBar")->isVisibleTo(profilePage->view()));
    click("keepMineButton");
    click("saveButton");
    EXPECT_TRUE(fileText().contains("# mine again"));
    EXPECT_TRUE(fileText().contains("jp.example.net"));

    // A reload of the library from disk keeps unsaved edits too, and asks when the file changed.
    appendToEditor("# unsaved\n");
    ferrow::test::writeFile(profiles->fileForName(profiles->activeID()).toStdString(),
                            "[General]\n# by hand\n");
    profiles->load();
    EXPECT_TRUE(editor()->toPlainText().contains("# unsaved"));
    EXPECT_TRUE(widget<QWidget>(profilePage, "conflictBar")->isVisibleTo(profilePage->view()));
}

TEST_F(SharedProfileTest, RulesPageWritesOnTheRulesCommittedByTheProfilePage)
{
    auto rules = load(std::make_unique<FRWRuleViewController>(context()));
    click("newToolButton");
    profilePage->select(profiles->activeProfile());
    QString typed = editor()->toPlainText();
    typed.replace(kRules, QStringLiteral("[Rule]\nDOMAIN,typed.example,REJECT\nFINAL,DIRECT\n"));
    editor()->setPlainText(typed);
    profilePage->select(profiles->profiles().last()); // committed to memory, not saved

    // A delete aimed at a row of the older list writes nothing and shows the current rules.
    rules->table()->selectRow(1);
    rules->deleteSelectedRule();
    EXPECT_EQ(rules->rules().size(), 2);
    EXPECT_EQ(rules->rules()[0].value("value").toString(), "typed.example");

    // An add works on the current rules.
    profilePage->select(profiles->activeProfile());
    editor()->setPlainText(editor()->toPlainText().replace("typed.example", "typed2.example"));
    profilePage->select(profiles->profiles().last());
    // A drag that started from the older list is not written either.
    QMimeData drag;
    drag.setData(FRWRulesModel::kRowMimeType, "0");
    rules->rulesModel()->dropMimeData(&drag, Qt::MoveAction, 2, 0, {});
    EXPECT_EQ(rules->rules()[0].value("value").toString(), "typed2.example");
    rules->addRule();
    confirmRule(rules->ruleEditor(), "new.example");
    EXPECT_EQ(
        profiles->linesInSection("[Rule]"),
        (QStringList{"DOMAIN,typed2.example,REJECT", "DOMAIN-SUFFIX,new.example,DIRECT", "FINAL,DIRECT"}));
    EXPECT_TRUE(fileText().contains("typed2.example"));
}

} // namespace
