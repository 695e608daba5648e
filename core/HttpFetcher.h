#pragma once

#include "AsioSupport.h"

#include <chrono>
#include <string>

namespace ferrow::core {

class Resolver;

struct FetchResult {
    bool ok = false; // a 2xx answer arrived in full
    int status = 0;
    std::string body;
    std::string error;
};

/// One GET over a direct connection, http or https (certificate and host name verified), with
/// an overall time limit and a body size limit.
asio::awaitable<FetchResult> httpFetch(Resolver& resolver, std::string url, std::chrono::milliseconds timeout,
                                       std::size_t maxBody);

} // namespace ferrow::core
