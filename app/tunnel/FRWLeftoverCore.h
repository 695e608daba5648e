#pragma once

#include <optional>
#include <sys/types.h>

#include <QString>

/// A core that an earlier run of ours left running. The System Proxy core outlives a crashed app on
/// purpose (the desktop still points at it), so the next run must stop it before it starts its own
/// on the same port. A core counts as ours only when the api-info file in our support folder names
/// it (it listens on that file's address), it runs our core's executable, and it belongs to this
/// user. Blocking; any thread.
namespace FRWLeftoverCore {

/// The process of this user that listens on the address ("host:port") of the api-info file at
/// `infoPath` and runs `corePath`; nothing when there is none.
std::optional<pid_t> find(const QString& infoPath, const QString& corePath);

/// Stops that process (a termination request, then a kill after `graceMs`) and removes the file.
/// True when a core was found and has exited.
bool stop(const QString& infoPath, const QString& corePath, int graceMs);

} // namespace FRWLeftoverCore
