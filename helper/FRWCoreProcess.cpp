#include "FRWCoreProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "FRWProcessInspector.h"

std::shared_ptr<FRWCoreProcess> FRWCoreProcess::launch(const std::string& path,
                                                       const std::vector<std::string>& arguments,
                                                       const std::vector<std::string>& environment,
                                                       ExitHandler onExit, std::string& error)
{
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

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // The helper ignores SIGPIPE and may block signals on its threads; the core starts clean.
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    const int result = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        error = std::strerror(result);
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
