#include "FRWPageViewController.h"

#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "FRWAppearance.h"
#include "FRWFlipped.h"
#include "FRWTheme.h"

FRWPageViewController::FRWPageViewController(QString pageTitle, QObject* parent)
    : FRWViewController(parent), m_pageTitle(std::move(pageTitle))
{
}

QWidget* FRWPageViewController::contentView() const
{
    return m_doc;
}

int FRWPageViewController::viewportHeight() const
{
    return m_scroll ? m_scroll->viewport()->height() : 0;
}

void FRWPageViewController::loadView()
{
    auto* root = new QWidget;
    root->setObjectName(QStringLiteral("pageView"));
    root->resize(732, 680);
    setView(root);
}

void FRWPageViewController::viewDidLoad()
{
    QWidget* root = view();
    auto* rootLayout = new QVBoxLayout(root);
    rootLayout->setContentsMargins(0, 0, 0, 0);

    m_scroll = new QScrollArea(root);
    m_scroll->setObjectName(QStringLiteral("pageScrollArea"));
    m_scroll->setAccessibleName(m_pageTitle);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The document always spans the viewport's width; it grows taller than it only with content.
    m_scroll->setWidgetResizable(true);
    m_scroll->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);
    FRWTheme::styleScroller(m_scroll->verticalScrollBar());
    rootLayout->addWidget(m_scroll);

    m_doc = new FRWFlippedDoc;
    m_doc->setObjectName(QStringLiteral("pageDoc"));
    auto* docLayout = new QVBoxLayout(m_doc);
    docLayout->setContentsMargins(kContentMargin, kTitleTop, kContentMargin, 0);
    docLayout->setSpacing(0);

    m_titleLabel = new QLabel(m_pageTitle, m_doc);
    m_titleLabel->setObjectName(QStringLiteral("titleLabel"));
    m_titleLabel->setFont(FRWTheme::font(28, QFont::Bold));
    FRWTheme::bindTextColor(m_titleLabel, FRWTheme::primaryText());
    docLayout->addWidget(m_titleLabel);

    m_contentLayout = new QVBoxLayout;
    m_contentLayout->setSpacing(0);
    docLayout->addLayout(m_contentLayout);
    // Extra height of a short page goes below the content, never between its parts.
    docLayout->addStretch(1);

    m_scroll->setWidget(m_doc);
    // setWidget() turns background filling on; the window's gradient must show through.
    m_doc->setAutoFillBackground(false);
}
