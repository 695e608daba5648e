#pragma once

#include <string>
#include <string_view>

namespace ferrow::core {

/// What a failed node test says went wrong, in words the app can show: "refused" (nothing listens
/// at the server's port), "unreachable" (no route to it), "name" (its name has no address) or
/// "timeout" — also for a wrong key, as the protocol gives a prober nothing to tell that apart.
std::string failureKind(std::string_view error);

} // namespace ferrow::core
