#pragma once

#include <QString>
#include <QStringList>

/// Where the helper and its pieces live and which tools install it. The real program uses the
/// system's fixed paths; tests point everything into a temporary folder.
struct FRWHelperLayout {
    QString helperSource;        ///< the helper shipped with the application (`helperSrc`)
    QString installedHelperPath; ///< where the install script puts it
    QString socketUnitPath;
    QString serviceUnitPath;
    QString stagedCorePath;
    QString polkitPolicyPath;
    QString stateDirectory;              ///< the helper's own state
    QString coreStateDirectory;          ///< what each user's Enhanced Mode core keeps
    QString socketPath;                  ///< the helper's socket, for the application's connection
    QString packagedHelperPath;          ///< the helper the system package installs
    QStringList packagedUnitDirectories; ///< where the system package's units are
    QString pkexecPath;
    QString systemctlPath;
    QString dpkgQueryPath; ///< asked for the system package's version
    QString opensslPath;
    QString owner;             ///< "user:group" that the installed files get
    QString makerPublicKeyPem; ///< the key the helper to install must be signed with

    /// The system's paths, with the helper that ships beside the program in `programDirectory`.
    static FRWHelperLayout system(const QString& programDirectory);
};
