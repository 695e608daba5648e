#pragma once

#include <string>
#include <utility>

namespace ferrow::proto {

/// Two connected TCP sockets on 127.0.0.1 (non-blocking, close-on-exec), or {-1, -1} with `error`
/// set. A ferrow stream is handed to the proxy session as one end of such a pair, so that the
/// session's relay, HTTP forwarding and counters work as for a direct connection, and so that a
/// cut stream reaches the session as a reset (a Unix socket pair could only show an end of file).
std::pair<int, int> makeLoopbackPair(std::string& error);

} // namespace ferrow::proto
