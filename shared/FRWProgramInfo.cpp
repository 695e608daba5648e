#include "FRWProgramInfo.h"

#include <cstdio>
#include <string>

#include "FRWBuildInfo.h"

namespace ferrow {

std::optional<int> answerInformationalOption(int argc, const char* const* argv, std::string_view program,
                                             std::string_view help)
{
    if (argc < 2 || argv[1] == nullptr) {
        return std::nullopt;
    }
    const std::string_view first = argv[1];
    std::string answer;
    if (first == "--help" || first == "-h") {
        answer = help;
    } else if (first == "--version") {
        answer = std::string(program) + " " + kVersion + "\n";
    } else {
        return std::nullopt;
    }
    const bool written = std::fwrite(answer.data(), 1, answer.size(), stdout) == answer.size();
    // A closed or full standard output is a failure the caller's script should see.
    return std::fflush(stdout) == 0 && written ? 0 : 1;
}

} // namespace ferrow
