#include "Lanes.h"

#include <cstdio>
#include <exception>
#include <future>

#include <boost/asio/post.hpp>

namespace ferrow::core {

Lanes::~Lanes()
{
    join();
}

void Lanes::start(unsigned threads)
{
    for (unsigned i = 0; i < threads; ++i) {
        auto context = std::make_unique<CoreContext>(1);
        m_guards.push_back(asio::make_work_guard(*context));
        m_threads.emplace_back([raw = context.get()] {
            // A handler that throws ends only itself: the lane goes on serving its clients.
            while (true) {
                try {
                    raw->run();
                    return;
                } catch (const std::exception& error) {
                    std::fprintf(stderr, "ferrow-core: a lane's handler failed: %s\n", error.what());
                }
            }
        });
        m_contexts.push_back(std::move(context));
    }
    m_running = !m_contexts.empty();
}

std::vector<asio::any_io_executor> Lanes::executors() const
{
    if (m_contexts.empty()) {
        return {m_main};
    }
    std::vector<asio::any_io_executor> executors;
    for (const auto& context : m_contexts) {
        executors.emplace_back(context->get_executor());
    }
    return executors;
}

asio::any_io_executor Lanes::next()
{
    if (m_contexts.empty()) {
        return m_main;
    }
    return m_contexts[m_next.fetch_add(1, std::memory_order_relaxed) % m_contexts.size()]->get_executor();
}

void Lanes::runOnEach(const std::function<void(std::size_t lane)>& work)
{
    if (!m_running) {
        const auto count = executors().size();
        for (std::size_t lane = 0; lane < count; ++lane) {
            work(lane);
        }
        return;
    }
    // Lanes never wait for the main thread, so waiting for them here cannot deadlock.
    std::vector<std::future<void>> done;
    for (std::size_t lane = 0; lane < m_contexts.size(); ++lane) {
        auto finished = std::make_shared<std::promise<void>>();
        done.push_back(finished->get_future());
        asio::post(*m_contexts[lane], [&work, finished, lane] {
            work(lane);
            finished->set_value();
        });
    }
    for (auto& one : done) {
        one.wait();
    }
}

void Lanes::stop()
{
    m_running = false;
    m_guards.clear();
    for (auto& context : m_contexts) {
        context->stop();
    }
}

void Lanes::join()
{
    stop();
    for (auto& thread : m_threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

void Lanes::dropPending()
{
    join();
    for (auto& context : m_contexts) {
        context->dropPending();
    }
}

} // namespace ferrow::core
