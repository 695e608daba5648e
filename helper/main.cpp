// ferrow-helper: started by systemd when the application first connects to the helper's socket.

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "FRWHelperConfig.h"
#include "FRWHelperServer.h"
#include "FRWHelperService.h"

namespace {

constexpr int kFirstListenFd = 3; // SD_LISTEN_FDS_START

/// The listening socket systemd passed, or -1. Only one, only to this process, only a listening
/// Unix stream socket.
int socketFromSystemd()
{
    const char* pid = std::getenv("LISTEN_PID");
    const char* count = std::getenv("LISTEN_FDS");
    if (!pid || !count || std::to_string(::getpid()) != pid || std::string(count) != "1") {
        return -1;
    }
    ::unsetenv("LISTEN_PID");
    ::unsetenv("LISTEN_FDS");
    ::unsetenv("LISTEN_FDNAMES");
    struct stat status {};
    int type = 0;
    int listening = 0;
    socklen_t size = sizeof type;
    socklen_t listeningSize = sizeof listening;
    if (::fstat(kFirstListenFd, &status) != 0 || !S_ISSOCK(status.st_mode) ||
        ::getsockopt(kFirstListenFd, SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_STREAM ||
        ::getsockopt(kFirstListenFd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &listeningSize) != 0 ||
        !listening) {
        return -1;
    }
    // The core must not inherit the helper's socket.
    ::fcntl(kFirstListenFd, F_SETFD, FD_CLOEXEC);
    return kFirstListenFd;
}

} // namespace

int main(int argc, char** argv)
{
    const FRWHelperConfig config = FRWHelperConfig::system();
    if (argc == 2 && std::strcmp(argv[1], "--after-stop") == 0) {
        // Run by the unit after the helper ends, a crash included: what a gateway run switched
        // on goes back now, not at some later start that socket activation may delay for days.
        FRWForwarding(config).restore();
        FRWTunnelCleanup(config).run({});
        return 0;
    }
    const int listenFd = socketFromSystemd();
    if (listenFd < 0) {
        config.log("ferrow-helper: no listening socket from systemd; start me through "
                   "zq.orbel.ferrow-mac.helper.socket");
        return 1;
    }
    std::signal(SIGPIPE, SIG_IGN);
    // Termination is taken by a thread of its own; every other thread has it blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const auto service = FRWHelperService::create(config);
    const auto server = FRWHelperServer::create(config, service);
    std::thread([server, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server->stop();
    }).detach();
    server->serve(listenFd);
    server->stop();
    // Stopped by systemd (uninstall, upgrade, shutdown): the core ends now rather than by the
    // cgroup's kill, so forwarding switched on for gateway mode is put back first.
    service->stopCore();
    return 0;
}
