#include "HttpFetcher.h"

#include <limits>

#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include "HttpProxyParser.h"
#include "Resolver.h"
#include "SocketMark.h"

namespace ferrow::core {

namespace beast = boost::beast;
namespace bhttp = boost::beast::http;

namespace {

struct Url {
    bool tls = false;
    std::string host;
    std::uint16_t port = 0;
    std::string target;
};

std::optional<Url> parseUrl(const std::string& text)
{
    Url url;
    const auto lower = toLower(text.substr(0, 8));
    std::size_t skip = 0;
    if (lower.rfind("https://", 0) == 0) {
        url.tls = true;
        skip = 8;
    } else if (lower.rfind("http://", 0) == 0) {
        skip = 7;
    } else {
        return std::nullopt;
    }
    const std::string rest = text.substr(skip);
    const auto end = rest.find_first_of("/?#");
    std::string authority = rest.substr(0, end);
    if (const auto at = authority.rfind('@'); at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    const auto parsed = http::parseAuthority(authority, url.tls ? 443 : 80);
    if (!parsed) {
        return std::nullopt;
    }
    url.host = parsed->host;
    url.port = parsed->port;
    url.target = end == std::string::npos ? "/" : rest.substr(end);
    if (const auto hash = url.target.find('#'); hash != std::string::npos) {
        url.target.erase(hash);
    }
    if (url.target.empty() || url.target.front() != '/') {
        url.target.insert(0, "/");
    }
    return url;
}

template <class Stream>
asio::awaitable<FetchResult> exchange(Stream& stream, const Url& url, std::size_t maxBody, FetchExtent extent)
{
    FetchResult result;
    bhttp::request<bhttp::empty_body> request{bhttp::verb::get, url.target, 11};
    const bool defaultPort = url.port == (url.tls ? 443 : 80);
    const auto hostText = url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
    request.set(bhttp::field::host, defaultPort ? hostText : hostText + ":" + std::to_string(url.port));
    request.set(bhttp::field::user_agent, "ferrow-core");
    request.set(bhttp::field::connection, "close");
    auto [writeError, written] = co_await bhttp::async_write(stream, request, useTuple);
    if (writeError) {
        result.error = writeError.message();
        co_return result;
    }
    beast::flat_buffer buffer;
    bhttp::response_parser<bhttp::string_body> parser;
    parser.body_limit(maxBody);
    if (extent == FetchExtent::HeadersOnly) {
        // The parser weighs a Content-Length against the body limit already at the header.
        parser.body_limit((std::numeric_limits<std::uint64_t>::max)());
        auto [headError, headRead] = co_await bhttp::async_read_header(stream, buffer, parser, useTuple);
        if (headError) {
            result.error = headError.message();
            co_return result;
        }
        result.status = static_cast<int>(parser.get().result_int());
        result.ok = result.status >= 200 && result.status < 400;
        if (!result.ok) {
            result.error = "HTTP status " + std::to_string(result.status);
        }
        co_return result;
    }
    auto [readError, read] = co_await bhttp::async_read(stream, buffer, parser, useTuple);
    if (readError) {
        result.error = readError == bhttp::error::body_limit
                           ? "answer larger than " + std::to_string(maxBody) + " bytes"
                           : readError.message();
        co_return result;
    }
    result.status = static_cast<int>(parser.get().result_int());
    result.body = std::move(parser.get().body());
    result.ok = result.status >= 200 && result.status < 300;
    if (!result.ok) {
        result.error = "HTTP status " + std::to_string(result.status);
    }
    co_return result;
}

} // namespace

asio::awaitable<FetchResult> httpFetch(Resolver& resolver, std::string urlText,
                                       std::chrono::milliseconds timeout, std::size_t maxBody,
                                       FetchExtent extent)
{
    FetchResult result;
    const auto url = parseUrl(urlText);
    if (!url) {
        result.error = "not an http(s) URL: " + urlText;
        co_return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto resolved = co_await resolver.resolve(url->host);
    if (resolved.addresses.empty()) {
        result.error = resolved.error.empty() ? url->host + " has no address" : resolved.error;
        co_return result;
    }
    auto executor = co_await asio::this_coro::executor;
    beast::tcp_stream stream(executor);
    std::vector<tcp::endpoint> endpoints;
    for (const auto& address : resolved.addresses) {
        endpoints.emplace_back(toAsio(address), url->port);
    }
    stream.expires_at(deadline);
    // One address at a time on a socket opened here, so it carries the tunnel's mark.
    boost::system::error_code connectError = asio::error::host_not_found;
    for (const auto& endpoint : endpoints) {
        boost::system::error_code ignored;
        stream.socket().close(ignored);
        stream.socket().open(endpoint.protocol(), connectError);
        if (!connectError && !markOutbound(stream.socket().native_handle())) {
            connectError = asio::error::access_denied;
        }
        if (connectError) {
            continue;
        }
        std::tie(connectError) = co_await stream.async_connect(endpoint, useTuple);
        if (!connectError || connectError == beast::error::timeout) {
            break;
        }
    }
    if (connectError) {
        result.error = connectError == beast::error::timeout ? "timed out" : connectError.message();
        co_return result;
    }
    if (!url->tls) {
        result = co_await exchange(stream, *url, maxBody, extent);
    } else {
        asio::ssl::context context(asio::ssl::context::tls_client);
        context.set_default_verify_paths();
        context.set_verify_mode(asio::ssl::verify_peer);
        beast::ssl_stream<beast::tcp_stream> secure(std::move(stream), context);
        if (!IpAddr::parse(url->host)) {
            SSL_set_tlsext_host_name(secure.native_handle(), url->host.c_str());
        }
        secure.set_verify_callback(asio::ssl::host_name_verification(url->host));
        auto [handshakeError] = co_await secure.async_handshake(asio::ssl::stream_base::client, useTuple);
        if (handshakeError) {
            result.error = "TLS: " + handshakeError.message();
            co_return result;
        }
        result = co_await exchange(secure, *url, maxBody, extent);
    }
    if (!result.ok && result.error == "The socket was closed due to a timeout") {
        result.error = "timed out";
    }
    co_return result;
}

} // namespace ferrow::core
