#pragma once

#include <memory>
#include <thread>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include "AsioSupport.h"

namespace ferrow::core {

/// Threads that relay established tunnels beside the one that accepts, routes and answers the
/// controller, so relaying does not queue behind new connections. Each thread runs its own
/// io_context; tunnels are spread over them in turn.
class RelayPool {
public:
    /// Without threads, everything is relayed on `fallback`.
    explicit RelayPool(asio::any_io_executor fallback) : m_fallback(std::move(fallback)) {}
    /// Ends and joins the threads.
    ~RelayPool();
    RelayPool(const RelayPool&) = delete;
    RelayPool& operator=(const RelayPool&) = delete;

    void start(unsigned threads);
    /// Where the next tunnel is relayed.
    asio::any_io_executor next();
    /// Stops every thread's loop; outstanding relays end with it.
    void stop();
    /// Stops and waits for the threads: afterwards no relay touches anything of its owner.
    void join();

private:
    asio::any_io_executor m_fallback;
    std::vector<std::unique_ptr<asio::io_context>> m_contexts;
    std::vector<asio::executor_work_guard<asio::io_context::executor_type>> m_guards;
    std::vector<std::thread> m_threads;
    std::size_t m_next = 0;
};

} // namespace ferrow::core
