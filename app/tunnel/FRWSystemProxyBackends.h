#pragma once

#include <memory>

#include <QProcessEnvironment>

class FRWSystemProxyBackend;
class FRWToolRunner;

/// Chooses the settings store of the running desktop session (XDG_CURRENT_DESKTOP).
namespace FRWSystemProxyBackends {

enum class Desktop { GNOME, MATE, KDE, Unsupported };

Desktop desktopOf(const QProcessEnvironment& environment);

/// The store to take over in this session; one without a service when the desktop is unsupported.
std::unique_ptr<FRWSystemProxyBackend> forSession(FRWToolRunner& runner,
                                                  const QProcessEnvironment& environment);

} // namespace FRWSystemProxyBackends
