#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

/// Owns one view that is built on first use: view() runs loadView() and then viewDidLoad().
/// The view is deleted with its controller, wherever it is shown at the time.
class FRWViewController : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FRWViewController)

public:
    explicit FRWViewController(QObject* parent = nullptr);
    ~FRWViewController() override;

    QWidget* view();
    bool isViewLoaded() const { return !m_view.isNull(); }

protected:
    /// Creates the root view with setView(); the default is a plain, empty widget.
    virtual void loadView();
    virtual void viewDidLoad() {}
    void setView(QWidget* view);

private:
    QPointer<QWidget> m_view;
    bool m_loading = false;
};
