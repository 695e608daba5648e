#pragma once

#include <QString>

#include "FRWHelperLayout.h"

/// The scripts that install and remove the helper, run as root through the privileged script
/// runner. Pure text builders, so every path in them can be checked for quoting.
namespace FRWHelperInstaller {

/// Single-quotes a text for the shell; each embedded single quote becomes '\''.
QString shellQuoted(const QString& text);

/// The polkit action that lets active local sessions start Enhanced Mode.
QString defaultPolkitPolicy();

/// Stops the old helper, refuses while it stays up, copies and verifies the new one (signed by
/// `publicKeyPem` as the helper), writes the polkit action and the units and starts the socket.
QString installScript(const FRWHelperLayout& layout, const QString& publicKeyPem, const QString& socketUnit,
                      const QString& serviceUnit, const QString& polkitPolicy = defaultPolkitPolicy());
/// What a removal takes. Beside the system package's helper, only the build folder's own copy
/// goes (the polkit action and the state folders are the package's too), and the package's socket
/// is enabled again, since disabling the copy's socket removed the same link.
enum class Removal { Everything, KeepPackage };
QString uninstallScript(const FRWHelperLayout& layout, Removal removal = Removal::Everything);

/// The systemd unit names (the files' names).
QString socketUnitName(const FRWHelperLayout& layout);
QString serviceUnitName(const FRWHelperLayout& layout);

} // namespace FRWHelperInstaller
