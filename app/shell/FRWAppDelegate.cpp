#include "FRWAppDelegate.h"

#include <utility>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QUrl>

#include "FRWAppModel.h"
#include "FRWAppServices.h"
#include "FRWMainWindowController.h"
#include "FRWProfileStore.h"
#include "FRWStatusItem.h"
#include "FRWSymbols.h"
#include "FRWTerminatingPanel.h"
#include "FRWTimerSource.h"
#include "FRWUpdateChecker.h"

namespace {

/// Sends an editing command to whatever text field has the focus.
void sendToFocus(const char* command)
{
    if (QWidget* focus = QApplication::focusWidget()) {
        QMetaObject::invokeMethod(focus, command);
    }
}

} // namespace

FRWAppDelegate::FRWAppDelegate(FRWAppServices& services, Setup setup, QObject* parent)
    : QObject(parent), m_services(services), m_setup(std::move(setup))
{
}

FRWAppDelegate::~FRWAppDelegate() = default;

QWidget* FRWAppDelegate::terminatingPanel() const
{
    return m_terminatingPanel.get();
}

void FRWAppDelegate::applicationDidFinishLaunching()
{
    // Closing the window leaves Ferrow running in the tray; any other way to quit the application
    // (QCoreApplication::quit from anywhere, the platform's own quit) takes the orderly way out.
    QApplication::setQuitOnLastWindowClosed(false);
    QCoreApplication::instance()->installEventFilter(this);
    QApplication::setWindowIcon(FRWSymbols::applicationIcon());
    // Before anything can start a core.
    m_services.recoverOrphanedSystemProxy();
    m_mainWindow = std::make_unique<FRWMainWindowController>(m_setup.pages);
    setupMainMenu();
    m_services.startModel();
    m_services.startNotifier();
    if (FRWAppModel* model = m_services.model()) {
        connect(model, &FRWAppModel::modeEndedOnItsOwn, this,
                [this](const QString& title, const QString& body) {
                    // Cores stopped by a quit are no news.
                    if (!m_terminating) {
                        m_services.postNotification(title, body);
                    }
                });
    }
    if (m_setup.updater) {
        m_setup.updater->start();
    }
    showMainWindow();
    setupStatusItem();
    // The first poll meanwhile finds out whether a core already answers.
    FRWTimerSource::orSystem(m_setup.timers)
        .singleShot(std::chrono::milliseconds(m_setup.restoreDelayMs), this,
                    [this] { m_services.restoreDesiredModes(); });
}

void FRWAppDelegate::setupMainMenu()
{
    QWidget* window = m_mainWindow->window();
    m_mainMenu = new QMenuBar(window);
    m_mainMenu->setObjectName(QStringLiteral("mainMenuBar"));
    if (window->layout()) {
        window->layout()->setMenuBar(m_mainMenu);
    }

    QMenu* application = m_mainMenu->addMenu(QStringLiteral("Ferrow"));
    connect(application->addAction(tr("About Ferrow")), &QAction::triggered, this, [window] {
        QMessageBox::about(window, tr("About Ferrow"),
                           tr("Ferrow %1").arg(QCoreApplication::applicationVersion()));
    });
    application->addSeparator();
    connect(application->addAction(tr("Check for Updates\u2026")), &QAction::triggered, this,
            &FRWAppDelegate::checkForUpdates);
    application->addSeparator();
    QAction* hide = application->addAction(tr("Hide Ferrow"));
    hide->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    connect(hide, &QAction::triggered, window, &QWidget::hide);
    QAction* quit = application->addAction(tr("Quit Ferrow"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &FRWAppDelegate::terminate);

    QMenu* edit = m_mainMenu->addMenu(tr("Edit"));
    m_mainMenu->addMenu(m_mainWindow->viewMenu());
    const struct {
        const char* title;
        QKeySequence key;
        const char* command;
    } commands[] = {
        {"Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), "undo"},
        {"Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), "redo"},
        {nullptr, {}, nullptr},
        {"Cut", QKeySequence(Qt::CTRL | Qt::Key_X), "cut"},
        {"Copy", QKeySequence(Qt::CTRL | Qt::Key_C), "copy"},
        {"Paste", QKeySequence(Qt::CTRL | Qt::Key_V), "paste"},
        {"Select All", QKeySequence(Qt::CTRL | Qt::Key_A), "selectAll"},
    };
    for (const auto& command : commands) {
        if (!command.title) {
            edit->addSeparator();
            continue;
        }
        QAction* action = edit->addAction(QString::fromLatin1(command.title));
        action->setShortcut(command.key);
        // Text fields handle these keys themselves; the menu item serves the mouse.
        action->setShortcutContext(Qt::WidgetShortcut);
        const char* name = command.command;
        connect(action, &QAction::triggered, this, [name] { sendToFocus(name); });
    }
}

void FRWAppDelegate::setupStatusItem()
{
    const auto form = m_setup.menuForm ? *m_setup.menuForm : FRWStatusItem::formForSession();
    m_statusItem = std::make_unique<FRWStatusItem>([this] { return m_services.menuState(); }, form);
    connectMenuActions(m_statusItem->builder());
    connect(m_statusItem.get(), &FRWStatusItem::activated, this, &FRWAppDelegate::showMainWindow);
    if (FRWAppModel* model = m_services.model()) {
        connect(model, &FRWAppModel::didUpdate, m_statusItem.get(), &FRWStatusItem::refreshStatusIcon);
    }
}

void FRWAppDelegate::connectMenuActions(FRWStatusMenuBuilder& builder)
{
    using Builder = FRWStatusMenuBuilder;
    connect(&builder, &Builder::showMainWindow, this, &FRWAppDelegate::showMainWindow);
    connect(&builder, &Builder::outboundModePicked, this, &FRWAppDelegate::pickMenuOutboundMode);
    connect(&builder, &Builder::globalNodePicked, this, &FRWAppDelegate::pickMenuGlobalNode);
    connect(&builder, &Builder::groupTestRequested, this, &FRWAppDelegate::testGroupNodes);
    connect(&builder, &Builder::memberSelected, this, &FRWAppDelegate::selectMember);
    connect(&builder, &Builder::toggleSystemProxy, this, &FRWAppDelegate::toggleSystemProxy);
    connect(&builder, &Builder::toggleEnhanced, this, &FRWAppDelegate::toggleEnhanced);
    connect(&builder, &Builder::copyShellExport, this, &FRWAppDelegate::copyShellExport);
    connect(&builder, &Builder::switchProfile, this, &FRWAppDelegate::switchProfile);
    connect(&builder, &Builder::showExternalResources, this, &FRWAppDelegate::showExternalResources);
    connect(&builder, &Builder::updateAllExternalResources, this,
            &FRWAppDelegate::updateAllExternalResources);
    connect(&builder, &Builder::editProfileInTextEditor, this, &FRWAppDelegate::editProfileInTextEditor);
    connect(&builder, &Builder::revealProfileInFileManager, this,
            &FRWAppDelegate::revealProfileInFileManager);
    connect(&builder, &Builder::reloadProfile, this, &FRWAppDelegate::reloadProfile);
    connect(&builder, &Builder::checkForUpdates, this, &FRWAppDelegate::checkForUpdates);
    connect(&builder, &Builder::quit, this, &FRWAppDelegate::terminate);
}

// ---- Actions

void FRWAppDelegate::showMainWindow()
{
    if (!m_mainWindow) {
        return;
    }
    QWidget* window = m_mainWindow->window();
    window->show();
    window->raise();
    window->activateWindow();
}

void FRWAppDelegate::checkForUpdates()
{
    showMainWindow();
    QWidget* window = m_mainWindow ? m_mainWindow->window() : nullptr;
    if (m_setup.updater) {
        m_setup.updater->checkForUpdates(window);
        return;
    }
    // A build that names no release location of its own is updated with the rest of the system.
    auto* box = new QMessageBox(QMessageBox::Information, tr("Check for Updates"),
                                tr("Ferrow is updated by the system\u2019s package manager."),
                                QMessageBox::Ok, window);
    box->setObjectName(QStringLiteral("updatesByPackageManagerBox"));
    box->setInformativeText(tr("New versions arrive with the system\u2019s other updates."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void FRWAppDelegate::toggleSystemProxy()
{
    if (FRWAppModel* model = m_services.model()) {
        model->toggleSystemProxy();
    }
}

void FRWAppDelegate::toggleEnhanced()
{
    if (FRWAppModel* model = m_services.model()) {
        model->toggle();
    }
}

void FRWAppDelegate::copyShellExport()
{
    const QString command = QLatin1String(FRWStatusMenuBuilder::kShellExport);
    QApplication::clipboard()->setText(command);
    // Chosen from a menu that closes at once: say that it worked.
    m_services.postNotification(tr("Shell export command copied"), command);
}

void FRWAppDelegate::switchProfile(const QString& identifier)
{
    FRWProfileStore* store = m_services.profiles();
    if (!store) {
        return;
    }
    for (const FRWProfilePtr& profile : store->profiles()) {
        if (profile->identifier == identifier) {
            store->setActiveProfile(profile);
            return;
        }
    }
}

void FRWAppDelegate::showExternalResources()
{
    if (!m_setup.presentExternalResources) {
        return;
    }
    QWidget* window = m_mainWindow ? m_mainWindow->window() : nullptr;
    m_setup.presentExternalResources(window && window->isVisible() ? window : nullptr);
}

void FRWAppDelegate::updateAllExternalResources()
{
    if (FRWAppModel* model = m_services.model()) {
        model->updateAllRuleSets({});
    }
}

void FRWAppDelegate::editProfileInTextEditor()
{
    const QString path = m_services.profiles() ? m_services.profiles()->configPath() : QString();
    if (!path.isEmpty()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
}

void FRWAppDelegate::revealProfileInFileManager()
{
    const QString path = m_services.profiles() ? m_services.profiles()->configPath() : QString();
    if (path.isEmpty()) {
        return;
    }
    // The file manager selects the file when it offers the freedesktop interface; otherwise the
    // folder is opened.
    QDBusMessage show = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    show << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(folder);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(show), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [folder](QDBusPendingCallWatcher* call) {
        if (call->isError()) {
            QDesktopServices::openUrl(folder);
        }
        call->deleteLater();
    });
}

void FRWAppDelegate::reloadProfile()
{
    if (FRWProfileStore* store = m_services.profiles()) {
        store->load();
        store->save();
    }
}

void FRWAppDelegate::pickMenuOutboundMode(const QString& mode)
{
    if (FRWAppModel* model = m_services.model()) {
        model->setOutboundMode(mode, QString());
    }
}

void FRWAppDelegate::pickMenuGlobalNode(const QString& node)
{
    if (FRWAppModel* model = m_services.model()) {
        model->setOutboundMode(QStringLiteral("global"), node);
    }
}

void FRWAppDelegate::testGroupNodes(const QString& group)
{
    FRWAppModel* model = m_services.model();
    if (!model) {
        return;
    }
    for (const FRWProxyGroup& candidate : model->groups()) {
        if (candidate.name() != group) {
            continue;
        }
        for (const QString& member : candidate.members()) {
            if (member != QLatin1String("DIRECT") && member != QLatin1String("REJECT")) {
                model->testNodeCached(member);
            }
        }
        return;
    }
}

void FRWAppDelegate::selectMember(const QString& group, const QString& member)
{
    if (FRWAppModel* model = m_services.model()) {
        model->selectGroup(group, member);
    }
}

// ---- Quitting

bool FRWAppDelegate::trayHostPresent()
{
    return trayHostPresent(QDBusConnection::sessionBus());
}

bool FRWAppDelegate::trayHostPresent(const QDBusConnection& bus)
{
    if (bus.isConnected() && bus.interface() &&
        bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        return true;
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool FRWAppDelegate::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Close && m_mainWindow && watched == m_mainWindow->window() &&
        !m_terminating && !(m_setup.trayAvailable ? m_setup.trayAvailable() : trayHostPresent())) {
        // Hidden with no tray item, Ferrow could not be found again while it still runs the proxy.
        event->ignore();
        m_mainWindow->window()->showMinimized();
        return true;
    }
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit && !m_quitConfirmed) {
        event->ignore();
        terminate();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void FRWAppDelegate::terminate()
{
    if (m_terminating) {
        return;
    }
    m_terminating = true;
    m_services.stopProbeCore();
    showTerminatingPanel();
    auto done = std::make_shared<bool>(false);
    // The Enhanced Mode stop, and the System Proxy stop when that runs: quit when all are over.
    auto pending = std::make_shared<int>(m_services.systemProxyRunning() ? 2 : 1);
    const QPointer<FRWAppDelegate> self(this);
    const auto finish = [self, done] {
        if (*done || !self) {
            return;
        }
        *done = true;
        self->m_quitConfirmed = true;
        self->m_terminatingPanel.reset();
        emit self->quitConfirmed();
    };
    // A core that died just before the quit queued a restore of its own; wait for that too.
    const auto drained = [self, finish] {
        if (self) {
            self->m_services.finishSystemProxyWork(finish);
        }
    };
    const auto oneStopped = [drained, pending] {
        if (--*pending == 0) {
            drained();
        }
    };
    if (*pending == 2) {
        m_services.stopSystemProxy(oneStopped);
    }
    m_services.stopWithCompletion([oneStopped](const FRWResult&) { oneStopped(); });
    FRWTimerSource::orSystem(m_setup.timers)
        .singleShot(std::chrono::milliseconds(m_setup.quitWatchdogMs), this, [finish, done] {
            if (!*done) {
                qWarning("Ferrow: tunnel did not stop in time; quitting anyway");
            }
            finish();
        });
}

void FRWAppDelegate::showTerminatingPanel()
{
    m_terminatingPanel = std::make_unique<FRWTerminatingPanel>();
    m_terminatingPanel->present();
}
