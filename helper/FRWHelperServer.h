#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <sys/types.h>

#include "FRWHelperConfig.h"
#include "FRWHelperConnectionHandler.h"

/// The helper's socket: accepts connections on a listening Unix socket, runs each on a thread of
/// its own, cuts the bytes into request lines and hands them to the service. Caps connections in
/// all and per user, and gives an untrusted peer one request and a short time to send it.
class FRWHelperServer : public std::enable_shared_from_this<FRWHelperServer> {
public:
    static std::shared_ptr<FRWHelperServer> create(const FRWHelperConfig& config,
                                                   std::shared_ptr<FRWHelperConnectionHandler> handler);
    ~FRWHelperServer();
    FRWHelperServer(const FRWHelperServer&) = delete;
    FRWHelperServer& operator=(const FRWHelperServer&) = delete;

    /// Accepts connections until `stop`.
    void serve(int listenFd);
    /// Ends `serve`, closes every connection and waits for the server's threads. Any thread may call it.
    void stop();

private:
    FRWHelperServer(const FRWHelperConfig& config, std::shared_ptr<FRWHelperConnectionHandler> handler);

    /// Counts the connection in; false when a limit refuses it.
    bool admit(int fd, uid_t user);
    void forgetConnection(int fd, uid_t user);
    void handleConnection(int fd, uid_t user);
    /// Reads and answers request lines until the peer leaves, a limit is hit or the server stops.
    void converse(int fd, const FRWHelperCaller& caller);
    void runLater(FRWHelperLaterTask task);
    void log(const std::string& line) const { m_log(line); }

    /// Runs `body` on a thread that `stop` waits for; false when stopping.
    bool spawnTracked(std::function<void()> body);

    std::shared_ptr<FRWHelperConnectionHandler> m_handler;
    std::function<void(const std::string&)> m_log;
    int m_maxConnections;
    int m_maxConnectionsPerUser;
    std::chrono::milliseconds m_untrustedIdle;

    std::mutex m_threadsLock;
    std::condition_variable m_threadsChanged;
    int m_activeThreads = 0;
    int m_openConnections = 0;
    std::map<uid_t, int> m_connectionsByUser;
    std::set<int> m_openSockets;
    bool m_stopping = false;
    int m_wake[2] = {-1, -1};
};
