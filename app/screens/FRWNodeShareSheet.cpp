#include "FRWNodeShareSheet.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "FRWEditorKit.h"
#include "FRWQrCode.h"
#include "FRWShareLink.h"
#include "FRWTheme.h"

namespace {
constexpr int kCodeSide = 232;
} // namespace

FRWNodeShareSheet::FRWNodeShareSheet(QWidget* window, const QVariantMap& node)
    : QDialog(window), m_link(FRWShareLink::link(node).value_or(QString()))
{
    const QString name = node.value(QStringLiteral("name")).toString();
    setObjectName(QStringLiteral("nodeShareSheet"));
    setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Share \u201c%1\u201d").arg(name));
    setFixedWidth(400);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(22, 22, 22, 20);
    layout->setSpacing(10);
    layout->addWidget(FRWEditorKit::label(windowTitle(), 15, QFont::DemiBold, FRWTheme::primaryText()));

    auto* intro = FRWEditorKit::label(QString(), 11.5, QFont::Normal, FRWTheme::secondaryLabel());
    intro->setObjectName(QStringLiteral("shareIntroLabel"));
    intro->setWordWrap(true);
    layout->addWidget(intro);

    // The code stays black on white in both appearances: readers expect dark modules on light.
    m_code = new QLabel;
    m_code->setObjectName(QStringLiteral("qrCodeLabel"));
    m_code->setAlignment(Qt::AlignCenter);
    m_code->setAccessibleName(tr("QR code of the node's link"));
    layout->addWidget(m_code, 0, Qt::AlignHCenter);

    auto* warning = FRWEditorKit::label(
        tr("The link holds the node's key: anyone who has it can use your server. Share it only "
           "with your own devices, and never in a public place."),
        11.5, QFont::Normal, FRWTheme::orangeText());
    warning->setObjectName(QStringLiteral("keyWarningLabel"));
    warning->setWordWrap(true);
    layout->addWidget(warning);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_copy = new QPushButton(tr("Copy Link"));
    m_copy->setObjectName(QStringLiteral("copyButton"));
    m_copy->setMinimumWidth(90);
    m_copy->setAutoDefault(false);
    auto* done = new QPushButton(tr("Done"));
    done->setObjectName(QStringLiteral("doneButton"));
    done->setMinimumWidth(90);
    done->setDefault(true);
    buttons->addWidget(m_copy);
    buttons->addSpacing(10);
    buttons->addWidget(done);
    layout->addLayout(buttons);

    const QImage image = m_link.isEmpty() ? QImage() : FRWQrCode::image(m_link, kCodeSide);
    if (image.isNull()) {
        intro->setText(tr("This node has no key or no valid server and port, so it has no link to share. "
                          "Edit the node first."));
        m_copy->setEnabled(false);
        m_code->hide();
        warning->hide();
    } else {
        intro->setText(tr("Scan the code with the device that should use this node, or copy the link "
                          "and send it over a channel you trust."));
        m_code->setPixmap(QPixmap::fromImage(image));
        m_code->setFixedSize(image.size());
    }
    connect(m_copy, &QPushButton::clicked, this, &FRWNodeShareSheet::copyLink);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
}

QImage FRWNodeShareSheet::code() const
{
    return m_code->pixmap().toImage();
}

void FRWNodeShareSheet::copyLink()
{
    if (m_link.isEmpty()) {
        return;
    }
    QApplication::clipboard()->setText(m_link);
    m_copy->setText(tr("Copied"));
}
