#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include "AsioSupport.h"

namespace ferrow::core {

/// An io_context whose pending handlers can be destroyed before the context itself. Handlers of
/// the main loop and of the lanes hold on to each other's loops (a lane waits for an answer from
/// the main thread, and the other way round), so all of them must go before any loop does.
class CoreContext : public asio::io_context {
public:
    using io_context::io_context;
    /// Destroys every handler still pending; the context stays usable for others' references.
    void dropPending() { shutdown(); }
};

/// Threads beside the main one, each with its own io_context. A proxy client is served on one
/// lane from accept to close, so connections use every core and never change threads; tunnels
/// that begin on the main thread (the tunnel device's) are relayed on a lane in turn.
class Lanes {
public:
    /// Without threads, everything runs on `main`.
    explicit Lanes(asio::any_io_executor main) : m_main(std::move(main)) {}
    /// Ends and joins the threads.
    ~Lanes();
    Lanes(const Lanes&) = delete;
    Lanes& operator=(const Lanes&) = delete;

    void start(unsigned threads);
    /// The lanes' executors; the main executor alone when no threads run.
    std::vector<asio::any_io_executor> executors() const;
    /// Where the next tunnel handed over from the main thread is relayed. Any thread.
    asio::any_io_executor next();
    /// Runs `work` on every lane thread, with the lane's place in `executors()`, and waits until
    /// each has; inline when the threads are not running. For changes to objects the lanes own (a
    /// listener), which only their thread may touch.
    void runOnEach(const std::function<void(std::size_t lane)>& work);
    /// Stops every thread's loop; outstanding work ends with it.
    void stop();
    /// Stops and waits for the threads: afterwards nothing runs on a lane.
    void join();
    /// After join: destroys the handlers still pending on the lanes.
    void dropPending();

private:
    asio::any_io_executor m_main;
    std::vector<std::unique_ptr<CoreContext>> m_contexts;
    std::vector<asio::executor_work_guard<asio::io_context::executor_type>> m_guards;
    std::vector<std::thread> m_threads;
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_running{false};
};

} // namespace ferrow::core
