#pragma once

#include <optional>

#include "FRWHelperControl.h"
#include "FRWPageViewController.h"
#include "FRWScreens.h"

class QCheckBox;
class QLabel;
class QMessageBox;
class QPushButton;

/// Settings: the Enhanced Mode helper (its real state, install and removal), the two optional
/// permissions, launch at login and the version line.
class FRWSettingsViewController : public FRWPageViewController {
    Q_OBJECT
public:
    explicit FRWSettingsViewController(FRWScreensContext context, QObject* parent = nullptr);

    void refreshHelperStatus();
    /// Asks systemd and the helper afresh, then refreshes the status.
    void refreshHelperDetails();
    void refreshPermissions();

    void installHelper();
    /// Asks first; the removal runs once the user confirms.
    void uninstallHelper();
    void grantLocation();
    void grantNotifications();
    void toggleLogin(bool on);

    /// The desktop's notification settings as a program and its arguments; empty when unknown.
    static QStringList notificationSettingsCommand(const QString& currentDesktop);

    QLabel* versionLabel() const { return m_versionLabel; }

signals:
    /// An install or removal finished and the status shows its outcome.
    void helperChanged();

protected:
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct PermissionRow {
        QLabel* check = nullptr;
        QLabel* status = nullptr;
        QPushButton* button = nullptr;
    };
    QWidget* makeHelperCard();
    QWidget* makePermissionsCard();
    QWidget* makeGeneralCard();
    QWidget* makePrivacyCard();
    QWidget* permissionRow(const QString& title, const QString& body, PermissionRow& row);
    static void setPermissionRow(const PermissionRow& row, bool granted, bool denied);
    void removeHelper();
    QString helperStatusText(const FRWHelperInstallation& installation) const;
    bool helperHealthy() const;
    static QString helperNoteText(const FRWHelperInstallation& installation);
    void openNotificationSettings();

    FRWScreensContext m_context;
    QLabel* m_helperCheck = nullptr;
    QLabel* m_helperStatus = nullptr;
    QLabel* m_helperNote = nullptr;
    QPushButton* m_installButton = nullptr;
    QPushButton* m_uninstallButton = nullptr;
    QCheckBox* m_loginToggle = nullptr;
    QCheckBox* m_networkChecksToggle = nullptr;
    QCheckBox* m_updateChecksToggle = nullptr;
    QLabel* m_locStatus = nullptr;
    QPushButton* m_locButton = nullptr;
    QLabel* m_notifStatus = nullptr;
    QPushButton* m_notifButton = nullptr;
    QLabel* m_versionLabel = nullptr;
    PermissionRow m_location;
    PermissionRow m_notifications;
    bool m_notificationsDenied = false;
    // What systemd and the helper said last; empty until asked.
    std::optional<FRWHelperInstallation> m_installation;
    int m_installationRequest = 0;
    FRWHelperUnitStates m_units;
    std::optional<bool> m_current;
};
