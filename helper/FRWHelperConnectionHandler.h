#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "FRWCodeCheck.h"

/// Who is on the other end of a connection, as the service judged it when the connection opened.
struct FRWHelperCaller {
    /// None for a peer that is not the application: it gets one request and a short time to send it.
    std::optional<FRWPeer> peer;
    /// Why the peer is not trusted, for the log.
    std::string untrustedWhy;
};

/// Work the server runs on a thread of its own after `delay`, unless it stops first.
struct FRWHelperLaterTask {
    std::chrono::milliseconds delay{0};
    std::function<void()> run;
};

/// What the helper's socket server asks of the service behind it. Every call comes on the
/// thread of the connection concerned, several connections at once.
class FRWHelperConnectionHandler {
public:
    virtual ~FRWHelperConnectionHandler() = default;

    virtual FRWHelperCaller connectionOpened(int fd) = 0;
    /// The reply to one request line; none closes the connection.
    virtual std::optional<std::string> answer(const std::string& line, const FRWHelperCaller& caller) = 0;
    /// A trusted caller's connection closed.
    virtual std::optional<FRWHelperLaterTask> trustedCallerLeft() = 0;
};
