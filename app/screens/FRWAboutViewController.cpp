#include "FRWAboutViewController.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include "FRWCardView.h"
#include "FRWCommandBox.h"
#include "FRWScreenSymbols.h"
#include "FRWScreenText.h"
#include "FRWSymbols.h"
#include "FRWTheme.h"
#include "FRWTimerSource.h"

namespace {

QLabel* bodyLabel(const QString& text)
{
    QLabel* label = FRWTheme::label(text, 12.5, QFont::Normal, FRWTheme::secondaryLabel());
    label->setWordWrap(true);
    return label;
}

FRWCardView* cardWithTitle(const QString& title, const QString& body, QVBoxLayout** layoutOut = nullptr)
{
    FRWCardView* card = FRWCardView::card();
    card->setCornerRadius(16);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(8);
    layout->addWidget(FRWTheme::label(title, 14, QFont::Normal, FRWTheme::primaryText()));
    layout->addWidget(bodyLabel(body));
    if (layoutOut) {
        *layoutOut = layout;
    }
    return card;
}

} // namespace

FRWAboutViewController::FRWAboutViewController(FRWScreensContext context, QObject* parent)
    : FRWPageViewController(tr("About"), parent), m_context(std::move(context))
{
}

QString FRWAboutViewController::installCommand(const QString& releaseLocation)
{
    if (!releaseLocation.isEmpty()) {
        return QStringLiteral("bash <(curl -fsSL %1/server)").arg(releaseLocation);
    }
    return QStringLiteral("scp ferrow-server_*.deb SERVER:\n"
                          "ssh SERVER 'sudo apt install ./ferrow-server_*.deb && sudo ferrow-server-setup'");
}

void FRWAboutViewController::viewDidLoad()
{
    FRWPageViewController::viewDidLoad();
    QVBoxLayout* content = contentLayout();
    content->addSpacing(22);
    auto* icon = new QLabel;
    icon->setObjectName(QStringLiteral("appIconLabel"));
    icon->setAccessibleName(QStringLiteral("Ferrow"));
    icon->setAlignment(Qt::AlignHCenter);
    const qreal ratio = icon->devicePixelRatioF();
    QPixmap picture = FRWSymbols::applicationIcon().pixmap(QSize(72, 72), ratio);
    icon->setPixmap(picture);
    content->addWidget(icon);
    content->addSpacing(14);
    content->addWidget(
        cardWithTitle(QStringLiteral("Ferrow"),
                      tr("A ferrow is the metal band that holds a blade fast in its handle: a small, plain "
                         "part that keeps the connection tight. On the wire the protocol is as plain: its "
                         "contents are encrypted from the very first byte, and it has no fixed shape for a "
                         "classifier to key on \u2014 no TLS handshake, no imitated HTTP, no constant "
                         "prefix, no fixed length. An observer can see that traffic passes, but not what "
                         "it is.")));
    content->addSpacing(16);
    content->addWidget(
        cardWithTitle(tr("What it is built for"),
                      tr("First, resisting detection and blocking: passive fingerprinting first, then "
                         "active probing \u2014 a prober that cannot authenticate gets no answer at all, "
                         "exactly as for a wrong guess. Second, speed: pure TCP, a single AEAD seal per "
                         "frame, a prewarmed pool of connections, and TCP Fast Open where the path allows "
                         "it. All of it serves one purpose: free access to information.")));
    content->addSpacing(16);

    QVBoxLayout* serverLayout = nullptr;
    content->addWidget(
        cardWithTitle(tr("You need a server"),
                      m_context.releaseLocation.isEmpty()
                          ? tr("This application is the client. It connects to a server that you run "
                               "yourself; there is no shared or hosted service. Copy the ferrow-server "
                               "package to any Debian or Ubuntu machine with a public address and set it "
                               "up there (SERVER is how you reach it over SSH):")
                          : tr("This application is the client. It connects to a server that you run "
                               "yourself; there is no shared or hosted service. This command sets one up "
                               "on any Linux machine with a public address:"),
                      &serverLayout));
    auto* box = new FRWCommandBox;
    box->setObjectName(QStringLiteral("commandBox"));
    auto* boxLayout = new QHBoxLayout(box);
    boxLayout->setContentsMargins(10, 6, 6, 6);
    auto* command = new QLabel(installCommand(m_context.releaseLocation));
    command->setObjectName(QStringLiteral("installCommandLabel"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(12);
    command->setFont(mono);
    command->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FRWTheme::bindTextColor(command, FRWTheme::primaryText());
    m_copyButton = new QToolButton;
    m_copyButton->setObjectName(QStringLiteral("copyButton"));
    m_copyButton->setAutoRaise(true);
    m_copyButton->setToolTip(tr("Copy the command"));
    m_copyButton->setAccessibleName(tr("Copy the install command"));
    m_copyButton->setIconSize(QSize(12, 12));
    boxLayout->addWidget(command, 1);
    boxLayout->addWidget(m_copyButton);
    serverLayout->addWidget(box);
    serverLayout->addWidget(bodyLabel(tr("The set-up prints a PSK and a port when it finishes. "
                                         "Put those into a node on the Policy screen and you "
                                         "are connected.")));
    showCopyGlyph(QStringLiteral("doc.on.doc"));
    connect(m_copyButton, &QToolButton::clicked, this, &FRWAboutViewController::pasteInstallCommand);

    content->addSpacing(18);
    m_versionLabel = new QLabel(tr("Ferrow %1 (%2)")
                                    .arg(FRWScreenText::orQuestionMark(m_context.version),
                                         FRWScreenText::orQuestionMark(m_context.build)));
    m_versionLabel->setObjectName(QStringLiteral("versionLabel"));
    m_versionLabel->setAlignment(Qt::AlignHCenter);
    m_versionLabel->setFont(FRWTheme::font(11.5));
    FRWTheme::bindTextColor(m_versionLabel, FRWTheme::secondaryLabel());
    content->addWidget(m_versionLabel);
    content->addSpacing(28);
}

void FRWAboutViewController::showCopyGlyph(const QString& symbol)
{
    m_copySymbol = symbol;
    const bool copied = symbol == QLatin1String("checkmark");
    m_copyButton->setIcon(
        FRWScreenSymbols::icon(symbol, copied ? FRWTheme::statusGreen() : FRWTheme::secondaryLabel()));
}

void FRWAboutViewController::pasteInstallCommand()
{
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(installCommand(m_context.releaseLocation));
    showCopyGlyph(QStringLiteral("checkmark"));
    // Each copy restores on its own schedule; a later copy does not hold the glyph longer.
    const QPointer<FRWAboutViewController> self(this);
    FRWTimerSource::orSystem(m_context.timers)
        .singleShot(std::chrono::milliseconds(kCopyRestoreMs), this, [self] {
            if (self) {
                self->showCopyGlyph(QStringLiteral("doc.on.doc"));
            }
        });
}
