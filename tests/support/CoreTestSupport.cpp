#include "CoreTestSupport.h"

#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace ferrow::test {

namespace {

using Clock = std::chrono::steady_clock;

std::string readWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::unique_ptr<ChildProcess> startCore(const std::vector<std::string>& arguments, const std::string& secret,
                                        const std::filesystem::path& stderrPath)
{
    std::vector<std::string> argv = {FERROW_CORE_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ChildProcess::Options options;
    options.output = ChildStream::null();
    options.error = ChildStream::file(stderrPath, 0644);
    options.environment = {"FERROW_API_SECRET=" + secret};
    auto process = std::make_unique<ChildProcess>(argv, std::move(options));
    return process->started() ? std::move(process) : nullptr;
}

} // namespace

std::pair<int, std::string> runCore(const std::vector<std::string>& arguments,
                                    std::chrono::milliseconds timeout)
{
    const auto stderrPath =
        std::filesystem::temp_directory_path() / ("ferrow-core-run-" + std::to_string(::getpid()));
    const auto process = startCore(arguments, "", stderrPath);
    const int status = process ? process->waitExit(timeout) : -1;
    if (process && status < 0) {
        process->stop(SIGKILL, std::chrono::seconds(2));
    }
    const auto text = readWholeFile(stderrPath);
    std::filesystem::remove(stderrPath);
    return {status, text};
}

CoreProcess::CoreProcess(Options options) : m_secret(options.secret)
{
    if (options.folder.empty()) {
        char pattern[] = "/tmp/ferrow-core-test-XXXXXX";
        m_folder = ::mkdtemp(pattern);
        m_ownFolder = true;
    } else {
        m_folder = options.folder;
    }
    writeProfile(options.profile);
    std::filesystem::remove(apiInfoPath());
    std::vector<std::string> arguments = {"-config",
                                          configPath().string(),
                                          "-no-tun",
                                          "-api",
                                          "127.0.0.1:0",
                                          "-api-info",
                                          apiInfoPath().string(),
                                          "-stats",
                                          statsPath().string()};
    if (options.socks) {
        m_socksPort = freePort();
        arguments.push_back("-socks");
        arguments.push_back("127.0.0.1:" + std::to_string(m_socksPort));
    }
    arguments.insert(arguments.end(), options.extraArguments.begin(), options.extraArguments.end());
    // Woken by the folder's changes, so a test sees the file the moment it is renamed in place.
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch >= 0) {
        ::inotify_add_watch(watch, m_folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    }
    m_process = startCore(arguments, m_secret, m_folder / "stderr.log");
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (m_process && Clock::now() < deadline) {
        const auto text = readWholeFile(apiInfoPath());
        const auto info = nlohmann::json::parse(text, nullptr, false);
        if (info.is_object() && info.contains("address") && info["address"].is_string()) {
            if (options.whenApiInfoAppears) {
                options.whenApiInfoAppears();
            }
            m_apiAddress = info["address"].get<std::string>();
            m_started = true;
            break;
        }
        if (m_process->waitStatus(std::chrono::milliseconds(0))) {
            m_process.reset();
            break;
        }
        if (watch >= 0) {
            waitReadable(watch, std::chrono::milliseconds(50));
            char events[4096];
            while (::read(watch, events, sizeof events) > 0) {
            }
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (watch >= 0) {
        ::close(watch);
    }
}

CoreProcess::~CoreProcess()
{
    if (m_process) {
        m_process->stop(SIGTERM);
        m_process.reset();
    }
    // In sanitizer builds the core reports memory and undefined-behaviour faults on its stderr.
    const auto errors = stderrText();
    for (const char* marker :
         {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "WARNING: ThreadSanitizer", "runtime error:"}) {
        if (errors.find(marker) != std::string::npos) {
            ADD_FAILURE() << "ferrow-core reported a sanitizer fault:\n" << errors;
            break;
        }
    }
    if (m_ownFolder) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
}

int CoreProcess::pid() const
{
    return m_process ? m_process->pid() : -1;
}

std::uint16_t CoreProcess::apiPort() const
{
    return static_cast<std::uint16_t>(std::stoi(m_apiAddress.substr(m_apiAddress.rfind(':') + 1)));
}

void CoreProcess::writeProfile(const std::string& profile)
{
    const auto temporary = configPath().string() + ".tmp";
    std::ofstream(temporary, std::ios::binary | std::ios::trunc) << profile;
    std::filesystem::rename(temporary, configPath());
}

HttpReply CoreProcess::request(const std::string& method, const std::string& target, const std::string& body,
                               std::vector<std::string> headers, bool authorise, std::string host)
{
    Socket socket(apiPort());
    std::string text =
        method + " " + target + " HTTP/1.1\r\nHost: " + (host.empty() ? m_apiAddress : host) + "\r\n";
    if (authorise && !m_secret.empty()) {
        text += "Authorization: Bearer " + m_secret + "\r\n";
    }
    for (const auto& header : headers) {
        text += header + "\r\n";
    }
    text += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    socket.send(text);
    auto reply = readHttpReply(socket);
    return reply ? *reply : HttpReply{};
}

nlohmann::json CoreProcess::get(const std::string& target)
{
    return nlohmann::json::parse(request("GET", target).body, nullptr, false);
}

nlohmann::json CoreProcess::post(const std::string& target, const std::string& body)
{
    return nlohmann::json::parse(request("POST", target, body, {"Content-Type: application/json"}).body,
                                 nullptr, false);
}

int CoreProcess::terminate(int signal, std::chrono::milliseconds timeout)
{
    if (!m_process) {
        return -1;
    }
    ::kill(m_process->pid(), signal);
    return waitForExit(timeout);
}

int CoreProcess::waitForExit(std::chrono::milliseconds timeout)
{
    const int status = m_process ? m_process->waitExit(timeout) : -1;
    if (status >= 0) {
        m_process.reset();
    }
    return status;
}

std::string CoreProcess::stderrText() const
{
    return readWholeFile(m_folder / "stderr.log");
}

bool CoreProcess::logContains(const std::string& text)
{
    const auto logs = get("/logs?cursor=-1");
    if (!logs.is_object()) {
        return false;
    }
    for (const auto& line : logs["lines"]) {
        if (line.get<std::string>().find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

IdleCut keepBusyUntilIdleCut(Socket& idle, Socket& busy, std::chrono::seconds limit)
{
    IdleCut outcome;
    const auto started = std::chrono::steady_clock::now();
    while (!outcome.cut && std::chrono::steady_clock::now() - started < limit) {
        if (!busy.send("tick") || busy.receiveExactly(4) != "tick") {
            outcome.busyKept = false;
            break;
        }
        outcome.cut = idle.peerClosed(std::chrono::milliseconds(250));
    }
    outcome.after =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    return outcome;
}

} // namespace ferrow::test
