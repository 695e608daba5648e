#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ApiTypes.h"
#include "AsioSupport.h"

namespace ferrow::core {

/// The controller API's HTTP server on loopback: checks the Host header, the bearer secret and
/// the size limits, then hands the request to the core.
class ControlServer {
public:
    using Handler = std::function<asio::awaitable<ApiResponse>(ApiRequest)>;
    using Logger = std::function<void(const std::string& warning)>;

    ControlServer(asio::any_io_executor executor, std::string secret, Handler handler, Logger log = {});
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    bool listen(const std::string& address, std::string* error);
    void close();
    /// "127.0.0.1:<port>" once listening.
    std::string address() const { return m_address; }

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::string m_address;
};

} // namespace ferrow::core
