// Times one system-proxy takeover plus its restore against the real settings stores in a temporary
// home: GNOME through GIO (keyfile store), and KDE through kwriteconfig5/kreadconfig5 mirrored
// into GNOME's settings.
#include <algorithm>
#include <cstdio>
#include <memory>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#pragma push_macro("signals")
#undef signals
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>
#pragma pop_macro("signals")

#include "FRWGSettingsProxyBackend.h"
#include "FRWKDEProxyBackend.h"
#include "FRWMirroredProxyBackend.h"
#include "FRWSystemProxy.h"
#include "FRWToolRunner.h"
#include "FRWUserDefaults.h"

namespace {

constexpr int kRuns = 7;

// Best of several takeover + restore pairs, in milliseconds; negative when one failed.
double takeoverAndRestore(FRWSystemProxyBackend& backend, const QString& settingsFile)
{
    FRWUserDefaults defaults(settingsFile);
    FRWSystemProxy proxy(
        backend, defaults, [] { return false; }, QStringLiteral("127.0.0.1:7891"));
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!proxy.applySystemProxy(true) || !proxy.applySystemProxy(false)) {
            return -1;
        }
        best = std::min(best, static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

void report(const char* name, double ms, double targetMs)
{
    if (ms < 0) {
        std::printf("%-28s failed\n", name);
    } else {
        std::printf("%-28s %8.2f ms  target <= %.0f ms\n", name, ms, targetMs);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    QCoreApplication app(argc, argv);
    QDir().mkpath(home.path() + QStringLiteral("/config/glib-2.0/settings"));
    GSettingsBackend* keyfile = g_keyfile_settings_backend_new(
        (home.path() + QStringLiteral("/config/glib-2.0/settings/keyfile")).toUtf8().constData(), "/",
        nullptr);
    const QString settingsFile = home.path() + QStringLiteral("/Ferrow.conf");

    FRWGSettingsProxyBackend gnome(QStringLiteral("GNOME"),
                                   QLatin1String(FRWGSettingsProxyBackend::kGnomeSchema), keyfile);
    report("GNOME takeover+restore", takeoverAndRestore(gnome, settingsFile), 50);

    FRWToolRunner runner;
    int notifications = 0;
    FRWMirroredProxyBackend kde(
        std::make_unique<FRWKDEProxyBackend>(runner, FRWKDEProxyBackend::Tools{}, [&] { ++notifications; }),
        std::make_unique<FRWGSettingsProxyBackend>(
            QStringLiteral("GNOME"), QLatin1String(FRWGSettingsProxyBackend::kGnomeSchema), keyfile));
    report("KDE takeover+restore", takeoverAndRestore(kde, settingsFile), 150);
    g_object_unref(keyfile);
    return 0;
}
