#include "AcceptNext.h"

#include <cerrno>

#include <boost/asio/steady_timer.hpp>

namespace ferrow::core {

asio::awaitable<std::optional<tcp::socket>>
acceptNext(tcp::acceptor& acceptor, std::chrono::milliseconds pause,
           const std::function<void(const boost::system::error_code&)>& shortage, tcp::endpoint* peer)
{
    tcp::endpoint ignored;
    auto& from = peer ? *peer : ignored;
    while (acceptor.is_open()) {
        auto [error, socket] = co_await acceptor.async_accept(from, useTuple);
        if (!error) {
            co_return std::move(socket);
        }
        if (error == asio::error::operation_aborted || !acceptor.is_open()) {
            break;
        }
        if (error == asio::error::no_descriptors || error.value() == ENFILE ||
            error == asio::error::no_buffer_space || error == asio::error::no_memory) {
            if (shortage) {
                shortage(error);
            }
            asio::steady_timer wait(acceptor.get_executor(), pause);
            co_await wait.async_wait(useTuple);
        }
    }
    co_return std::nullopt;
}

} // namespace ferrow::core
