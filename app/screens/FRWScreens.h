#pragma once

#include <QString>

#include "FRWPageFactory.h"

class FRWAppModel;
class FRWClock;
class FRWDesktopEntries;
class FRWHelperControl;
class FRWLoginItem;
class FRWNotificationCenter;
class FRWProfileStore;
class FRWTakeoverSettings;
class FRWTimerSource;
class FRWTunnelPresenter;

/// What the monitoring screens read and act on. The model, the settings and the presenter must
/// outlive every page made with it.
struct FRWScreensContext {
    FRWAppModel* model = nullptr;
    FRWProfileStore* profiles = nullptr;
    FRWTakeoverSettings* takeover = nullptr;
    /// Where the pages' alerts and notes go.
    FRWTunnelPresenter* presenter = nullptr;
    /// The time rates are measured with; the system clock when null.
    const FRWClock* clock = nullptr;
    /// Where the pages' timers (notes and glyphs that go back) come from; the real ones when null.
    FRWTimerSource* timers = nullptr;
    /// Program names and icons for the Process page; the desktop's own entries when null.
    FRWDesktopEntries* desktopEntries = nullptr;
    /// Settings: the Enhanced Mode helper, the login item and the notification service.
    FRWHelperControl* helper = nullptr;
    FRWLoginItem* loginItem = nullptr;
    FRWNotificationCenter* notifications = nullptr;
    /// The build's version and revision for the version lines; "?" where empty.
    QString version;
    QString build;
    /// Where releases are published (https://…); empty when the server comes from its package.
    QString releaseLocation;
};

/// A page factory with the Activity, Overview, Connections, Logs, Process and Device pages, and the
/// Profile, Policy and Rule editors when there is a profile library.
FRWPageFactory makeScreenPages(const FRWScreensContext& context);

/// A window-independent way to show a page's message: through the presenter, or only logged.
void presentScreenAlert(const FRWScreensContext& context, const QString& message, const QString& detail);
