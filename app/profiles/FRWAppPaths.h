#pragma once

#include <QString>

/// Where Ferrow keeps the user's files. Built once from the environment for the real program;
/// tests build one that points into a temporary folder.
struct FRWAppPaths {
    QString supportFolder; ///< $XDG_DATA_HOME/Ferrow: profiles, profile.conf, api-info files
    QString settingsFile;  ///< $XDG_CONFIG_HOME/Ferrow/Ferrow.conf: the user settings

    static FRWAppPaths fromEnvironment();
    /// The same layout below explicit data and config homes.
    static FRWAppPaths under(const QString& dataHome, const QString& configHome);
};
