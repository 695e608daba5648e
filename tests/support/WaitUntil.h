#pragma once

#include <chrono>
#include <functional>

namespace ferrow::test {

/// Asks `condition` every 20 ms until it holds or `timeout` passes; whether it held.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

} // namespace ferrow::test
