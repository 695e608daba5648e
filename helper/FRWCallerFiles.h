#pragma once

#include <string>
#include <sys/types.h>

/// Opens files named by a caller with the caller's rights, not root's: the open runs on a thread
/// of its own whose file-system identity is the caller's uid and primary gid, with no
/// supplementary groups, so root learns nothing about paths the caller could not read itself.
namespace FRWCallerFiles {

/// A read-only, close-on-exec, non-blocking descriptor for `path` (symbolic links refused), or -1
/// with the reason in `error` (an errno value).
int openForReading(const std::string& path, uid_t uid, gid_t gid, int& error);

} // namespace FRWCallerFiles
