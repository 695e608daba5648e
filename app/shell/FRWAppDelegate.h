#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QDBusConnection>
#include <QObject>
#include <QPointer>

#include "FRWPageFactory.h"
#include "FRWStatusMenuBuilder.h"
#include "FRWTimings.h"

class FRWAppServices;
class FRWMainWindowController;
class FRWStatusItem;
class FRWTerminatingPanel;
class FRWUpdateChecker;
#include <QMenuBar>
class QWidget;

/// The application: starts the long-lived parts in their order, owns the main window, the main
/// menu and the tray item, carries out what the menus ask, and takes the tunnel and the system
/// proxy down in order before the process may end.
class FRWTimerSource;

class FRWAppDelegate : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FRWAppDelegate)

public:
    struct Setup {
        int restoreDelayMs = FRWTimings::kRestoreDelayMs;
        int quitWatchdogMs = FRWTimings::kQuitWatchdogMs;
        /// Where the restore delay and the quit watchdog get their timers; the real ones when null.
        FRWTimerSource* timers = nullptr;
        /// How the tray menu is built; decided for the desktop when not given.
        std::optional<FRWStatusMenuBuilder::Form> menuForm;
        FRWUpdateChecker* updater = nullptr;
        /// The main window's pages; keys without a registered page show the placeholder.
        FRWPageFactory pages;
        /// Shows the external resources window over the given window (or none).
        std::function<void(QWidget* over)> presentExternalResources;
        /// Whether a tray shows Ferrow's item; asked at each close of the window. The desktop's
        /// answer (`trayHostPresent`) when not given.
        std::function<bool()> trayAvailable;
    };

    FRWAppDelegate(FRWAppServices& services, Setup setup, QObject* parent = nullptr);
    ~FRWAppDelegate() override;

    /// The launch, in order: repair a left-behind system proxy, main menu, model, notifier, updater,
    /// main window, tray item, and the restore of the chosen mode a moment later.
    void applicationDidFinishLaunching();
    /// The orderly quit; a second request while one runs changes nothing.
    void terminate();
    bool terminating() const { return m_terminating; }

    FRWMainWindowController* mainWindow() const { return m_mainWindow.get(); }
    FRWStatusItem* statusItem() const { return m_statusItem.get(); }
    QWidget* terminatingPanel() const;

    /// A StatusNotifierWatcher on the session bus, or an XEmbed tray.
    static bool trayHostPresent();
    /// The same, asking `bus` for a StatusNotifierWatcher.
    static bool trayHostPresent(const QDBusConnection& bus);

    // ---- Application actions
    void showMainWindow();
    void checkForUpdates();
    void toggleSystemProxy();
    void toggleEnhanced();
    void copyShellExport();
    void switchProfile(const QString& identifier);
    void showExternalResources();
    void updateAllExternalResources();
    void editProfileInTextEditor();
    void revealProfileInFileManager();
    void reloadProfile();
    void pickMenuOutboundMode(const QString& mode);
    void pickMenuGlobalNode(const QString& node);
    void testGroupNodes(const QString& group);
    void selectMember(const QString& group, const QString& member);

protected:
    /// Turns a quit asked of the application into the orderly quit.
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    /// The tunnel has stopped (or the watchdog fired): the process may end now. Sent once; end it
    /// with QCoreApplication::exit, as a quit event would only be turned into another quit.
    void quitConfirmed();

private:
    void setupMainMenu();
    void setupStatusItem();
    void connectMenuActions(FRWStatusMenuBuilder& builder);
    void showTerminatingPanel();

    FRWAppServices& m_services;
    Setup m_setup;
    std::unique_ptr<FRWMainWindowController> m_mainWindow;
    std::unique_ptr<FRWStatusItem> m_statusItem;
    QPointer<QMenuBar> m_mainMenu;
    std::unique_ptr<FRWTerminatingPanel> m_terminatingPanel;
    bool m_terminating = false;
    bool m_quitConfirmed = false;
};
