#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ferrow::test {

/// One request as the server received it. Header names are lower-cased.
struct RecordedRequest {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers;
    std::string body;

    bool hasHeader(const std::string& lowerName) const { return headers.count(lowerName) != 0; }
    std::string header(const std::string& lowerName) const;
};

/// A small HTTP/1.1 origin on 127.0.0.1 that records every request and answers each with a
/// fixed response. Accepts on its own thread and serves each connection on one of its own; one
/// request per connection.
class LoopbackHttpServer {
public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    std::uint16_t port() const { return m_port; }
    /// "127.0.0.1:<port>"
    std::string address() const;

    void setResponse(int status, std::string body, std::string contentType = "application/json");
    /// An answer for requests whose target begins with `targetPrefix`, instead of the default one.
    void setResponseFor(const std::string& targetPrefix, int status, std::string body);

    std::vector<RecordedRequest> requests() const;
    std::size_t requestCount() const;
    /// Blocks until at least `count` requests arrived or the time is up; true when they did.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    void serve();
    void handle(int client);

    int m_listener = -1;
    int m_wakePipe[2] = {-1, -1};
    std::uint16_t m_port = 0;
    std::thread m_thread;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Worker> m_workers; // only touched by m_thread until it has ended

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    std::vector<RecordedRequest> m_requests;
    struct Response {
        int status;
        std::string body;
    };
    std::map<std::string, Response> m_responsesByPrefix;
    int m_status = 200;
    std::string m_body = "{}";
    std::string m_contentType = "application/json";
};

} // namespace ferrow::test
