// Ferrow: the desktop application.

#include <QApplication>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QUrl>

#include "FRWAppDelegate.h"
#include "FRWAppModel.h"
#include "FRWAppServices.h"
#include "FRWDialogPresenter.h"
#include "FRWExternalResourcesController.h"
#include "FRWHelperControl.h"
#include "FRWLoginItem.h"
#include "FRWMainWindowController.h"
#include "FRWNames.h"
#include "FRWNotificationCenter.h"
#include "FRWNotifier.h"
#include "FRWProfileStore.h"
#include "FRWScreens.h"
#include "FRWSingleInstance.h"
#include "FRWTakeoverSettings.h"
#include "FRWTerminationSignals.h"
#include "FRWTunnelController.h"
#include "FRWUpdateChecker.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QLatin1String(ferrow::kApplicationName));
    QApplication::setApplicationVersion(QStringLiteral(FERROW_VERSION));
    QGuiApplication::setDesktopFileName(QLatin1String(ferrow::kApplicationIdentifier));

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
    FRWUpdateChecker updater(QUrl(QLatin1String(ferrow::kUpdateFeedURL)), QApplication::applicationVersion());

    FRWAppDelegate::Setup setup;
    setup.updater = &updater;
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
    screens.version = QStringLiteral(FERROW_VERSION);
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
    QObject::connect(&delegate, &FRWAppDelegate::quitConfirmed, &app, &QCoreApplication::quit);
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
