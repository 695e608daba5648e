#pragma once

#include <QWidget>

// Containers whose content is stacked from the top. Qt's coordinates already grow downwards, so
// these add nothing to QWidget; they keep the names the screens build on.

/// Used by the Activity screen.
class FRWFlipped : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
};

/// The list container of the Clients-type screens.
class FRWFlippedList : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
};

/// Every page's scrolling document.
class FRWFlippedDoc : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
};
