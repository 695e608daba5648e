#pragma once

#include <optional>
#include <string>

namespace ferrow::core {

/// Writes {"address", "secret"} atomically with mode 0600, owned by uid/gid when given.
bool writeApiInfoFile(const std::string& path, const std::string& address, const std::string& secret,
                      std::optional<unsigned> uid, std::optional<unsigned> gid, std::string* error);

/// Whether the file at `path` is the one written for this address and secret.
bool isOwnApiInfoFile(const std::string& path, const std::string& address, const std::string& secret);

} // namespace ferrow::core
