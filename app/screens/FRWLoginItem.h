#pragma once

#include <QString>

#include "FRWError.h"

/// Launching Ferrow at login, as an XDG autostart entry. The state is always read back from the
/// file, so an entry removed or disabled outside the application shows as off.
class FRWLoginItem {
public:
    /// `autostartDirectory` is `$XDG_CONFIG_HOME/autostart`; `program` is what the entry runs.
    FRWLoginItem(QString autostartDirectory, QString program);

    /// The user's autostart folder and this process's own executable.
    static FRWLoginItem forCurrentUser();

    QString entryPath() const;
    /// The entry exists and no desktop-specific key switches it off.
    bool enabled() const;
    /// Writes the entry atomically, or removes it; an error carries the reason.
    FRWResult setEnabled(bool enabled);

    /// The entry's text for a program path.
    static QString entryText(const QString& program);

private:
    QString m_directory;
    QString m_program;
};
