#include <csignal>
#include <cstdio>
#include <exception>
#include <sys/prctl.h>
#include <sys/resource.h>

#include "CoreOptions.h"
#include "CoreService.h"
#include "FRWProgramInfo.h"

int main(int argc, char** argv)
{
    using namespace ferrow::core;
    if (const auto status = ferrow::answerInformationalOption(argc, argv, "ferrow-core", helpText())) {
        return *status;
    }
    std::vector<std::string> arguments(argv + 1, argv + argc);
    auto parsed = parseCommandLine(arguments);
    if (auto* usage = std::get_if<UsageError>(&parsed)) {
        std::fprintf(stderr, "ferrow-core: %s; %s\n", usage->message.c_str(), usageLine().c_str());
        return 2;
    }
    // Started by the helper through a descriptor, the process would otherwise be named after the
    // descriptor's number in ps and in the journal.
    ::prctl(PR_SET_NAME, "ferrow-core", 0, 0, 0);
    std::signal(SIGPIPE, SIG_IGN);
    // Every proxied connection holds two sockets; the default soft limit of 1024 is far too low.
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    try {
        CoreContext io(1);
        Lanes lanes(io.get_executor());
        int status = 0;
        {
            CoreService core(io, lanes, std::get<CoreOptions>(parsed));
            if (core.start()) {
                io.run();
            } else {
                core.stop("start-up failed");
                status = 1;
            }
        }
        // The service has gone while everything its objects point into still existed. Handlers
        // left on the lanes and on the main loop hold on to each other's loops: all of them go
        // before either loop does.
        lanes.dropPending();
        io.dropPending();
        return status;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ferrow-core: fatal: %s\n", error.what());
        return 1;
    }
}
