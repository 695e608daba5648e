// The Rules page: add before FINAL, edit, delete, reorder by drop, the value checks and the
// confirmation texts, over a real profile library.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>

#include "FRWRuleText.h"
#include "FRWRuleViewController.h"
#include "FRWRulesModel.h"
#include "FindWidget.h"
#include "ScreensTestSupport.h"

namespace {

class RulesPageTest : public ScreensTest {
protected:
    void SetUp() override
    {
        ScreensTest::SetUp();
        profiles->activeProfile()->configText = QStringLiteral(
            "[Proxy]\nHK = ferrow, hk.example.net, 443, psk=a, tfo=off\n[Proxy Group]\nProxy = select, HK\n"
            "[Rule]\nDOMAIN,a.example,DIRECT\nDEST-PORT,22,REJECT\nFINAL,Proxy\n");
        profiles->save();
        page = load(std::make_unique<FRWRuleViewController>(context()));
    }
    QStringList stored() const { return profiles->linesInSection("[Rule]"); }
    /// Fills and confirms the open editor through its confirmation.
    void confirm(FRWRuleEditorSheet* sheet, const QString& type, const QString& value, const QString& policy)
    {
        widget<QComboBox>(sheet, "typeComboBox")->setCurrentText(type);
        widget<QLineEdit>(sheet, "valueLineEdit")->setText(value);
        widget<QComboBox>(sheet, "policyComboBox")->setCurrentText(policy);
        ASSERT_TRUE(widget<QPushButton>(sheet, "confirmButton")->isEnabled());
        widget<QPushButton>(sheet, "confirmButton")->click();
        ASSERT_NE(sheet->confirmation(), nullptr);
        sheet->confirmation()->buttons().first()->click();
    }
    bool drop(int source, int gap, bool ontoRow = false)
    {
        QMimeData data;
        data.setData(FRWRulesModel::kRowMimeType, QByteArray::number(source));
        const QModelIndex parent = ontoRow ? page->rulesModel()->index(gap, 0) : QModelIndex();
        const bool accepted =
            page->rulesModel()->canDropMimeData(&data, Qt::MoveAction, ontoRow ? -1 : gap, 0, parent);
        page->rulesModel()->dropMimeData(&data, Qt::MoveAction, ontoRow ? -1 : gap, 0, parent);
        return accepted;
    }
    std::unique_ptr<FRWRuleViewController> page;
};

TEST_F(RulesPageTest, AddEditAndDeleteWriteTheProfile)
{
    EXPECT_EQ(page->policyOptions(), (QStringList{"DIRECT", "REJECT", "Proxy", "HK"}));
    page->addRule();
    FRWRuleEditorSheet* sheet = page->ruleEditor();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(widget<QComboBox>(sheet, "typeComboBox")->currentText(), "DOMAIN-SUFFIX");
    confirm(sheet, "DOMAIN-SUFFIX", " b.example ", "HK");
    EXPECT_EQ(stored(), (QStringList{"DOMAIN,a.example,DIRECT", "DEST-PORT,22,REJECT",
                                     "DOMAIN-SUFFIX,b.example,HK", "FINAL,Proxy"}));

    page->table()->selectRow(1);
    page->editSelectedRule();
    sheet = page->ruleEditor();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(widget<QLineEdit>(sheet, "valueLineEdit")->text(), "22");
    // "Back" keeps the editor open and writes nothing.
    widget<QLineEdit>(sheet, "valueLineEdit")->setText("8000-8100");
    widget<QPushButton>(sheet, "confirmButton")->click();
    sheet->confirmation()->buttons().last()->click();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(stored()[1], "DEST-PORT,22,REJECT");
    widget<QPushButton>(sheet, "confirmButton")->click();
    sheet->confirmation()->buttons().first()->click();
    EXPECT_EQ(stored()[1], "DEST-PORT,8000-8100,REJECT");

    page->table()->selectRow(0);
    page->deleteSelectedRule();
    EXPECT_EQ(stored().size(), 3);
    EXPECT_EQ(stored()[0], "DEST-PORT,8000-8100,REJECT");

    // Without FINAL the new rule goes last; switching to FINAL empties and disables the value.
    profiles->setRules({});
    EXPECT_EQ(page->rules().size(), 0);
    page->addRule();
    sheet = page->ruleEditor();
    widget<QLineEdit>(sheet, "valueLineEdit")->setText("x");
    widget<QComboBox>(sheet, "typeComboBox")->setCurrentText("FINAL");
    EXPECT_FALSE(widget<QLineEdit>(sheet, "valueLineEdit")->isEnabled());
    EXPECT_TRUE(widget<QLineEdit>(sheet, "valueLineEdit")->text().isEmpty());
    EXPECT_TRUE(widget<QPushButton>(sheet, "confirmButton")->isEnabled());
    confirm(sheet, "FINAL", "", "REJECT");
    EXPECT_EQ(stored(), QStringList{"FINAL,REJECT"});
}

TEST_F(RulesPageTest, ValuesTheProfileCannotHoldAreRefusedWithANote)
{
    page->addRule();
    FRWRuleEditorSheet* sheet = page->ruleEditor();
    ASSERT_NE(sheet, nullptr);
    widget<QComboBox>(sheet, "typeComboBox")->setCurrentText("DOMAIN-REGEX");
    widget<QLineEdit>(sheet, "valueLineEdit")->setText("^ads{1,3}\\.example$");
    EXPECT_EQ(sheet->problemNote()->text(), "A rule's value cannot contain a comma.");
    EXPECT_FALSE(widget<QPushButton>(sheet, "confirmButton")->isEnabled());
    widget<QPushButton>(sheet, "confirmButton")->click();
    EXPECT_EQ(sheet->confirmation(), nullptr);
    widget<QLineEdit>(sheet, "valueLineEdit")->setText("^ads(");
    EXPECT_EQ(sheet->problemNote()->text(), "This is not a regular expression the core can use.");
    EXPECT_FALSE(widget<QPushButton>(sheet, "confirmButton")->isEnabled());
    widget<QLineEdit>(sheet, "valueLineEdit")->setText("^ads{2}\\.example$");
    EXPECT_TRUE(sheet->problemNote()->text().isEmpty());
    EXPECT_TRUE(widget<QPushButton>(sheet, "confirmButton")->isEnabled());
    widget<QComboBox>(sheet, "typeComboBox")->setCurrentText("DOMAIN");
    widget<QLineEdit>(sheet, "valueLineEdit")->setText("..");
    EXPECT_FALSE(widget<QPushButton>(sheet, "confirmButton")->isEnabled());
    sheet->reject();
    EXPECT_EQ(profiles->rules().size(), 3);
}

TEST_F(RulesPageTest, ReorderByDropBetweenRowsOnly)
{
    EXPECT_FALSE(drop(0, 1));       // just below itself
    EXPECT_FALSE(drop(0, 1, true)); // onto a row
    EXPECT_FALSE(drop(7, 0));       // out of range
    EXPECT_TRUE(drop(2, 0));        // FINAL may move anywhere
    EXPECT_EQ(stored(), (QStringList{"FINAL,Proxy", "DOMAIN,a.example,DIRECT", "DEST-PORT,22,REJECT"}));
    EXPECT_EQ(page->table()->currentIndex().row(), 0);
    EXPECT_TRUE(drop(0, 3)); // to the end
    EXPECT_EQ(stored(), (QStringList{"DOMAIN,a.example,DIRECT", "DEST-PORT,22,REJECT", "FINAL,Proxy"}));
    QMimeData foreign;
    foreign.setText("0");
    EXPECT_FALSE(page->rulesModel()->canDropMimeData(&foreign, Qt::MoveAction, 2, 0, {}));
}

TEST(RuleText, ValueChecks)
{
    EXPECT_TRUE(FRWRuleText::placeholderForRuleType("PROCESS-PATH").startsWith("/usr/"));
    using FRWRuleText::isWellFormedValue;
    for (const char* good : {"0", "443", "8000-8100", "8000 - 8100", "65535"}) {
        EXPECT_TRUE(isWellFormedValue(good, "DEST-PORT")) << good;
    }
    for (const char* bad : {"8100-8000", "1-2-3", "70000", "80a", "-", "123456"}) {
        EXPECT_FALSE(isWellFormedValue(bad, "SRC-PORT")) << bad;
    }
    for (const char* good : {"10.0.0.0/8", "::1/128", "2001:db8::/32", "192.168.1.1"}) {
        EXPECT_TRUE(isWellFormedValue(good, "IP-CIDR")) << good;
    }
    for (const char* bad : {"10.0.0.0/33", "10.0.0.0/", "::1/129", "10.0.0/8", "a/b/c", "fe80::1%eth0"}) {
        EXPECT_FALSE(isWellFormedValue(bad, "SRC-IP-CIDR")) << bad;
    }
    EXPECT_TRUE(isWellFormedValue("UDP", "PROTOCOL"));
    EXPECT_FALSE(isWellFormedValue("icmp", "PROTOCOL"));
    EXPECT_TRUE(isWellFormedValue("anything", "GEOIP"));
    EXPECT_FALSE(isWellFormedValue("", "DOMAIN"));
}

TEST(RuleText, ConfirmationTexts)
{
    using FRWRuleText::explanationForType;
    const QString tail =
        "\n\nRules are matched top to bottom, and the first match wins \u2014 so a broader rule above "
        "this one will decide first.";
    EXPECT_EQ(explanationForType("PROTOCOL", "udp", "REJECT"),
              "Every UDP connection will be blocked, whatever its "
              "destination." +
                  tail);
    EXPECT_EQ(explanationForType("ODD", "v", "HK"), "ODD v will be sent through \"HK\"." + tail);
    EXPECT_TRUE(
        explanationForType("DOMAIN-SUFFIX", "b.example", "DIRECT")
            .startsWith(
                "Connections to b.example, and to every host under it, will connect directly, without "
                "going through a node.\n\nThat includes ones you have not listed: www.b.example, "
                "api.b.example,"));
    // A value carrying placeholder text is shown as typed.
    EXPECT_TRUE(explanationForType("GEOIP", "%2", "DIRECT")
                    .startsWith("Connections whose destination address is in %2 "));
    for (const QStringList& group : FRWRuleText::ruleTypeGroups()) {
        for (const QString& type : group) {
            EXPECT_TRUE(explanationForType(type, "v", "DIRECT").endsWith(tail)) << type.toStdString();
            EXPECT_FALSE(FRWRuleText::hintForRuleType(type).isEmpty()) << type.toStdString();
        }
    }
}

} // namespace
