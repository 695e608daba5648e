#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace ferrow::core {

struct FileRead {
    bool ok = false;
    std::string bytes;
    std::string error;   // why not, when !ok
    int errorNumber = 0; // errno of a failed open or read, else 0
};

/// Reads a regular file of at most `limit` bytes through one descriptor: the type and size are
/// checked on that descriptor and the read stops after limit + 1 bytes, so a file swapped for a
/// device, a FIFO or a growing file between check and read gives an error, never a hang or an
/// unbounded read. With `noFollow` a symbolic link at `path` is refused.
FileRead readRegularFile(const std::string& path, std::size_t limit, bool noFollow = false);

/// Checks a written temporary file before it replaces the real one; empty means usable.
using TemporaryCheck = std::function<std::string(const std::string& temporaryPath)>;

/// Writes `bytes` to a new temporary file beside `path` (a unique name made of `path` and
/// `suffix`, created with O_EXCL|O_NOFOLLOW and mode 0600, so nothing planted there is written
/// through), checks it, then renames it over `path`. False with a reason in `error`.
bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         const TemporaryCheck& check = {}, const std::string& suffix = ".tmp");

} // namespace ferrow::core
