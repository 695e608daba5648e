// The Profile page over a real library in a temporary home: each operation's effect on the files
// of the profiles folder, the active switch reaching a running core, imports, name clashes and
// edits made elsewhere.

#include <filesystem>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include "FRWProfileRow.h"
#include "FRWProfileViewController.h"
#include "FindWidget.h"
#include "ScreensTestSupport.h"

namespace fs = std::filesystem;

namespace {

class ProfilePageTest : public ScreensTest {
protected:
    void SetUp() override
    {
        ScreensTest::SetUp();
        page = load(std::make_unique<FRWProfileViewController>(context()));
    }

    fs::path profilesDir() const { return fs::path(profiles->profilesDir().toStdString()); }
    fs::path renderedPath() const { return fs::path(profiles->configPath().toStdString()); }

    /// The file names in the profiles folder, sorted.
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(profilesDir())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string fileText(const std::string& name) const
    {
        return ferrow::test::readFile(profilesDir() / name);
    }
    QStringList rowNames() const
    {
        QStringList names;
        for (FRWProfileRow* row : page->rows()) {
            names << row->name() + (row->isActive() ? "*" : "") + (row->isSelected() ? "<" : "");
        }
        return names;
    }
    void click(const char* name) { page->view()->findChild<QAbstractButton*>(name)->click(); }
    void typeText(const QString& text)
    {
        widget<QPlainTextEdit>(page, "configPlainTextEdit")->setPlainText(text);
    }

    std::unique_ptr<FRWProfileViewController> page;
};

using Files = std::vector<std::string>;

TEST_F(ProfilePageTest, CreateDuplicateRenameAndDeleteReachTheProfilesFolder)
{
    EXPECT_EQ(rowNames(), QStringList{"Default*<"});
    EXPECT_EQ(widget<QPushButton>(page, "activeButton")->text(), "Active");
    EXPECT_FALSE(widget<QPushButton>(page, "activeButton")->isEnabled());

    click("newToolButton");
    EXPECT_EQ(rowNames(), (QStringList{"Default*", "New Profile<"}));
    EXPECT_EQ(files(), (Files{"Default.conf", "New Profile.conf"}));
    EXPECT_EQ(widget<QPlainTextEdit>(page, "configPlainTextEdit")->toPlainText(),
              FRWProfileStore::templateConfig());
    EXPECT_TRUE(widget<QPushButton>(page, "activeButton")->isEnabled());

    page->nameField()->setText("Work");
    typeText("[General]\nloglevel = info\n");
    click("duplicateToolButton"); // the edits go with the copy
    EXPECT_EQ(rowNames(), (QStringList{"Default*", "Work", "Work copy<"}));
    EXPECT_EQ(files(), (Files{"Default.conf", "Work copy.conf", "Work.conf"}));
    EXPECT_EQ(fileText("Work copy.conf"), "[General]\nloglevel = info\n");

    // An unsafe name is stored sanitised and shown as stored.
    page->nameField()->setText("a/b:c");
    click("saveButton");
    EXPECT_EQ(page->nameField()->text(), "a-b-c");
    EXPECT_EQ(widget<QLabel>(page, "savedNoteLabel")->text(), "Saved");
    EXPECT_EQ(files(), (Files{"Default.conf", "Work.conf", "a-b-c.conf"}));

    click("deleteToolButton"); // no confirmation; the active profile is selected next
    EXPECT_EQ(rowNames(), (QStringList{"Default*<", "Work"}));
    EXPECT_EQ(files(), (Files{"Default.conf", "Work.conf"}));
}

TEST_F(ProfilePageTest, TheActiveDotStandsClearOfTheName)
{
    ASSERT_FALSE(page->rows().isEmpty());
    FRWProfileRow* row = page->rows().first();
    ASSERT_TRUE(row->isActive());
    // The dot is 7 wide and starts 10 in.
    EXPECT_GE(row->findChild<QLabel*>("nameLabel")->x(), 10 + 7 + 6);
}

TEST_F(ProfilePageTest, NameClashesEmptyNamesAndTheLastProfile)
{
    const std::string before = fileText("Default.conf");
    click("deleteToolButton"); // the last one: refused
    EXPECT_EQ(files(), Files{"Default.conf"});
    EXPECT_EQ(fileText("Default.conf"), before);

    page->nameField()->clear();
    click("saveButton");
    EXPECT_EQ(page->nameField()->text(), "Profile");
    EXPECT_EQ(files(), Files{"Profile.conf"});

    click("newToolButton");
    page->nameField()->clear();
    click("saveButton");
    // The later profile keeps the name; the earlier one gets the suffix.
    EXPECT_EQ(files(), (Files{"Profile 2.conf", "Profile.conf"}));
    EXPECT_EQ(page->nameField()->text(), "Profile");

    page->nameField()->setText("PROFILE 2");
    click("saveButton");
    EXPECT_EQ(files().size(), 2U);
    EXPECT_NE(rowNames()[0].chopped(1).toLower(), rowNames()[1].chopped(1).toLower());
}

TEST_F(ProfilePageTest, UnsavedEditsOfOneProfileAreWrittenByTheNextSave)
{
    click("newToolButton"); // "New Profile", selected
    typeText("[Rule]\nFINAL,DIRECT\n");
    page->select(profiles->profiles()[0]); // leave it without saving
    EXPECT_EQ(fileText("New Profile.conf"), FRWProfileStore::templateConfig().toStdString());
    EXPECT_EQ(widget<QPlainTextEdit>(page, "configPlainTextEdit")->toPlainText(),
              profiles->profiles()[0]->configText);
    click("saveButton");
    EXPECT_EQ(fileText("New Profile.conf"), "[Rule]\nFINAL,DIRECT\n");
}

TEST_F(ProfilePageTest, SwitchingTheActiveProfileRewritesTheConfigAndReloadsTheCore)
{
    controller.setResponseFor("/reload", 200, "{}");
    connectCore();
    profiles->setAPIInfoPathProvider([path = apiInfoPath] { return path; });
    click("newToolButton");
    typeText("[General]\n# second\n");
    const std::size_t before = controller.requestCount();
    click("activeButton");
    EXPECT_EQ(rowNames(), (QStringList{"Default", "New Profile*<"}));
    EXPECT_EQ(widget<QPushButton>(page, "activeButton")->text(), "Active");
    EXPECT_EQ(ferrow::test::readFile(renderedPath()), "[General]\n# second\n");
    // The model polls the same controller; wait for the reload among its requests.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const auto requests = controller.requests();
            return std::any_of(requests.begin() + static_cast<std::ptrdiff_t>(before), requests.end(),
                               [](const auto& r) { return r.method == "POST" && r.target == "/reload"; });
        },
        5000));

    // Deleting the active profile makes the first remaining one active and renders it.
    click("deleteToolButton");
    EXPECT_EQ(rowNames(), QStringList{"Default*<"});
    EXPECT_EQ(ferrow::test::readFile(renderedPath()), fileText("Default.conf"));
}

TEST_F(ProfilePageTest, ImportNormalisesLineEndsAndRefusesNonUtf8)
{
    const fs::path crlf = home.root() / "windows.conf";
    ferrow::test::writeFile(crlf, "[Proxy]\r\nHK = ferrow, hk.example.net, 443, psk=abc, tfo=off\r\n");
    const std::string before = fileText("Default.conf");
    ASSERT_TRUE(page->importFile(QString::fromStdString(crlf.string())));
    EXPECT_EQ(widget<QPlainTextEdit>(page, "configPlainTextEdit")->toPlainText(),
              "[Proxy]\nHK = ferrow, hk.example.net, 443, psk=abc, tfo=off\n");
    EXPECT_EQ(page->nameField()->text(), "Default");
    EXPECT_EQ(fileText("Default.conf"), before); // nothing written until saved
    click("saveButton");
    EXPECT_EQ(profiles->nodeDetails("HK").value("psk").toString(), "abc");

    const QString edited = widget<QPlainTextEdit>(page, "configPlainTextEdit")->toPlainText();
    const fs::path latin1 = home.root() / "latin1.conf";
    ferrow::test::writeFile(latin1, "[General]\n# caf\xe9\n");
    EXPECT_FALSE(page->importFile(QString::fromStdString(latin1.string())));
    EXPECT_FALSE(page->importFile(QString::fromStdString((home.root() / "missing.conf").string())));
    EXPECT_EQ(widget<QPlainTextEdit>(page, "configPlainTextEdit")->toPlainText(), edited);
    EXPECT_TRUE(widget<QLabel>(page, "savedNoteLabel")->text().contains("latin1.conf") ||
                widget<QLabel>(page, "savedNoteLabel")->text().contains("missing.conf"));
}

TEST_F(ProfilePageTest, DeletingMovesTheFileToTheTrashOrKeepsTheProfile)
{
    click("newToolButton");
    page->nameField()->setText("Work");
    typeText("[General]\n# work\n");
    click("saveButton");
    auto* list = page->view()->findChild<QWidget*>("profileListWidget");
    QTest::keyClick(list, Qt::Key_Backspace);
    EXPECT_EQ(files(), Files{"Default.conf"});
    EXPECT_EQ(rowNames(), QStringList{"Default*<"});
    EXPECT_EQ(ferrow::test::readFile(home.dataHome() / "Trash" / "files" / "Work.conf"),
              "[General]\n# work\n");
    EXPECT_EQ(widget<QLabel>(page, "savedNoteLabel")->text(), "Moved \u201cWork\u201d to the Trash");

    // Where no trash can be made, the profile and its file stay and the page says why.
    click("newToolButton");
    fs::remove_all(home.dataHome() / "Trash");
    ferrow::test::writeFile(home.dataHome() / "Trash", "not a folder");
    QTest::keyClick(list, Qt::Key_Backspace);
    EXPECT_EQ(files(), (Files{"Default.conf", "New Profile.conf"}));
    EXPECT_EQ(rowNames(), (QStringList{"Default*", "New Profile<"}));
    EXPECT_EQ(widget<QLabel>(page, "savedNoteLabel")->text(),
              QString("\u201cNew Profile\u201d was kept: there is no Trash folder at %1/Trash.")
                  .arg(QString::fromStdString(home.dataHome().string())));
    EXPECT_FALSE(fs::exists(fs::current_path() / "files")) << "trashed into the working folder";
}

TEST_F(ProfilePageTest, ChangesMadeElsewhereAreShownAndNeverOverwritten)
{
    // Another screen edits the active profile while the page shows it unmodified.
    profiles->addNode("HK", "hk.example.net", 443, "k", "off");
    EXPECT_TRUE(
        widget<QPlainTextEdit>(page, "configPlainTextEdit")->toPlainText().contains("hk.example.net"));

    // An untouched editor never copies an older text back, even if no notification came.
    page->nameField()->setText("Home");
    profiles->activeProfile()->configText += "\n# from elsewhere\n";
    click("saveButton");
    EXPECT_TRUE(fileText("Home.conf").find("# from elsewhere") != std::string::npos);

    // A profile deleted elsewhere drops out of the selection.
    click("newToolButton");
    profiles->deleteProfile(page->selected());
    EXPECT_EQ(rowNames(), QStringList{"Home*<"});
}

} // namespace
