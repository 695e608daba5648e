// The Logs page: rebuilt only when the log changed, following new lines, the find bar with its
// level filter, copying whole lines, and a fresh log from a replaced core.

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include "FRWLogFindBar.h"
#include "FRWLogsViewController.h"
#include "FindWidget.h"
#include "ScreensTestSupport.h"

namespace {

std::string logAnswer(const QStringList& lines, int cursor)
{
    QJsonArray array;
    for (const QString& line : lines) {
        array.append(line);
    }
    const QJsonObject answer{{"capacity", 1000}, {"lines", array}, {"cursor", cursor}};
    return QJsonDocument(answer).toJson(QJsonDocument::Compact).toStdString();
}

QStringList numbered(int from, int count)
{
    QStringList lines;
    for (int i = from; i < from + count; ++i) {
        const char* level = i % 10 == 3 ? "error" : i % 5 == 1 ? "warning" : "info";
        lines << QStringLiteral("2024-05-01 12:00:%1 [%2] line %3")
                     .arg(i % 60, 2, 10, QChar('0'))
                     .arg(level)
                     .arg(i);
    }
    return lines;
}

class LogsTest : public ScreensTest {
protected:
    std::unique_ptr<FRWLogsViewController> page()
    {
        return load(std::make_unique<FRWLogsViewController>(context()));
    }
    QScrollBar* bar(FRWLogsViewController& logs) const
    {
        return widget<QPlainTextEdit>(logs, "logTextView")->verticalScrollBar();
    }
};

TEST_F(LogsTest, EmptyUntilTheFirstLinesAndAgainWhenTheLogEmpties)
{
    auto logs = page();
    EXPECT_TRUE(widget<QPlainTextEdit>(logs, "logTextView")->toPlainText().isEmpty());
    EXPECT_EQ(logs->emptyState()->text(), "No logs yet.\nConnect to see live core activity.");
    EXPECT_TRUE(logs->emptyState()->isVisibleTo(logs->view()));
    EXPECT_FALSE(widget<FRWLogFindBar>(logs, "logFindBar")->isVisibleTo(logs->view()));

    connectCore();
    answer("/logs", logAnswer({"first", "second"}, 2));
    poll();
    EXPECT_EQ(widget<QPlainTextEdit>(logs, "logTextView")->toPlainText(), "first\nsecond");
    EXPECT_FALSE(logs->emptyState()->isVisibleTo(logs->view()));

    // The model's log resets (the stream restarts): the page empties with it.
    model->resetLogStream();
    answer("/logs", logAnswer({}, 0));
    poll();
    EXPECT_TRUE(widget<QPlainTextEdit>(logs, "logTextView")->toPlainText().isEmpty());
    EXPECT_TRUE(logs->emptyState()->isVisibleTo(logs->view()));
}

TEST_F(LogsTest, AnUnchangedLogLeavesSelectionAndScrollAloneANewLineScrollsToTheEnd)
{
    auto logs = page();
    connectCore();
    answer("/logs", logAnswer(numbered(0, 300), 300));
    poll();
    ASSERT_GT(bar(*logs)->maximum(), 0);
    EXPECT_EQ(bar(*logs)->value(), bar(*logs)->maximum());
    const int rebuilds = logs->rebuildCount();
    const int appends = logs->appendCount();

    bar(*logs)->setValue(10);
    QTextCursor selection(widget<QPlainTextEdit>(logs, "logTextView")->document()->findBlockByNumber(20));
    selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    widget<QPlainTextEdit>(logs, "logTextView")->setTextCursor(selection);
    answer("/logs", logAnswer({}, 300));
    poll();
    poll();
    EXPECT_EQ(logs->rebuildCount(), rebuilds);
    EXPECT_EQ(bar(*logs)->value(), 10);
    EXPECT_EQ(widget<QPlainTextEdit>(logs, "logTextView")->textCursor().selectedText(),
              numbered(20, 1).first());

    answer("/logs", logAnswer({"the newest line"}, 301));
    poll();
    EXPECT_EQ(logs->rebuildCount(), rebuilds) << "a new line is appended, not the text replaced";
    EXPECT_EQ(logs->appendCount(), appends + 1);
    EXPECT_TRUE(
        widget<QPlainTextEdit>(logs, "logTextView")->toPlainText().endsWith("line 299\nthe newest line"));
    EXPECT_EQ(bar(*logs)->value(), bar(*logs)->maximum());
    EXPECT_EQ(widget<QPlainTextEdit>(logs, "logTextView")->textCursor().selectedText(),
              numbered(20, 1).first());
}

TEST_F(LogsTest, TrimmedLogsAppendOnlyTheirNewLinesAndAHiddenPageCatchesUpWhenShown)
{
    auto logs = page();
    auto* text = widget<QPlainTextEdit>(logs, "logTextView");
    connectCore();
    // The model keeps 1,000 lines: from here on every answer trims as many as it adds.
    answer("/logs", logAnswer(numbered(0, 1000), 1000));
    poll();
    const int rebuilds = logs->rebuildCount();
    // A find result on the last line, which the new lines are appended right after.
    QTextCursor found(text->document()->lastBlock());
    found.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    text->setTextCursor(found);
    for (int round = 0; round < 3; ++round) {
        answer("/logs", logAnswer(numbered(1000 + round * 4, 4), 1004 + round * 4));
        poll();
    }
    EXPECT_EQ(logs->rebuildCount(), rebuilds);
    EXPECT_EQ(text->document()->blockCount(), 1012);
    EXPECT_EQ(text->document()->lastBlock().text(), numbered(1011, 1).first());
    EXPECT_EQ(text->textCursor().selectedText(), numbered(999, 1).first()) << "the selection did not grow";

    // Hidden, the page leaves the text alone; shown, it catches up with one append.
    logs->view()->hide();
    const int appends = logs->appendCount();
    answer("/logs", logAnswer(numbered(1012, 5), 1017));
    poll();
    answer("/logs", logAnswer(numbered(1017, 5), 1022));
    poll();
    EXPECT_EQ(logs->appendCount(), appends);
    EXPECT_EQ(text->document()->lastBlock().text(), numbered(1011, 1).first());
    logs->view()->show();
    EXPECT_EQ(logs->appendCount(), appends + 1);
    EXPECT_EQ(logs->rebuildCount(), rebuilds);
    EXPECT_EQ(text->document()->lastBlock().text(), numbered(1021, 1).first());
    EXPECT_EQ(text->document()->blockCount(), 1022);
}

TEST_F(LogsTest, FindBarLevelFilterAndCopyingWholeLines)
{
    auto logs = page();
    connectCore();
    answer("/logs", logAnswer(numbered(0, 20), 20));
    poll();

    QWidget* window = logs->view();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    widget<QPlainTextEdit>(logs, "logTextView")->setFocus();
    QTest::keyClick(widget<QPlainTextEdit>(logs, "logTextView"), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(widget<FRWLogFindBar>(logs, "logFindBar")->isVisibleTo(window));
    EXPECT_TRUE(widget<FRWLogFindBar>(logs, "logFindBar")->findLineEdit()->hasFocus());

    QTest::keyClicks(widget<FRWLogFindBar>(logs, "logFindBar")->findLineEdit(), "line 1");
    EXPECT_EQ(widget<QPlainTextEdit>(logs, "logTextView")->textCursor().block().text(),
              numbered(1, 1).first());
    QTest::keyClick(widget<FRWLogFindBar>(logs, "logFindBar")->findLineEdit(), Qt::Key_Return);
    EXPECT_EQ(widget<QPlainTextEdit>(logs, "logTextView")->textCursor().block().text(),
              numbered(10, 1).first());
    widget<FRWLogFindBar>(logs, "logFindBar")->findLineEdit()->setText("no such text");
    EXPECT_EQ(widget<FRWLogFindBar>(logs, "logFindBar")->findChild<QLabel*>("findStatusLabel")->text(),
              "Not found");

    widget<QComboBox>(widget<FRWLogFindBar>(logs, "logFindBar"), "levelComboBox")
        ->setCurrentIndex(int(FRWLogFindBar::Level::Warning));
    const QStringList shown = widget<QPlainTextEdit>(logs, "logTextView")->toPlainText().split('\n');
    EXPECT_EQ(shown.size(), 6); // warnings at 1, 6, 11, 16 and errors at 3, 13
    for (const QString& line : shown) {
        EXPECT_FALSE(line.contains("[info]")) << line.toStdString();
    }
    widget<QComboBox>(widget<FRWLogFindBar>(logs, "logFindBar"), "levelComboBox")
        ->setCurrentIndex(int(FRWLogFindBar::Level::Error));
    EXPECT_EQ(widget<QPlainTextEdit>(logs, "logTextView")->toPlainText().split('\n').size(), 2);

    // Escape leaves the page as it was: the bar hidden and every line back.
    QTest::keyClick(widget<FRWLogFindBar>(logs, "logFindBar")->findLineEdit(), Qt::Key_Escape);
    EXPECT_FALSE(widget<FRWLogFindBar>(logs, "logFindBar")->isVisibleTo(window));
    EXPECT_EQ(widget<QPlainTextEdit>(logs, "logTextView")->toPlainText().split('\n').size(), 20);

    // A selection from the middle of one line into the next copies both lines whole.
    QTextCursor cursor(widget<QPlainTextEdit>(logs, "logTextView")->document()->findBlockByNumber(4));
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 5);
    cursor.movePosition(QTextCursor::Down, QTextCursor::KeepAnchor);
    widget<QPlainTextEdit>(logs, "logTextView")->setTextCursor(cursor);
    logs->copySelectedLines();
    EXPECT_EQ(QApplication::clipboard()->text(), numbered(4, 2).join('\n'));
}

TEST_F(LogsTest, AReplacedCoreStartsAFreshLog)
{
    auto logs = page();
    connectCore("first-core");
    answer("/logs", logAnswer({"old core line"}, 1));
    poll();
    EXPECT_EQ(widget<QPlainTextEdit>(logs, "logTextView")->toPlainText(), "old core line");

    // A new secret is a new core; its log starts again from its own first line.
    connectCore("second-core");
    answer("/logs", logAnswer({"new core line"}, 1));
    poll();
    poll();
    EXPECT_EQ(widget<QPlainTextEdit>(logs, "logTextView")->toPlainText(), "new core line");
    bool askedFromStart = false;
    for (const auto& request : controller.requests()) {
        askedFromStart = askedFromStart || request.target == "/logs?cursor=-1";
    }
    EXPECT_TRUE(askedFromStart);
}

} // namespace
