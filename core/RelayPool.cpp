#include "RelayPool.h"

namespace ferrow::core {

RelayPool::~RelayPool()
{
    join();
}

void RelayPool::start(unsigned threads)
{
    for (unsigned i = 0; i < threads; ++i) {
        auto context = std::make_unique<asio::io_context>(1);
        m_guards.push_back(asio::make_work_guard(*context));
        m_threads.emplace_back([raw = context.get()] { raw->run(); });
        m_contexts.push_back(std::move(context));
    }
}

asio::any_io_executor RelayPool::next()
{
    if (m_contexts.empty()) {
        return m_fallback;
    }
    return m_contexts[m_next++ % m_contexts.size()]->get_executor();
}

void RelayPool::stop()
{
    m_guards.clear();
    for (auto& context : m_contexts) {
        context->stop();
    }
}

void RelayPool::join()
{
    stop();
    for (auto& thread : m_threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

} // namespace ferrow::core
