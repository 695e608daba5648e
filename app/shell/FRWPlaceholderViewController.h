#pragma once

#include "FRWPageViewController.h"

class QLabel;

/// The page shown for a key that names no screen.
class FRWPlaceholderViewController : public FRWPageViewController {
    Q_OBJECT
public:
    explicit FRWPlaceholderViewController(const QString& pageTitle, QObject* parent = nullptr);

    /// The key with its first character upper-cased ("clients" gives "Clients").
    static QString titleForKey(const QString& key);

protected:
    void viewDidLoad() override;

private:
    QLabel* m_messageLabel = nullptr;
};
