#pragma once

#include <QByteArray>
#include <QDir>

#pragma push_macro("signals")
#undef signals
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>
#pragma pop_macro("signals")

/// The keyfile settings store that `gsettings` uses with GSETTINGS_BACKEND=keyfile in the current
/// XDG_CONFIG_HOME, as an object of this process. GLib keeps its default store for the whole
/// process, so tests with a fresh home each need their own. It reads the file when it is made.
class GSettingsKeyfile {
public:
    GSettingsKeyfile()
    {
        const QByteArray folder = qgetenv("XDG_CONFIG_HOME") + "/glib-2.0/settings";
        QDir().mkpath(QString::fromLocal8Bit(folder));
        m_store = g_keyfile_settings_backend_new((folder + "/keyfile").constData(), "/", nullptr);
    }
    ~GSettingsKeyfile() { g_object_unref(m_store); }
    GSettingsKeyfile(const GSettingsKeyfile&) = delete;
    GSettingsKeyfile& operator=(const GSettingsKeyfile&) = delete;

    GSettingsBackend* store() const { return m_store; }

private:
    GSettingsBackend* m_store;
};
