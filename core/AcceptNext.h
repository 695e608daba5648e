#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include <boost/system/error_code.hpp>

#include "AsioSupport.h"

namespace ferrow::core {

/// The next connection on `acceptor`, or nothing once it is closed. Running out of descriptors,
/// buffers or memory pauses for `pause` before the next try: retrying at once would spin with the
/// connection still in the backlog. `shortage`, when given, hears of each such failure; any
/// other failure loses that one client and the next is accepted. `peer`, when given, receives the
/// client's address as the accept returned it.
asio::awaitable<std::optional<tcp::socket>>
acceptNext(tcp::acceptor& acceptor, std::chrono::milliseconds pause,
           const std::function<void(const boost::system::error_code&)>& shortage = {},
           tcp::endpoint* peer = nullptr);

} // namespace ferrow::core
