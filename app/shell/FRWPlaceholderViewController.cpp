#include "FRWPlaceholderViewController.h"

#include <QLabel>
#include <QVBoxLayout>

#include "FRWTheme.h"

FRWPlaceholderViewController::FRWPlaceholderViewController(const QString& pageTitle, QObject* parent)
    : FRWPageViewController(pageTitle, parent)
{
}

QString FRWPlaceholderViewController::titleForKey(const QString& key)
{
    if (key.isEmpty()) {
        return key;
    }
    return key.left(1).toUpper() + key.mid(1);
}

void FRWPlaceholderViewController::viewDidLoad()
{
    FRWPageViewController::viewDidLoad();
    m_messageLabel = new QLabel(tr("Not available in Ferrow."));
    m_messageLabel->setObjectName(QStringLiteral("messageLabel"));
    m_messageLabel->setFont(FRWTheme::font(13));
    FRWTheme::bindTextColor(m_messageLabel, FRWTheme::secondaryLabel());
    contentLayout()->addSpacing(24);
    contentLayout()->addWidget(m_messageLabel);
    contentLayout()->addSpacing(24);
}
