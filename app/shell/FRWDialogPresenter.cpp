#include "FRWDialogPresenter.h"

#include <QMessageBox>

void FRWDialogPresenter::presentWarning(const QString& message, const QString& detail,
                                        std::function<void()> dismissed)
{
    QWidget* parent = m_window && m_window->isVisible() ? m_window.data() : nullptr;
    auto* box = new QMessageBox(QMessageBox::Warning, message, message, QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("alertMessageBox"));
    box->setInformativeText(detail);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [dismissed = std::move(dismissed)](int) {
        if (dismissed) {
            dismissed();
        }
    });
    box->open();
}
