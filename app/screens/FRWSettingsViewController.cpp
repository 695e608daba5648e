#include "FRWSettingsViewController.h"

#include <QCheckBox>
#include <QDebug>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

#include "FRWAppModel.h"
#include "FRWCardView.h"
#include "FRWLoginItem.h"
#include "FRWNotificationCenter.h"
#include "FRWPlatformTerms.h"
#include "FRWScreenSymbols.h"
#include "FRWScreenText.h"
#include "FRWTheme.h"

namespace {

QString systemWord()
{
    return FRWPlatformTerms::term(FRWPlatformTerms::kOperatingSystem);
}

QLabel* wrappingLabel(const QString& text, qreal size, const FRWDynamicColor& color)
{
    QLabel* label = FRWTheme::label(text, size, QFont::Normal, color);
    label->setWordWrap(true);
    return label;
}

QLabel* cardTitle(const QString& text)
{
    return FRWTheme::label(text, 16, QFont::Bold, FRWTheme::primaryText());
}

QLabel* checkMark(const QString& accessibleText)
{
    auto* check = new QLabel;
    check->setPixmap(FRWScreenSymbols::pixmap(QStringLiteral("checkmark.circle.fill"), 16,
                                              FRWTheme::statusGreen().resolved()));
    check->setAccessibleName(accessibleText);
    return check;
}

FRWCardView* cardWith(QVBoxLayout*& body)
{
    FRWCardView* card = FRWCardView::card();
    body = new QVBoxLayout(card);
    body->setContentsMargins(20, 18, 20, 18);
    body->setSpacing(10);
    return card;
}

} // namespace

FRWSettingsViewController::FRWSettingsViewController(FRWScreensContext context, QObject* parent)
    : FRWPageViewController(tr("Settings"), parent), m_context(std::move(context))
{
}

void FRWSettingsViewController::viewDidLoad()
{
    FRWPageViewController::viewDidLoad();
    QVBoxLayout* content = contentLayout();
    content->addSpacing(22);
    content->addWidget(makeHelperCard());
    content->addSpacing(16);
    content->addWidget(makePermissionsCard());
    content->addSpacing(16);
    content->addWidget(makePrivacyCard());
    content->addSpacing(16);
    content->addWidget(makeGeneralCard());
    content->addSpacing(18);
    m_versionLabel = new QLabel(tr("Ferrow %1").arg(FRWScreenText::orQuestionMark(m_context.version)));
    m_versionLabel->setObjectName(QStringLiteral("versionLabel"));
    m_versionLabel->setAlignment(Qt::AlignHCenter);
    m_versionLabel->setFont(FRWTheme::font(11));
    FRWTheme::bindTextColor(m_versionLabel, FRWTheme::secondaryLabel());
    content->addWidget(m_versionLabel);
    content->addSpacing(28);

    view()->installEventFilter(this);
    if (m_context.model) {
        connect(m_context.model, &FRWAppModel::didUpdate, this,
                &FRWSettingsViewController::refreshHelperStatus);
    }
    refreshHelperStatus();
}

bool FRWSettingsViewController::eventFilter(QObject* watched, QEvent* event)
{
    // Every appearance reads the helper, the permissions and the login item afresh.
    if (watched == view() && event->type() == QEvent::Show) {
        refreshHelperDetails();
        refreshPermissions();
        if (m_context.loginItem) {
            const QSignalBlocker quiet(m_loginToggle);
            m_loginToggle->setChecked(m_context.loginItem->enabled());
        }
    }
    return FRWPageViewController::eventFilter(watched, event);
}

QWidget* FRWSettingsViewController::makeHelperCard()
{
    QVBoxLayout* body = nullptr;
    FRWCardView* card = cardWith(body);
    body->addWidget(cardTitle(tr("Enhanced Mode Helper")));
    body->addWidget(
        wrappingLabel(tr("Enhanced Mode routes all traffic through a system-wide tunnel. Creating the tunnel "
                         "interface and its routes needs a small helper that runs as root, started by "
                         "systemd when Ferrow asks for it. It is installed once; %1 asks you to approve "
                         "it with your password.")
                          .arg(systemWord()),
                      12, FRWTheme::secondaryLabel()));

    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    m_helperCheck = checkMark(tr("Installed"));
    m_helperCheck->setObjectName(QStringLiteral("helperCheck"));
    m_helperStatus = new QLabel;
    m_helperStatus->setObjectName(QStringLiteral("helperStatus"));
    m_helperStatus->setFont(FRWTheme::font(12.5));
    FRWTheme::bindTextColor(m_helperStatus, FRWTheme::greenText());
    m_installButton = new QPushButton(tr("Install"));
    m_installButton->setObjectName(QStringLiteral("installButton"));
    m_installButton->setMinimumHeight(32);
    m_uninstallButton = new QPushButton(tr("Uninstall"));
    m_uninstallButton->setObjectName(QStringLiteral("uninstallButton"));
    m_uninstallButton->setStyleSheet(QStringLiteral("QPushButton { color: #FF3B30; }"));
    // The stretch stays when the status is hidden, so the buttons keep their own width.
    row->addWidget(m_helperCheck);
    row->addWidget(m_helperStatus);
    row->addStretch(1);
    row->addWidget(m_installButton);
    row->addWidget(m_uninstallButton);
    body->addLayout(row);
    m_helperNote = wrappingLabel(QString(), 12, FRWTheme::orangeText());
    m_helperNote->setObjectName(QStringLiteral("helperNote"));
    m_helperNote->hide();
    body->addWidget(m_helperNote);

    connect(m_installButton, &QPushButton::clicked, this, &FRWSettingsViewController::installHelper);
    connect(m_uninstallButton, &QPushButton::clicked, this, &FRWSettingsViewController::uninstallHelper);
    return card;
}

QWidget* FRWSettingsViewController::makePermissionsCard()
{
    QVBoxLayout* body = nullptr;
    FRWCardView* card = cardWith(body);
    body->addWidget(cardTitle(tr("Permissions")));
    body->addWidget(wrappingLabel(tr("Ferrow asks for two, both optional \u2014 it works without "
                                     "either, just with less to show you."),
                                  12, FRWTheme::secondaryLabel()));
    // Linux has no location permission: the network's name comes from NetworkManager.
    body->addWidget(
        permissionRow(tr("Location"),
                      tr("The name of the Wi-Fi network you are on comes from NetworkManager and is shown on "
                         "the Activity screen instead of the interface name. Reading it needs no "
                         "permission, and no location data is involved: your location is never read, "
                         "stored or sent anywhere."),
                      m_location));
    body->addWidget(permissionRow(
        tr("Notifications"),
        tr("Lets Ferrow tell you when something needs attention while its window is closed: a "
           "rule-set that has stopped updating, or a node that has stopped answering \u2014 and "
           "again when it recovers. Nothing else is ever sent as a notification."),
        m_notifications));
    m_location.check->setObjectName(QStringLiteral("locCheck"));
    m_locStatus = m_location.status;
    m_locStatus->setObjectName(QStringLiteral("locStatus"));
    m_locButton = m_location.button;
    m_locButton->setObjectName(QStringLiteral("locButton"));
    m_notifications.check->setObjectName(QStringLiteral("notifCheck"));
    m_notifStatus = m_notifications.status;
    m_notifStatus->setObjectName(QStringLiteral("notifStatus"));
    m_notifButton = m_notifications.button;
    m_notifButton->setObjectName(QStringLiteral("notifButton"));
    connect(m_locButton, &QPushButton::clicked, this, &FRWSettingsViewController::grantLocation);
    connect(m_notifButton, &QPushButton::clicked, this, &FRWSettingsViewController::grantNotifications);
    return card;
}

QWidget* FRWSettingsViewController::permissionRow(const QString& title, const QString& body,
                                                  PermissionRow& row)
{
    auto* widget = new QWidget;
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->setSpacing(10);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addWidget(FRWTheme::label(title, 13, QFont::Normal, FRWTheme::primaryText()));
    texts->addWidget(wrappingLabel(body, 12, FRWTheme::secondaryLabel()));
    layout->addLayout(texts, 1);

    row.check = checkMark(tr("Granted"));
    row.check->hide();
    row.status = new QLabel;
    row.status->setFont(FRWTheme::font(12.5));
    FRWTheme::bindTextColor(row.status, FRWTheme::greenText());
    row.button = new QPushButton(tr("Allow"));
    row.button->hide();
    layout->addWidget(row.check, 0, Qt::AlignTop);
    layout->addWidget(row.status, 0, Qt::AlignTop);
    layout->addWidget(row.button, 0, Qt::AlignTop);
    return widget;
}

QWidget* FRWSettingsViewController::makePrivacyCard()
{
    QVBoxLayout* body = nullptr;
    FRWCardView* card = cardWith(body);
    body->addWidget(cardTitle(tr("Privacy")));
    m_networkChecksToggle = new QCheckBox(tr("Network checks"));
    m_networkChecksToggle->setObjectName(QStringLiteral("networkChecksToggle"));
    m_networkChecksToggle->setChecked(m_context.model && m_context.model->networkChecksEnabled());
    m_networkChecksToggle->setEnabled(m_context.model != nullptr);
    connect(m_networkChecksToggle, &QCheckBox::toggled, this, [this](bool on) {
        if (m_context.model) {
            m_context.model->setNetworkChecksEnabled(on);
        }
    });
    body->addWidget(m_networkChecksToggle);
    body->addWidget(
        wrappingLabel(tr("Looks up your external address and its location from public echo and location "
                         "services, and measures the latency to a public resolver, for the Activity screen. "
                         "Off, Ferrow contacts none of them."),
                      12, FRWTheme::secondaryLabel()));
    // Only a build with a release location of its own has a feed to read.
    if (!m_context.releaseLocation.isEmpty()) {
        m_updateChecksToggle = new QCheckBox(tr("Check for updates"));
        m_updateChecksToggle->setObjectName(QStringLiteral("updateChecksToggle"));
        m_updateChecksToggle->setChecked(m_context.model && m_context.model->updateChecksEnabled());
        m_updateChecksToggle->setEnabled(m_context.model != nullptr);
        connect(m_updateChecksToggle, &QCheckBox::toggled, this, [this](bool on) {
            if (m_context.model) {
                m_context.model->setUpdateChecksEnabled(on);
            }
        });
        body->addWidget(m_updateChecksToggle);
        body->addWidget(wrappingLabel(
            tr("Reads the release feed at %1 a minute after launch.").arg(m_context.releaseLocation), 12,
            FRWTheme::secondaryLabel()));
    }
    return card;
}

QWidget* FRWSettingsViewController::makeGeneralCard()
{
    QVBoxLayout* body = nullptr;
    FRWCardView* card = cardWith(body);
    body->addWidget(cardTitle(tr("General")));
    m_loginToggle = new QCheckBox(tr("Launch Ferrow at login"));
    m_loginToggle->setObjectName(QStringLiteral("loginToggle"));
    m_loginToggle->setChecked(m_context.loginItem && m_context.loginItem->enabled());
    m_loginToggle->setEnabled(m_context.loginItem != nullptr);
    connect(m_loginToggle, &QCheckBox::toggled, this, &FRWSettingsViewController::toggleLogin);
    body->addWidget(m_loginToggle);
    return card;
}

// ---- Helper

void FRWSettingsViewController::refreshHelperStatus()
{
    if (!m_helperStatus) {
        return;
    }
    // Until systemd has answered, the files on disk say which helper is there.
    const FRWHelperInstallation installation =
        m_installation
            ? *m_installation
            : (m_context.helper ? m_context.helper->installationOnDisk() : FRWHelperInstallation{});
    using Kind = FRWHelperInstallation::Kind;
    const bool installed = installation.kind != Kind::None;
    // The package's helper is the package manager's to change; only a build folder's copy beside
    // it can go from here.
    m_installButton->setVisible(!installed);
    m_uninstallButton->setVisible(installation.buildFolder());
    m_helperCheck->setVisible(installed);
    m_helperStatus->setVisible(installed);
    m_helperNote->setText(helperNoteText(installation));
    m_helperNote->setVisible(!m_helperNote->text().isEmpty());
    if (!installed) {
        m_helperStatus->clear();
        return;
    }
    m_helperStatus->setText(helperStatusText(installation));
    FRWTheme::bindTextColor(m_helperStatus, helperHealthy() ? FRWTheme::greenText() : FRWTheme::orangeText());
}

QString FRWSettingsViewController::helperStatusText(const FRWHelperInstallation& installation) const
{
    QString text = tr("Installed");
    if (installation.packaged()) {
        text = tr("Installed by the system package");
        if (!installation.packageVersion.isEmpty()) {
            text += tr(" (version %1)").arg(installation.packageVersion);
        }
    }
    // systemd starts the helper on the first connection to its socket, so an idle helper with a
    // listening socket is the normal state.
    if (m_units.service == QLatin1String("active")) {
        text += tr(" \u00B7 running");
    } else if (m_units.socket == QLatin1String("active")) {
        text += tr(" \u00B7 waiting for Ferrow");
    } else if (!m_units.socket.isEmpty()) {
        text += tr(" \u00B7 not started (%1)").arg(m_units.socket);
    }
    if (m_current == false) {
        text += installation.packaged() ? tr(" \u00B7 out of date, update the ferrow package")
                                        : tr(" \u00B7 out of date, reinstalled at the next connect");
    }
    return text;
}

QString FRWSettingsViewController::helperNoteText(const FRWHelperInstallation& installation)
{
    if (installation.kind == FRWHelperInstallation::Kind::Both) {
        return tr("A helper that Ferrow installed from a build folder is also present and takes the "
                  "package's place in systemd. Uninstall removes that copy, and the package's helper "
                  "takes over; Ferrow never installs its own over the package's.");
    }
    if (installation.servesAnotherBuild) {
        return tr("This copy of Ferrow is not the one the package installed. The package's helper "
                  "only serves a Ferrow signed with the package's key, and Ferrow never installs its "
                  "own over the package's: use the installed Ferrow for Enhanced Mode, or remove "
                  "the package.");
    }
    return {};
}

bool FRWSettingsViewController::helperHealthy() const
{
    const bool started = m_units.socket.isEmpty() || m_units.service == QLatin1String("active") ||
                         m_units.socket == QLatin1String("active");
    return started && m_current != false;
}

void FRWSettingsViewController::refreshHelperDetails()
{
    // An install or removal may just have changed it: the files stand in until systemd answers.
    m_installation.reset();
    refreshHelperStatus();
    FRWHelperControl* helper = m_context.helper;
    if (!helper) {
        return;
    }
    const QPointer<FRWSettingsViewController> self(this);
    // Only the newest question counts: an older answer describes files that may be gone.
    const int request = ++m_installationRequest;
    helper->installation([self, request](FRWHelperInstallation installation) {
        if (self && request == self->m_installationRequest) {
            self->m_installation = std::move(installation);
            self->refreshHelperStatus();
        }
    });
    if (!helper->helperReady()) {
        m_units = {};
        m_current.reset();
        return;
    }
    helper->unitStates([self](FRWHelperUnitStates states) {
        if (self) {
            self->m_units = std::move(states);
            self->refreshHelperStatus();
        }
    });
    helper->helperIsCurrent([self](bool current) {
        if (self) {
            self->m_current = current;
            self->refreshHelperStatus();
        }
    });
}

void FRWSettingsViewController::installHelper()
{
    if (!m_context.helper) {
        return;
    }
    m_installButton->setEnabled(false);
    const QPointer<FRWSettingsViewController> self(this);
    m_context.helper->installHelper([self](FRWResult error) {
        if (!self) {
            return;
        }
        self->m_installButton->setEnabled(true);
        self->refreshHelperDetails();
        if (error) {
            // A helper without a valid signature is the one refusal the user can do something
            // about, so it gets its own explanation.
            if (!self->m_context.helper->helperSourceSigned()) {
                presentScreenAlert(self->m_context, tr("Helper requires a signed build"),
                                   tr("The privileged helper is only installed when it carries the signature "
                                      "of this build of Ferrow, and the helper that came with it does not "
                                      "verify. Reinstall Ferrow from its package, or rebuild it so that the "
                                      "build signs its own helper again."));
            } else {
                const bool dismissed = error->description == u"Authorization was cancelled.";
                presentScreenAlert(self->m_context,
                                   dismissed ? tr("Helper installation needs approval")
                                             : tr("Helper could not be installed"),
                                   error->description);
            }
        }
        emit self->helperChanged();
    });
}

void FRWSettingsViewController::uninstallHelper()
{
    auto* alert =
        new QMessageBox(QMessageBox::Warning, tr("Remove the Enhanced Mode helper?"),
                        tr("Remove the Enhanced Mode helper?"), QMessageBox::NoButton, view()->window());
    alert->setObjectName(QStringLiteral("uninstallAlert"));
    alert->setInformativeText(
        tr("This stops the tunnel and removes the root helper (%1). You can reinstall it any "
           "time \u2014 it's also how you upgrade the helper after an app update. %2 will ask "
           "for your password.")
            .arg(FRWPlatformTerms::term(FRWPlatformTerms::kSystemService),
                 FRWPlatformTerms::term(FRWPlatformTerms::kOperatingSystemCapitalised)));
    QPushButton* confirm = alert->addButton(tr("Uninstall"), QMessageBox::DestructiveRole);
    alert->addButton(QMessageBox::Cancel);
    alert->setDefaultButton(confirm);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    const QPointer<FRWSettingsViewController> self(this);
    connect(alert, &QMessageBox::buttonClicked, this, [self, confirm](QAbstractButton* button) {
        if (self && button == confirm) {
            self->removeHelper();
        }
    });
    alert->open();
}

void FRWSettingsViewController::removeHelper()
{
    if (!m_context.helper) {
        return;
    }
    m_uninstallButton->setEnabled(false);
    const QPointer<FRWSettingsViewController> self(this);
    // Enhanced Mode goes down first, whatever that answers: the removal must not leave a tunnel
    // without its helper.
    m_context.helper->stop([self](const FRWResult&) {
        if (!self) {
            return;
        }
        self->m_context.helper->uninstallHelper([self](FRWResult error) {
            if (!self) {
                return;
            }
            self->m_uninstallButton->setEnabled(true);
            self->refreshHelperDetails();
            if (error) {
                presentScreenAlert(self->m_context, tr("Couldn't remove the helper"), error->description);
            }
            emit self->helperChanged();
        });
    });
}

// ---- Permissions

void FRWSettingsViewController::setPermissionRow(const PermissionRow& row, bool granted, bool denied)
{
    row.check->setVisible(granted);
    row.status->setVisible(granted);
    row.status->setText(granted ? tr("Granted") : QString());
    row.button->setVisible(!granted);
    row.button->setText(denied ? tr("Open Settings") : tr("Allow"));
}

void FRWSettingsViewController::refreshPermissions()
{
    if (!m_locStatus) {
        return;
    }
    setPermissionRow(m_location, true, false);
    if (!m_context.notifications) {
        m_notificationsDenied = true;
        setPermissionRow(m_notifications, false, true);
        return;
    }
    const QPointer<FRWSettingsViewController> self(this);
    m_context.notifications->requestAuthorization([self](bool granted) {
        if (self) {
            self->m_notificationsDenied = !granted;
            setPermissionRow(self->m_notifications, granted, !granted);
        }
    });
}

void FRWSettingsViewController::grantLocation()
{
    // Nothing to grant: the row is always granted here.
    refreshPermissions();
}

void FRWSettingsViewController::grantNotifications()
{
    if (m_notificationsDenied) {
        openNotificationSettings();
    }
    refreshPermissions();
}

QStringList FRWSettingsViewController::notificationSettingsCommand(const QString& currentDesktop)
{
    const QStringList desktops = currentDesktop.toUpper().split(u':', Qt::SkipEmptyParts);
    if (desktops.contains(QLatin1String("KDE"))) {
        return {QStringLiteral("systemsettings"), QStringLiteral("kcm_notifications")};
    }
    for (const char* gnomeFamily : {"GNOME", "UNITY", "BUDGIE"}) {
        if (desktops.contains(QLatin1String(gnomeFamily))) {
            return {QStringLiteral("gnome-control-center"), QStringLiteral("notifications")};
        }
    }
    if (desktops.contains(QLatin1String("X-CINNAMON")) || desktops.contains(QLatin1String("CINNAMON"))) {
        return {QStringLiteral("cinnamon-settings"), QStringLiteral("notifications")};
    }
    return {};
}

void FRWSettingsViewController::openNotificationSettings()
{
    const QStringList command = notificationSettingsCommand(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    if (!command.isEmpty() && QProcess::startDetached(command.first(), command.mid(1))) {
        return;
    }
    presentScreenAlert(m_context, tr("No notification service answers"),
                       tr("Ferrow shows its notifications through the desktop's notification "
                          "service (org.freedesktop.Notifications), and none answers in this "
                          "session. Start your desktop's notification daemon, or install one "
                          "such as dunst or mako, then come back to this page."));
}

// ---- Login item

void FRWSettingsViewController::toggleLogin(bool on)
{
    if (!m_context.loginItem) {
        return;
    }
    if (const FRWResult error = m_context.loginItem->setEnabled(on)) {
        qWarning().noquote() << "ferrow: login item toggle failed:" << error->description;
    }
}
