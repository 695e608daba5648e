#pragma once

#include <optional>

#include "FRWPageViewController.h"
#include "FRWScreens.h"

class QLabel;
class QPlainTextEdit;
class FRWCardView;
class FRWLogFindBar;

/// The core's recent log as one read-only text, newest at the bottom. The text is rebuilt only
/// when the model's log changed; Ctrl+F opens a find bar with a level filter.
class FRWLogsViewController : public FRWPageViewController {
    Q_OBJECT
public:
    explicit FRWLogsViewController(FRWScreensContext context, QObject* parent = nullptr);

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

protected:
    void viewDidLoad() override;

private:
    void rebuildText();
    void find(bool backwards);

    FRWScreensContext m_context;
    FRWCardView* m_card = nullptr;
    QPlainTextEdit* m_textView = nullptr;
    QLabel* m_emptyState = nullptr;
    FRWLogFindBar* m_findBar = nullptr;
    std::optional<qint64> m_shownCursor;
    qsizetype m_shownCount = 0;
    int m_rebuilds = 0;
};
