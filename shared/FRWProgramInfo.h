#pragma once

#include <optional>
#include <string_view>

namespace ferrow {

/// `--help` (or `-h`) and `--version` as the first argument, the same for every program: the
/// answer goes to standard output before anything else runs, so it needs no display, no running
/// copy and no configuration. The exit status when one of them was asked for.
std::optional<int> answerInformationalOption(int argc, const char* const* argv, std::string_view program,
                                             std::string_view help);

} // namespace ferrow
