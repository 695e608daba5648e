#include "FRWCoreProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "FRWProcessInspector.h"

namespace {

constexpr int kKeptCapabilities[] = {CAP_NET_ADMIN, CAP_NET_RAW};

int lastCapability()
{
    char text[16] = {};
    const int fd = ::open("/proc/sys/kernel/cap_last_cap", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t got = ::read(fd, text, sizeof text - 1);
        ::close(fd);
    }
    const int value = std::atoi(text);
    return value > 0 ? value : CAP_LAST_CAP;
}

bool isKept(int capability)
{
    for (const int kept : kKeptCapabilities) {
        if (kept == capability) {
            return true;
        }
    }
    return false;
}

/// Runs in the child between fork and exec, so only async-signal-safe calls: drops every
/// capability but the tunnel's from the bounding set, becomes the user, and raises the tunnel's
/// capabilities as ambient ones so the core keeps them across exec (and the user cannot ptrace or
/// preload a process that holds capabilities the user lacks).
bool becomeUserWithNetworkCapabilities(uid_t uid, gid_t gid, int lastCap)
{
    if (::prctl(PR_SET_KEEPCAPS, 1, 0, 0, 0) != 0) {
        return false;
    }
    for (int capability = 0; capability <= lastCap; ++capability) {
        if (!isKept(capability) && ::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 && errno != EINVAL) {
            return false;
        }
    }
    if (::syscall(SYS_setgroups, 0, nullptr) != 0 || ::syscall(SYS_setresgid, gid, gid, gid) != 0 ||
        ::syscall(SYS_setresuid, uid, uid, uid) != 0) {
        return false;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    for (const int capability : kKeptCapabilities) {
        data[capability / 32].effective |= 1u << (capability % 32);
        data[capability / 32].permitted |= 1u << (capability % 32);
        data[capability / 32].inheritable |= 1u << (capability % 32);
    }
    if (::syscall(SYS_capset, &header, data) != 0) {
        return false;
    }
    for (const int capability : kKeptCapabilities) {
        if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, capability, 0, 0) != 0) {
            return false;
        }
    }
    return true;
}

void reportAndExit(int pipe)
{
    const int error = errno;
    [[maybe_unused]] const ssize_t ignored = ::write(pipe, &error, sizeof error);
    ::_exit(127);
}

} // namespace

std::shared_ptr<FRWCoreProcess>
FRWCoreProcess::launch(int executable, const std::string& path, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment, const Identity& identity,
                       const std::vector<int>& inherited, ExitHandler onExit, std::string& error)
{
    const bool asRoot = ::geteuid() == 0;
    if (!asRoot && (identity.uid != ::geteuid() || identity.gid != ::getegid())) {
        // Without root there is no way to become another user; never run the core as the wrong one.
        error = "cannot run the core as another user";
        return nullptr;
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (const std::string& entry : environment) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);

    const int lastCap = lastCapability();
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int report[2] = {-1, -1};
    if (devNull < 0 || ::pipe2(report, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        if (devNull >= 0) {
            ::close(devNull);
        }
        return nullptr;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The helper ignores SIGPIPE and blocks SIGTERM on its threads; the core starts clean.
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (::dup2(devNull, STDIN_FILENO) < 0) {
            reportAndExit(report[1]);
        }
        if (asRoot && !becomeUserWithNetworkCapabilities(identity.uid, identity.gid, lastCap)) {
            reportAndExit(report[1]);
        }
        for (const int fd : inherited) {
            if (::fcntl(fd, F_SETFD, 0) != 0) {
                reportAndExit(report[1]);
            }
        }
        // Through the descriptor: the user may have no search right on the folder that holds it.
        ::fexecve(executable, argv.data(), envp.data());
        reportAndExit(report[1]);
    }
    const int forkError = errno;
    ::close(devNull);
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        error = std::strerror(forkError);
        return nullptr;
    }
    int childError = 0;
    ssize_t got = 0;
    while ((got = ::read(report[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got > 0) {
        // The child never reached the core; reap it here.
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        error = std::strerror(childError);
        return nullptr;
    }
    // The child is ours and unreaped, so its id stays valid for this call.
    const int pidfd = FRWProcessInspector::openPidfd(pid);
    std::shared_ptr<FRWCoreProcess> process(new FRWCoreProcess(pid, pidfd));
    std::thread([process, onExit = std::move(onExit)] {
        int status = 0;
        while (::waitpid(process->m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        process->m_exited = true;
        if (onExit) {
            onExit(*process, status);
        }
    }).detach();
    return process;
}

FRWCoreProcess::~FRWCoreProcess()
{
    if (m_pidfd >= 0) {
        ::close(m_pidfd);
    }
}

void FRWCoreProcess::signal(int signal) const
{
    if (!isRunning()) {
        return;
    }
    if (m_pidfd >= 0) {
        FRWProcessInspector::sendSignal(m_pidfd, signal);
    } else {
        // Without a pidfd (very old kernels): the child is unreaped while it runs, so its id holds.
        ::kill(m_pid, signal);
    }
}
