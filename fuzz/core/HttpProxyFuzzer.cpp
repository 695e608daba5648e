#include <cstddef>
#include <cstdint>
#include <string_view>

#include "HttpProxyParser.h"
#include "NetAddress.h"

using namespace ferrow::core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto request = http::parseRequestHead(bytes);
    if (request.status == ParseStatus::Good) {
        if (request.length > size || request.method.empty() || request.target.empty()) {
            __builtin_trap();
        }
        const auto target = request.method == "CONNECT" ? http::parseAuthority(request.target, 0)
                                                        : http::parseAbsoluteUrl(request.target);
        if (target) {
            if (target->host.empty() || target->port == 0 || target->originForm.empty() ||
                target->originForm.front() != '/') {
                __builtin_trap();
            }
            // A host is a reg-name or the inside of a bracketed IPv6 literal.
            const auto literal = IpAddr::parse(target->host);
            if (!isRegName(target->host) && !(literal && literal->v6)) {
                __builtin_trap();
            }
            const auto forwarded = http::forwardedRequestHead(request, *target);
            if (http::parseRequestHead(forwarded, http::kMaxHeaderCount).status != ParseStatus::Good) {
                __builtin_trap(); // what we send upstream must itself parse
            }
        }
        if (auto framer = http::requestBody(request)) {
            const auto body = bytes.substr(request.length);
            if (framer->feed(body) > body.size()) {
                __builtin_trap();
            }
        }
        http::keepsAlive(request);
    }
    const auto response = http::parseResponseHead(bytes);
    if (response.status == ParseStatus::Good) {
        if (auto framer = http::responseBody(response, "GET")) {
            // Fed in two pieces, the framer must agree with one piece.
            auto whole = *framer;
            auto split = *framer;
            const auto body = bytes.substr(response.length);
            const auto half = body.size() / 2;
            const auto first = split.feed(body.substr(0, half));
            std::size_t second = 0;
            if (first == half) {
                second = split.feed(body.substr(half));
            }
            const auto all = whole.feed(body);
            if (!whole.bad() && !split.bad() && first == half && first + second != all) {
                __builtin_trap();
            }
        }
        http::forwardedResponseHead(response, true);
    }
    return 0;
}
