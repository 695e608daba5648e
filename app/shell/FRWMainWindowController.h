#pragma once

#include <map>
#include <memory>

#include <QObject>
#include <QPointer>

#include "FRWPageFactory.h"

class QActionGroup;
class QMenu;
class QStackedLayout;
class QWidget;
class FRWGradientView;
class FRWSidebarViewController;
class FRWViewController;

/// The main window: a fixed 940 × 726 gradient with the sidebar on the left and one page at a
/// time on the right. Pages are made by the factory on their first visit and kept for the life of
/// the controller, so each keeps its state.
class FRWMainWindowController : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FRWMainWindowController)

public:
    static constexpr int kContentWidth = 940;
    static constexpr int kContentHeight = 726;

    explicit FRWMainWindowController(FRWPageFactory factory = {}, QObject* parent = nullptr);
    ~FRWMainWindowController() override;

    QWidget* window() const { return m_window; }
    FRWSidebarViewController* sidebar() const { return m_sidebar.get(); }
    FRWViewController* currentPage() const { return m_currentPage; }
    /// The cached page for a key, or null when it was never shown.
    FRWViewController* pageForKey(const QString& key) const;

    /// Every page in sidebar order, the first nine on Ctrl+1…Ctrl+9; the shortcuts work in the window
    /// whether or not the menu is on a menu bar.
    QMenu* viewMenu() const { return m_viewMenu; }

    /// Shows the page for key, making it on first use. The sidebar selection is not touched.
    void showPage(const QString& key);
    /// A new, not yet loaded page for key.
    std::unique_ptr<FRWViewController> makePageFor(const QString& key) const;

private:
    void buildContent();
    void buildViewMenu();

    FRWPageFactory m_factory;
    // Declared before the window so pages (and their views) are deleted while the window exists.
    QPointer<QWidget> m_window;
    FRWGradientView* m_gradient = nullptr;
    std::unique_ptr<FRWSidebarViewController> m_sidebar;
    QWidget* m_contentContainer = nullptr;
    QStackedLayout* m_pageStack = nullptr;
    std::map<QString, std::unique_ptr<FRWViewController>> m_pages;
    FRWViewController* m_currentPage = nullptr;
    QMenu* m_viewMenu = nullptr;
    QActionGroup* m_pageActions = nullptr;
};
