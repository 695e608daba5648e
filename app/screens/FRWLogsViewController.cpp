#include "FRWLogsViewController.h"

#include <utility>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QVBoxLayout>

#include "FRWAppModel.h"
#include "FRWCardView.h"
#include "FRWLogFindBar.h"
#include "FRWLogText.h"
#include "FRWTheme.h"
#include "FRWViewportFiller.h"

FRWLogsViewController::FRWLogsViewController(FRWScreensContext context, QObject* parent)
    : FRWPageViewController(tr("Logs"), parent), m_context(std::move(context))
{
}

FRWLogsViewController::~FRWLogsViewController() = default;

void FRWLogsViewController::viewDidLoad()
{
    FRWPageViewController::viewDidLoad();
    QVBoxLayout* content = contentLayout();
    content->addSpacing(14);

    m_findBar = new FRWLogFindBar;
    m_findBar->hide();
    content->addWidget(m_findBar);

    m_card = FRWCardView::card(contentView());
    m_card->setObjectName(QStringLiteral("logCard"));
    m_card->setCornerRadius(12);
    auto* cardLayout = new QGridLayout(m_card);
    cardLayout->setContentsMargins(4, 4, 4, 4);
    m_textView = new QPlainTextEdit;
    // Log lines are the core's, left to right in every language.
    m_textView->setLayoutDirection(Qt::LeftToRight);
    m_textView->setObjectName(QStringLiteral("logTextView"));
    m_textView->setAccessibleName(tr("Log"));
    m_textView->setReadOnly(true);
    m_textView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_textView->setFrameShape(QFrame::NoFrame);
    m_textView->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_textView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_textView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_textView->setStyleSheet(
        QStringLiteral("QPlainTextEdit { background: transparent; padding: 8px 6px; }"));
    m_textView->viewport()->setAutoFillBackground(false);
    QFont mono = FRWTheme::font(11.5);
    mono.setFamilies({QStringLiteral("monospace")});
    mono.setStyleHint(QFont::Monospace);
    m_textView->setFont(mono);
    FRWTheme::bindTextColor(m_textView, FRWTheme::label());
    m_textView->setContextMenuPolicy(Qt::CustomContextMenu);
    m_text = std::make_unique<FRWLogText>(m_textView);
    view()->installEventFilter(this);
    cardLayout->addWidget(m_textView, 0, 0);
    m_emptyState = new QLabel(tr("No logs yet.\nConnect to see live core activity."));
    m_emptyState->setObjectName(QStringLiteral("emptyStateLabel"));
    m_emptyState->setFont(FRWTheme::font(13));
    FRWTheme::bindTextColor(m_emptyState, FRWTheme::secondaryLabel());
    m_emptyState->setAlignment(Qt::AlignCenter);
    m_emptyState->setAttribute(Qt::WA_TransparentForMouseEvents);
    cardLayout->addWidget(m_emptyState, 0, 0, Qt::AlignCenter);
    content->addWidget(m_card);
    new FRWViewportFiller(scroll(), m_card, kContentMargin, 240);

    auto* findShortcut = new QShortcut(QKeySequence::Find, view(), this, &FRWLogsViewController::showFindBar);
    findShortcut->setContext(Qt::WidgetWithChildrenShortcut);
    auto* copyLines = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), view(), this,
                                    &FRWLogsViewController::copySelectedLines);
    copyLines->setContext(Qt::WidgetWithChildrenShortcut);
    connect(m_textView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu* menu = m_textView->createStandardContextMenu(at);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        QAction* lines = menu->addAction(tr("Copy Lines"), this, &FRWLogsViewController::copySelectedLines);
        lines->setEnabled(m_textView->textCursor().hasSelection());
        menu->addAction(tr("Find\u2026"), this, &FRWLogsViewController::showFindBar);
        menu->popup(m_textView->viewport()->mapToGlobal(at));
    });
    connect(m_findBar, &FRWLogFindBar::queryChanged, this, [this] {
        // A longer query keeps matching where the last one did.
        QTextCursor cursor = m_textView->textCursor();
        cursor.setPosition(cursor.selectionStart());
        m_textView->setTextCursor(cursor);
        find(false);
    });
    connect(m_findBar, &FRWLogFindBar::findNext, this, [this] { find(false); });
    connect(m_findBar, &FRWLogFindBar::findPrevious, this, [this] { find(true); });
    connect(m_findBar, &FRWLogFindBar::levelChanged, this, &FRWLogsViewController::applyLevel);
    connect(m_findBar, &FRWLogFindBar::closeRequested, this, &FRWLogsViewController::hideFindBar);
    connect(m_context.model, &FRWAppModel::didUpdate, this, &FRWLogsViewController::refresh);
    refresh();
}

void FRWLogsViewController::refresh()
{
    if (!m_textView) {
        return;
    }
    const QStringList& logs = m_context.model->logs();
    m_emptyState->setVisible(logs.isEmpty());
    // A hidden page does no work; it catches up when it is shown again.
    if (!view()->isVisible()) {
        m_behind = true;
        return;
    }
    m_behind = false;
    const qint64 cursor = m_context.model->logsCursor();
    switch (m_text->sync(logs, cursor)) {
    case FRWLogText::Change::Replaced:
        ++m_rebuilds;
        break;
    case FRWLogText::Change::Appended:
        ++m_appends;
        break;
    case FRWLogText::Change::None:
        break;
    }
    m_shownCursor = cursor;
    m_shownCount = logs.size();
}

void FRWLogsViewController::applyLevel()
{
    const FRWLogFindBar::Level level = m_findBar->level();
    m_text->setFilter(level == FRWLogFindBar::Level::All ? FRWLogText::Filter()
                                                         : FRWLogText::Filter([level](const QString& line) {
                                                               return FRWLogFindBar::shows(level, line);
                                                           }));
    refresh();
}

bool FRWLogsViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view() && event->type() == QEvent::Show && m_behind) {
        refresh();
    }
    return FRWPageViewController::eventFilter(watched, event);
}

void FRWLogsViewController::showFindBar()
{
    if (!m_findBar) {
        return;
    }
    m_findBar->show();
    m_findBar->findLineEdit()->setFocus(Qt::ShortcutFocusReason);
    m_findBar->findLineEdit()->selectAll();
}

void FRWLogsViewController::hideFindBar()
{
    if (!m_findBar) {
        return;
    }
    m_findBar->hide();
    m_findBar->setNotFound(false);
    if (m_findBar->level() != FRWLogFindBar::Level::All) {
        m_findBar->setLevel(FRWLogFindBar::Level::All);
    }
    m_textView->setFocus();
}

void FRWLogsViewController::find(bool backwards)
{
    const QString query = m_findBar->query();
    if (query.isEmpty()) {
        m_findBar->setNotFound(false);
        return;
    }
    const QTextDocument::FindFlags flags =
        backwards ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (!m_textView->find(query, flags)) {
        // Wrap around once.
        QTextCursor restart = m_textView->textCursor();
        restart.movePosition(backwards ? QTextCursor::End : QTextCursor::Start);
        const QTextCursor before = m_textView->textCursor();
        m_textView->setTextCursor(restart);
        if (!m_textView->find(query, flags)) {
            m_textView->setTextCursor(before);
            m_findBar->setNotFound(true);
            return;
        }
    }
    m_findBar->setNotFound(false);
}

void FRWLogsViewController::copySelectedLines()
{
    if (!m_textView) {
        return;
    }
    const QTextCursor cursor = m_textView->textCursor();
    if (!cursor.hasSelection()) {
        return;
    }
    QTextDocument* document = m_textView->document();
    QTextBlock block = document->findBlock(cursor.selectionStart());
    const QTextBlock last = document->findBlock(cursor.selectionEnd());
    QStringList lines;
    while (block.isValid()) {
        lines << block.text();
        if (block == last) {
            break;
        }
        block = block.next();
    }
    QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}
