#pragma once

#include <memory>
#include <optional>

#include "FRWPageViewController.h"
#include "FRWScreens.h"

class QLabel;
class QPlainTextEdit;
class FRWCardView;
class FRWLogFindBar;
class FRWLogText;

/// The core's recent log as one read-only text, newest at the bottom. New lines are appended
/// while the page is shown (a hidden page catches up when shown); the text is replaced only when
/// the log starts over or the level filter changes. Ctrl+F opens a find bar with a level filter.
class FRWLogsViewController : public FRWPageViewController {
    Q_OBJECT
public:
    explicit FRWLogsViewController(FRWScreensContext context, QObject* parent = nullptr);
    ~FRWLogsViewController() override;

    void refresh();
    /// Shows the find bar and puts the cursor into its field.
    void showFindBar();
    /// Hides the find bar; the level filter goes back to all lines.
    void hideFindBar();
    /// Copies the whole lines the selection touches.
    void copySelectedLines();

    QLabel* emptyState() const { return m_emptyState; }
    qint64 shownCursor() const { return m_shownCursor.value_or(-1); }
    qsizetype shownCount() const { return m_shownCount; }
    /// How often the text was replaced; an unchanged log leaves it alone.
    int rebuildCount() const { return m_rebuilds; }
    /// How often new lines were appended to the text.
    int appendCount() const { return m_appends; }

protected:
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyLevel();
    void find(bool backwards);

    FRWScreensContext m_context;
    FRWCardView* m_card = nullptr;
    QPlainTextEdit* m_textView = nullptr;
    QLabel* m_emptyState = nullptr;
    FRWLogFindBar* m_findBar = nullptr;
    std::optional<qint64> m_shownCursor;
    qsizetype m_shownCount = 0;
    int m_rebuilds = 0;
    int m_appends = 0;
    bool m_behind = false;
    std::unique_ptr<FRWLogText> m_text;
};
