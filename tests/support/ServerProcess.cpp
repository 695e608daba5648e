#include "ServerProcess.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <poll.h>
#include <sstream>
#include <sys/inotify.h>
#include <unistd.h>

namespace ferrow::test {

namespace {

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::unique_ptr<ChildProcess> startServer(const std::vector<std::string>& arguments,
                                          const std::filesystem::path& errorFile, int maxOpenFiles = 0,
                                          const std::string& netns = {}, const std::string& hostsFile = {})
{
    std::vector<std::string> all;
    if (!netns.empty()) {
        all = {"/usr/sbin/ip", "netns", "exec", netns}; // execs the rest in place
    }
    if (!hostsFile.empty()) {
        // A mount namespace of its own, where the file stands in for /etc/hosts; every step execs in place.
        all.insert(all.end(), {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                               "mount --bind \"$0\" /etc/hosts && exec \"$@\"", hostsFile});
    }
    if (maxOpenFiles > 0) {
        all.insert(all.end(), {"/usr/bin/prlimit", "--nofile=" + std::to_string(maxOpenFiles)});
    }
    all.push_back(FERROW_SERVER_PATH);
    all.insert(all.end(), arguments.begin(), arguments.end());
    ChildProcess::Options options;
    options.error = ChildStream::file(errorFile);
    auto process = std::make_unique<ChildProcess>(all, std::move(options));
    return process->started() ? std::move(process) : nullptr;
}

/// Waits for `predicate` over the file's text, woken by its writes.
template <typename Predicate>
bool waitForFile(const std::filesystem::path& path, std::chrono::milliseconds timeout, Predicate predicate)
{
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    inotify_add_watch(watch, path.c_str(), IN_MODIFY | IN_CLOSE_WRITE);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool ok = false;
    for (;;) {
        if (predicate(readFile(path))) {
            ok = true;
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd ready{watch, POLLIN, 0};
        poll(&ready, 1, static_cast<int>(std::min<long>(left.count(), 100)));
        char events[4096];
        while (read(watch, events, sizeof events) > 0) {
        }
    }
    close(watch);
    return ok;
}

} // namespace

ServerProcess::ServerProcess(Options options)
{
    char pattern[] = "/tmp/ferrow-server-test-XXXXXX";
    m_folder = mkdtemp(pattern);
    std::ofstream(m_folder / "psk") << options.psk << "\n";
    std::vector<std::string> arguments = {
        "--listen",        options.listenAddress + ":" + std::to_string(options.port),
        "--psk-file",      (m_folder / "psk").string(),
        "--log-level",     "debug",
        "--probe-timeout", options.probeTimeout,
        "--threads",       "2",
        "--state-dir",     options.stateDir.empty() ? (m_folder / "state").string() : options.stateDir};
    if (options.allowPrivate) {
        arguments.push_back("--allow-private");
    }
    arguments.insert(arguments.end(), options.extraArguments.begin(), options.extraArguments.end());
    const auto errorFile = m_folder / "stderr.log";
    if (!options.hosts.empty()) {
        std::ofstream(m_folder / "hosts") << options.hosts;
    }
    m_process = startServer(arguments, errorFile, options.maxOpenFiles, options.netns,
                            options.hosts.empty() ? std::string() : (m_folder / "hosts").string());
    if (!m_process) {
        return;
    }
    std::string text;
    waitForFile(errorFile, std::chrono::seconds(5), [&text](const std::string& now) {
        text = now;
        const auto listening = now.find("listening on");
        return (listening != std::string::npos && now.find('\n', listening) != std::string::npos) ||
               now.find("ferrow-server: ") != std::string::npos;
    });
    const auto at = text.find("]:", text.find("listening on"));
    if (text.find("listening on") != std::string::npos && at != std::string::npos) {
        m_port = static_cast<std::uint16_t>(std::stoi(text.substr(at + 2)));
    }
}

ServerProcess::~ServerProcess()
{
    stop();
    const auto errors = stderrText();
    for (const char* marker : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"}) {
        if (errors.find(marker) != std::string::npos) {
            ADD_FAILURE() << "ferrow-server reported a sanitizer fault:\n" << errors;
            break;
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

int ServerProcess::stop()
{
    if (!m_process) {
        return -1;
    }
    const int status = m_process->stop(SIGTERM);
    m_process.reset();
    return status;
}

std::string ServerProcess::stderrText() const
{
    return readFile(m_folder / "stderr.log");
}

std::vector<std::string> ServerProcess::linesWith(const std::string& text) const
{
    std::vector<std::string> lines;
    std::istringstream all(stderrText());
    for (std::string line; std::getline(all, line);) {
        if (line.find(text) != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

bool ServerProcess::waitForLines(const std::string& text, std::size_t count,
                                 std::chrono::milliseconds timeout) const
{
    return waitForFile(m_folder / "stderr.log", timeout,
                       [&](const std::string&) { return linesWith(text).size() >= count; });
}

std::pair<int, std::string> runServer(const std::vector<std::string>& arguments)
{
    char pattern[] = "/tmp/ferrow-server-run-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    const auto process = startServer(arguments, folder / "stderr.log");
    const int status = process ? process->waitExit(std::chrono::seconds(10)) : -1;
    if (process && status < 0) {
        process->stop(SIGKILL);
    }
    auto text = readFile(folder / "stderr.log");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return {status, text};
}

std::string newPsk()
{
    unsigned char raw[32];
    RAND_bytes(raw, sizeof raw);
    unsigned char encoded[64] = {};
    const int length = EVP_EncodeBlock(encoded, raw, sizeof raw);
    std::string text(reinterpret_cast<char*>(encoded), static_cast<std::size_t>(length));
    for (auto& c : text) {
        c = c == '+' ? '-' : (c == '/' ? '_' : c);
    }
    while (!text.empty() && text.back() == '=') {
        text.pop_back();
    }
    return text;
}

} // namespace ferrow::test
