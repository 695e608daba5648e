#pragma once

#include <functional>
#include <optional>

#include <QObject>
#include <QString>

#include "FRWHelperLayout.h"

/// Which Enhanced Mode helper this computer has: the one the system package installed, the one
/// Ferrow installed from a build folder, both, or none. The package's always wins: Ferrow never
/// writes its own helper over it.
struct FRWHelperInstallation {
    enum class Kind { None, BuildFolder, Packaged, Both };

    Kind kind = Kind::None;
    /// The system package's version, when the package manager gave it.
    QString packageVersion;
    /// The package's helper serves this program only if it is signed with the package's key: set
    /// when this program is not the one the package installed (a build folder's, say).
    bool servesAnotherBuild = false;

    bool packaged() const { return kind == Kind::Packaged || kind == Kind::Both; }
    bool buildFolder() const { return kind == Kind::BuildFolder || kind == Kind::Both; }

    /// Pure. `socketUnitFile` is the file systemd loads the helper's socket from (nothing when
    /// systemd could not be asked, empty when it has no such unit). A unit file other than the
    /// build folder's is the system's. `packagedOnDisk` notices a package's helper whose unit the
    /// build folder's shadows; `buildFolderOnDisk` is the build folder's helper and units.
    static Kind classify(const std::optional<QString>& socketUnitFile, const FRWHelperLayout& layout,
                         bool packagedOnDisk, bool buildFolderOnDisk);
};

/// Asks systemd where the helper's socket unit comes from, and the package manager for the
/// package's version when it is the package's. Never blocks: the tools run as child processes and
/// `completion` runs once, on `context`'s thread (never, when `context` goes first).
void detectHelperInstallation(const FRWHelperLayout& layout, QObject* context,
                              std::function<void(FRWHelperInstallation)> completion);

/// What the files alone say, for when systemd has not answered yet.
FRWHelperInstallation helperInstallationOnDisk(const FRWHelperLayout& layout);
/// The files of the build folder's helper are there (the helper and both units).
bool buildFolderHelperOnDisk(const FRWHelperLayout& layout);
/// The package's helper and its socket unit are there.
bool packagedHelperOnDisk(const FRWHelperLayout& layout);
