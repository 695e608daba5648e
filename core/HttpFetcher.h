#pragma once

#include <chrono>
#include <string>

#include "AsioSupport.h"

namespace ferrow::core {

class Resolver;

struct FetchResult {
    bool ok = false; // a 2xx answer arrived in full
    int status = 0;
    std::string body;
    std::string error;
};

/// Whether to read the whole answer or stop after its status line and headers.
enum class FetchExtent { Whole, HeadersOnly };

/// One GET over a direct connection, http or https (certificate and host name verified), with
/// an overall time limit and a body size limit. With HeadersOnly the body is never read (a
/// delay test measures to the answer's head, whatever the page's size).
asio::awaitable<FetchResult> httpFetch(Resolver& resolver, std::string url, std::chrono::milliseconds timeout,
                                       std::size_t maxBody, FetchExtent extent = FetchExtent::Whole);

} // namespace ferrow::core
