// Ferrow: the desktop application.

#include <QApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QStandardPaths>
#include <QUrl>

#include "FRWAppDelegate.h"
#include "FRWAppModel.h"
#include "FRWAppServices.h"
#include "FRWBuildInfo.h"
#include "FRWDialogPresenter.h"
#include "FRWExternalResourcesController.h"
#include "FRWHelperControl.h"
#include "FRWLoginItem.h"
#include "FRWMainWindowController.h"
#include "FRWNames.h"
#include "FRWNotificationCenter.h"
#include "FRWNotifier.h"
#include "FRWProfileStore.h"
#include "FRWProgramInfo.h"
#include "FRWScreens.h"
#include "FRWSingleInstance.h"
#include "FRWTakeoverSettings.h"
#include "FRWTerminationSignals.h"
#include "FRWTranslations.h"
#include "FRWTunnelController.h"
#include "FRWUpdateChecker.h"

namespace {

constexpr char kHelp[] =
    "Usage: Ferrow [OPTION]\n"
    "A desktop client for your own Ferrow proxy server: it keeps your profiles (nodes, policy\n"
    "groups, rules), runs the proxy core with the active one, steers this computer's traffic into\n"
    "it (System Proxy mode, or Enhanced Mode through a system service) and shows what passes.\n"
    "\n"
    "Started without options, Ferrow opens its window and its tray item; starting it again shows\n"
    "the window of the copy that runs.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n";

} // namespace

int main(int argc, char** argv)
{
    // Answered before anything needs a display or a running copy could be asked to show itself.
    if (const auto status = ferrow::answerInformationalOption(argc, argv, "Ferrow", kHelp)) {
        return *status;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QLatin1String(ferrow::kApplicationName));
    QApplication::setApplicationVersion(QLatin1String(ferrow::kVersion));
    QGuiApplication::setDesktopFileName(QLatin1String(ferrow::kApplicationIdentifier));
    // The system's language (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) before any window is made.
    FRWTranslations::install(QLocale::system().uiLanguages());

    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty()) {
        runtime = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    }
    FRWSingleInstance instance(runtime);
    if (instance.handOverToRunningInstance()) {
        return 0;
    }

    FRWDialogPresenter presenter;
    FRWTunnelController& tunnel = FRWTunnelController::shared();
    FRWAppModel& model = FRWAppModel::shared();
    tunnel.setPresenter(&presenter);
    model.setPresenter(&presenter);
    FRWSharedAppServices services(tunnel, model, FRWNotifier::shared(), FRWProfileStore::shared());
    // Without a release location of its own, a build is updated by the system's package manager.
    const QString releases = QLatin1String(ferrow::kReleaseLocation);
    std::unique_ptr<FRWUpdateChecker> updater;
    if (!releases.isEmpty()) {
        updater = std::make_unique<FRWUpdateChecker>(QUrl(releases + QStringLiteral("/linux/appcast.xml")),
                                                     QApplication::applicationVersion());
        updater->setQuietCheckAllowed([&model] { return model.updateChecksEnabled(); });
    }

    FRWAppDelegate::Setup setup;
    setup.updater = updater.get();
    FRWControllerTakeoverSettings takeover(tunnel);
    FRWTunnelHelperControl helperControl(tunnel,
                                         FRWHelperLayout::system(QCoreApplication::applicationDirPath()));
    FRWLoginItem loginItem = FRWLoginItem::forCurrentUser();
    FRWDesktopNotifications notifications(QDBusConnection::sessionBus());
    FRWScreensContext screens;
    screens.model = &model;
    screens.profiles = &FRWProfileStore::shared();
    screens.takeover = &takeover;
    screens.presenter = &presenter;
    screens.helper = &helperControl;
    screens.loginItem = &loginItem;
    screens.notifications = &notifications;
    screens.version = QLatin1String(ferrow::kVersion);
    screens.releaseLocation = releases;
    screens.build = QStringLiteral(FERROW_BUILD);
    setup.pages = makeScreenPages(screens);
    // Made on first use and kept for the run.
    std::unique_ptr<FRWExternalResourcesController> externalResources;
    setup.presentExternalResources = [&externalResources, &model](QWidget* over) {
        if (!externalResources) {
            externalResources = std::make_unique<FRWExternalResourcesController>(model);
        }
        externalResources->presentOver(over);
    };
    FRWAppDelegate delegate(services, setup);
    QObject::connect(&delegate, &FRWAppDelegate::quitConfirmed, &app, [] { QCoreApplication::exit(0); });
    QObject::connect(&instance, &FRWSingleInstance::showRequested, &delegate,
                     &FRWAppDelegate::showMainWindow);
    FRWTerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &FRWTerminationSignals::terminationRequested, &delegate,
                     &FRWAppDelegate::terminate);
    // The session ending takes the same way out as "Quit Ferrow".
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &delegate, &FRWAppDelegate::terminate);

    delegate.applicationDidFinishLaunching();
    presenter.setWindow(delegate.mainWindow()->window());
    const int status = QApplication::exec();
    return status;
}
