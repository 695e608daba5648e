#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace ferrow::test {

namespace {

std::string findProgram(const std::string& name)
{
    if (name.find('/') != std::string::npos) {
        return name;
    }
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/local/bin:/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return name; // the exec fails and says so
}

/// The descriptor the child's stream is taken from; -1 to leave it as inherited. Pipes are made
/// by the caller.
int openStream(const ChildStream& stream, bool forReading)
{
    switch (stream.kind) {
    case ChildStream::Kind::Null:
        return ::open("/dev/null", (forReading ? O_RDONLY : O_WRONLY) | O_CLOEXEC);
    case ChildStream::Kind::File:
        return ::open(stream.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, stream.mode);
    case ChildStream::Kind::Append:
        return ::open(stream.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, stream.mode);
    default:
        return -1;
    }
}

std::vector<std::string> childEnvironment(const std::vector<std::string>& changes)
{
    std::vector<std::string> environment;
    for (char** item = environ; *item; ++item) {
        const std::string_view entry(*item);
        const auto name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const auto& change : changes) {
            replaced = replaced || change.compare(0, name.size(), name) == 0;
        }
        if (!replaced) {
            environment.emplace_back(entry);
        }
    }
    environment.insert(environment.end(), changes.begin(), changes.end());
    return environment;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    out.reserve(strings.size() + 1);
    for (auto& text : strings) {
        out.push_back(text.data());
    }
    out.push_back(nullptr);
    return out;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, std::optional<uid_t> asUser)
    : ChildProcess(
          argv,
          Options{ChildStream::pipe(), ChildStream::pipe(), ChildStream::inherit(), false, {}, {}, asUser})
{
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, Options options)
{
    // Everything the child needs is made here: between fork and exec only async-signal-safe
    // calls are allowed, and the test processes have threads.
    std::vector<std::string> arguments = argv;
    if (arguments.empty()) {
        throw std::invalid_argument("no program to run");
    }
    const std::string program = findProgram(arguments[0]);
    std::vector<std::string> environment = childEnvironment(options.environment);
    const auto argp = pointers(arguments);
    const auto envp = pointers(environment);

    int streams[3] = {openStream(options.input, true), openStream(options.output, false),
                      openStream(options.error, false)};
    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    int failure[2] = {-1, -1};
    if ((options.input.kind == ChildStream::Kind::Pipe && ::pipe2(input, O_CLOEXEC) != 0) ||
        (options.output.kind == ChildStream::Kind::Pipe && ::pipe2(output, O_CLOEXEC) != 0) ||
        ::pipe2(failure, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    // Out of the way of the low numbers the child's descriptors are handed over as.
    const int failureEnd = ::fcntl(failure[1], F_DUPFD_CLOEXEC, 64);
    if (failureEnd >= 0) {
        ::close(failure[1]);
        failure[1] = failureEnd;
    }
    if (input[0] >= 0) {
        streams[0] = input[0];
    }
    if (output[1] >= 0) {
        streams[1] = output[1];
    }

    m_pid = ::fork();
    if (m_pid == 0) {
        for (int fd = 0; fd < 3; ++fd) {
            if (streams[fd] >= 0) {
                ::dup2(streams[fd], fd);
            }
        }
        if (options.errorToOutput) {
            ::dup2(STDOUT_FILENO, STDERR_FILENO);
        }
        for (const auto& [ours, theirs] : options.descriptors) {
            if (ours == theirs) {
                ::fcntl(theirs, F_SETFD, 0);
            } else {
                ::dup2(ours, theirs);
            }
        }
        int code = 127;
        if (options.asUser && (::setgid(*options.asUser) != 0 || ::setuid(*options.asUser) != 0)) {
            code = 126;
        } else {
            ::execve(program.c_str(), argp.data(), envp.data());
        }
        const int error = errno;
        [[maybe_unused]] const auto written = ::write(failure[1], &error, sizeof error);
        ::_exit(code);
    }
    for (int& fd : streams) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    ::close(failure[1]);
    if (m_pid < 0) {
        ::close(failure[0]);
        for (int fd : {input[1], output[0]}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        throw std::runtime_error("fork");
    }
    // The failure pipe closes unread on a successful exec.
    int error = 0;
    ssize_t got = 0;
    do {
        got = ::read(failure[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(failure[0]);
    m_started = got == 0;
    if (!m_started) {
        ::waitpid(m_pid, &m_status, 0);
        m_reaped = true;
    }
    m_input = input[1];
    m_output = output[0];
}

ChildProcess::~ChildProcess()
{
    if (!m_reaped && m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    closeInput();
    if (m_output >= 0) {
        ::close(m_output);
    }
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_output >= 0 && m_buffer.find('\n') == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        pollfd entry{m_output, POLLIN, 0};
        if (::poll(&entry, 1, 50) <= 0) {
            continue;
        }
        char block[4096];
        const ssize_t got = ::read(m_output, block, sizeof block);
        if (got <= 0) {
            break;
        }
        m_buffer.append(block, static_cast<std::size_t>(got));
    }
    const std::size_t end = m_buffer.find('\n');
    if (end == std::string::npos) {
        return std::nullopt;
    }
    std::string line = m_buffer.substr(0, end);
    m_buffer.erase(0, end + 1);
    return line;
}

void ChildProcess::closeInput()
{
    if (m_input >= 0) {
        ::close(m_input);
        m_input = -1;
    }
}

std::optional<int> ChildProcess::waitStatus(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!m_reaped) {
        if (::waitpid(m_pid, &m_status, WNOHANG) == m_pid) {
            m_reaped = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5)); // no exit event to wait on
    }
    return m_status;
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout)
{
    const auto status = waitStatus(timeout);
    if (!status || !WIFEXITED(*status)) {
        return std::nullopt;
    }
    return WEXITSTATUS(*status);
}

int ChildProcess::waitExit(std::chrono::milliseconds timeout)
{
    const auto status = waitStatus(timeout);
    if (!status) {
        return -1;
    }
    return WIFEXITED(*status) ? WEXITSTATUS(*status) : 128 + WTERMSIG(*status);
}

int ChildProcess::stop(int signal, std::chrono::milliseconds timeout)
{
    if (!m_reaped) {
        ::kill(m_pid, signal);
    }
    const int status = waitExit(timeout);
    if (status < 0) {
        ::kill(m_pid, SIGKILL);
        waitStatus(std::chrono::seconds(5));
    }
    return status;
}

bool ChildProcess::running() const
{
    if (m_reaped) {
        return false;
    }
    std::ifstream stat("/proc/" + std::to_string(m_pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const std::size_t paren = text.rfind(')');
    return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] != 'Z';
}

} // namespace ferrow::test
