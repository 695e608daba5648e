#include "FRWMainWindowController.h"

#include <QActionGroup>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QScreen>
#include <QStackedLayout>
#include <QWidget>

#include "FRWGradientView.h"
#include "FRWNames.h"
#include "FRWPageKeys.h"
#include "FRWSidebarRow.h"
#include "FRWSidebarViewController.h"
#include "FRWViewController.h"

FRWMainWindowController::FRWMainWindowController(FRWPageFactory factory, QObject* parent)
    : QObject(parent), m_factory(std::move(factory))
{
    // The desktop's own decorations; one fixed size, so no maximise button and no resizing.
    auto* window = new QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                            Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                            Qt::WindowCloseButtonHint);
    window->setObjectName(QStringLiteral("mainWindow"));
    window->setWindowTitle(QString::fromLatin1(ferrow::kApplicationName));
    window->setFixedSize(kContentWidth, kContentHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    m_window = window;
    buildContent();
}

FRWMainWindowController::~FRWMainWindowController()
{
    m_currentPage = nullptr;
    m_pages.clear();
    m_sidebar.reset();
    delete m_window.data();
}

void FRWMainWindowController::buildContent()
{
    auto* windowLayout = new QHBoxLayout(m_window);
    windowLayout->setContentsMargins(0, 0, 0, 0);
    m_gradient = new FRWGradientView(m_window);
    m_gradient->setObjectName(QStringLiteral("gradientView"));
    windowLayout->addWidget(m_gradient);

    auto* layout = new QHBoxLayout(m_gradient);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_sidebar = std::make_unique<FRWSidebarViewController>();
    QWidget* sidebarView = m_sidebar->view();
    sidebarView->setFixedWidth(FRWSidebarViewController::kWidth);
    layout->addWidget(sidebarView);

    m_contentContainer = new QWidget(m_gradient);
    m_contentContainer->setObjectName(QStringLiteral("contentContainer"));
    m_pageStack = new QStackedLayout(m_contentContainer);
    m_pageStack->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_contentContainer, 1);

    QPointer<FRWMainWindowController> weakSelf(this);
    m_sidebar->onSelect = [weakSelf](const QString& key) {
        if (weakSelf) {
            weakSelf->showPage(key);
        }
    };
    buildViewMenu();
    showPage(QString::fromLatin1(ferrow::pages::kActivity));
}

void FRWMainWindowController::buildViewMenu()
{
    m_viewMenu = new QMenu(tr("View"), m_window);
    m_viewMenu->setObjectName(QStringLiteral("viewMenu"));
    m_pageActions = new QActionGroup(m_viewMenu);
    const QList<FRWSidebarRow*> rows = m_sidebar->rows();
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QPointer<FRWSidebarRow> row = rows.at(i);
        QAction* action = m_viewMenu->addAction(row->title());
        action->setData(row->itemID());
        action->setCheckable(true);
        m_pageActions->addAction(action);
        if (i < 9) {
            action->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + i)));
        }
        // Chosen as a click on the row is, so the sidebar and the page agree.
        connect(action, &QAction::triggered, this, [row] {
            if (row) {
                row->performAccessiblePress();
            }
        });
        m_window->addAction(action);
    }
}

FRWViewController* FRWMainWindowController::pageForKey(const QString& key) const
{
    const auto found = m_pages.find(key);
    return found == m_pages.end() ? nullptr : found->second.get();
}

void FRWMainWindowController::showPage(const QString& key)
{
    auto found = m_pages.find(key);
    if (found == m_pages.end()) {
        found = m_pages.emplace(key, makePageFor(key)).first;
    }
    FRWViewController* page = found->second.get();
    if (page == m_currentPage) {
        return;
    }
    // The old page stays in the stack, hidden, with its scroll position and selections.
    QWidget* pageView = page->view();
    if (m_pageStack->indexOf(pageView) < 0) {
        m_pageStack->addWidget(pageView);
    }
    m_pageStack->setCurrentWidget(pageView);
    m_currentPage = page;
    for (QAction* action : m_pageActions->actions()) {
        if (action->data().toString() == key) {
            action->setChecked(true);
        }
    }
}

std::unique_ptr<FRWViewController> FRWMainWindowController::makePageFor(const QString& key) const
{
    return m_factory.make(key);
}
