#pragma once

#include "FRWViewController.h"

class QLabel;
class QScrollArea;
class QVBoxLayout;
class FRWFlippedDoc;

/// The base of every scrolling page: a title at the top of a vertically scrolling document.
/// Subclasses override viewDidLoad(), call this one first and add their content to
/// contentLayout(), which starts right below the title.
class FRWPageViewController : public FRWViewController {
    Q_OBJECT
public:
    static constexpr int kContentMargin = 28;
    static constexpr int kTitleTop = 52;

    explicit FRWPageViewController(QString pageTitle, QObject* parent = nullptr);

    QString pageTitle() const { return m_pageTitle; }
    QLabel* titleLabel() const { return m_titleLabel; }
    QScrollArea* scroll() const { return m_scroll; }
    /// The document, for subclasses that place views themselves.
    QWidget* contentView() const;
    /// Stacks the page's content below the title, inset by kContentMargin on both sides.
    QVBoxLayout* contentLayout() const { return m_contentLayout; }
    int contentMargin() const { return kContentMargin; }
    /// Height of the scroll view's visible area; the document is never shorter than this.
    int viewportHeight() const;

protected:
    void loadView() override;
    void viewDidLoad() override;

private:
    const QString m_pageTitle;
    QScrollArea* m_scroll = nullptr;
    FRWFlippedDoc* m_doc = nullptr;
    QLabel* m_titleLabel = nullptr;
    QVBoxLayout* m_contentLayout = nullptr;
};
