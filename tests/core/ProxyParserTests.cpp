#include <cstring>

#include <gtest/gtest.h>

#include "DnsMessage.h"
#include "HttpProxyParser.h"
#include "NetAddress.h"
#include "Socks5Parser.h"

using namespace ferrow::core;

TEST(Socks5Parser, Greeting)
{
    EXPECT_EQ(socks5::parseGreeting("").status, ParseStatus::NeedMore);
    EXPECT_EQ(socks5::parseGreeting("\x05").status, ParseStatus::NeedMore);
    EXPECT_EQ(socks5::parseGreeting(std::string("\x05\x02\x00", 3)).status, ParseStatus::NeedMore);
    const auto good = socks5::parseGreeting(std::string("\x05\x02\x02\x00", 4));
    EXPECT_EQ(good.status, ParseStatus::Good);
    EXPECT_TRUE(good.offersNoAuthentication);
    EXPECT_EQ(good.consumed, 4u);
    EXPECT_FALSE(socks5::parseGreeting(std::string("\x05\x01\x02", 3)).offersNoAuthentication);
    EXPECT_EQ(socks5::parseGreeting(std::string("\x04\x01\x00", 3)).status, ParseStatus::Bad);
    EXPECT_EQ(socks5::parseGreeting(std::string("\x05\x00", 2)).status, ParseStatus::Bad);
}

TEST(Socks5Parser, RequestAddressTypes)
{
    const auto v4 = socks5::parseRequest(std::string("\x05\x01\x00\x01\x7f\x00\x00\x01\x1f\x90+", 11));
    ASSERT_EQ(v4.status, ParseStatus::Good);
    EXPECT_EQ(v4.host, "127.0.0.1");
    EXPECT_TRUE(v4.hostIsAddress);
    EXPECT_EQ(v4.port, 8080);
    EXPECT_EQ(v4.consumed, 10u) << "trailing bytes are left for the tunnel";
    const auto name = socks5::parseRequest(std::string("\x05\x01\x00\x03\x0b"
                                                       "example.com"
                                                       "\x01\xbb",
                                                       18));
    ASSERT_EQ(name.status, ParseStatus::Good);
    EXPECT_EQ(name.host, "example.com");
    EXPECT_FALSE(name.hostIsAddress);
    EXPECT_EQ(name.port, 443);
    std::string v6Bytes("\x05\x01\x00\x04", 4);
    v6Bytes += std::string(15, '\0') + '\x01' + std::string("\x00\x35", 2);
    const auto v6 = socks5::parseRequest(v6Bytes);
    ASSERT_EQ(v6.status, ParseStatus::Good);
    EXPECT_EQ(v6.host, "::1");
    EXPECT_EQ(v6.port, 53);
    for (std::size_t cut = 0; cut < v6Bytes.size(); ++cut) {
        EXPECT_EQ(socks5::parseRequest(v6Bytes.substr(0, cut)).status, ParseStatus::NeedMore) << cut;
    }
    const auto udp = socks5::parseRequest(std::string("\x05\x03\x00\x01\x00\x00\x00\x00\x00\x00", 10));
    EXPECT_EQ(udp.status, ParseStatus::Good);
    EXPECT_EQ(udp.command, socks5::kCommandUdpAssociate);
    const auto badType = socks5::parseRequest(std::string("\x05\x01\x00\x05\x00", 5));
    EXPECT_EQ(badType.status, ParseStatus::Bad);
    EXPECT_EQ(badType.failure, socks5::AddressTypeNotSupported);
    EXPECT_EQ(socks5::parseRequest(std::string("\x05\x01\x01\x01", 4)).status, ParseStatus::Bad);
    EXPECT_EQ(socks5::parseRequest(std::string("\x05\x01\x00\x03\x00\x00\x50", 7)).status, ParseStatus::Bad);
    EXPECT_EQ(socks5::parseRequest(std::string("\x05\x01\x00\x03\x03"
                                               "a b"
                                               "\x00\x50",
                                               10))
                  .status,
              ParseStatus::Bad);
    for (const char* name : {"a[b", "x]", "a:b", "a@b"}) {
        std::string bytes("\x05\x01\x00\x03", 4);
        bytes += static_cast<char>(std::strlen(name));
        bytes += name;
        bytes += std::string("\x00\x50", 2);
        EXPECT_EQ(socks5::parseRequest(bytes).status, ParseStatus::Bad) << name;
    }
    EXPECT_EQ(socks5::reply(socks5::CommandNotSupported), std::string("\x05\x07\x00\x01\0\0\0\0\0\0", 10));
}

TEST(Socks5Parser, UdpDatagramHeaders)
{
    const std::string v4("\0\0\0\x01\x7f\0\0\x01\0\x35payload", 17);
    const auto header = socks5::parseUdpHeader(v4);
    ASSERT_EQ(header.status, ParseStatus::Good);
    EXPECT_EQ(header.host, "127.0.0.1");
    EXPECT_EQ(header.port, 53);
    EXPECT_EQ(v4.substr(header.payloadOffset), "payload");
    EXPECT_EQ(socks5::udpHeader(header.host, true, header.port), v4.substr(0, 10));
    // An empty payload is a datagram too; every cut of the header is not.
    EXPECT_EQ(socks5::parseUdpHeader(v4.substr(0, 10)).status, ParseStatus::Good);
    for (std::size_t cut = 0; cut < 10; ++cut) {
        EXPECT_EQ(socks5::parseUdpHeader(v4.substr(0, cut)).status, ParseStatus::Bad) << cut;
    }
    const std::string named = socks5::udpHeader("Example.test", false, 443);
    const auto name = socks5::parseUdpHeader(named + "x");
    ASSERT_EQ(name.status, ParseStatus::Good);
    EXPECT_EQ(name.host, "Example.test");
    EXPECT_FALSE(name.hostIsAddress);
    EXPECT_EQ(name.port, 443);
    // A mapped address is answered as it was written; the bound address of a reply is folded.
    const auto mapped = socks5::parseUdpHeader(socks5::udpHeader("::ffff:10.0.0.1", true, 7));
    EXPECT_EQ(mapped.host, "::ffff:10.0.0.1");
    EXPECT_EQ(socks5::reply(socks5::Succeeded, *IpAddr::parse("::ffff:127.0.0.1"), 0x1234),
              std::string("\x05\0\0\x01\x7f\0\0\x01\x12\x34", 10));
    EXPECT_EQ(socks5::udpHeader(std::string(256, 'a'), false, 1), "");

    auto fragment = v4;
    fragment[2] = '\x01';
    EXPECT_EQ(socks5::parseUdpHeader(fragment).fragment, 1);
    auto reserved = v4;
    reserved[1] = '\x01';
    EXPECT_EQ(socks5::parseUdpHeader(reserved).status, ParseStatus::Bad);
    EXPECT_EQ(socks5::parseUdpHeader(std::string("\0\0\0\x05\x7f\0\0\x01\0\x35", 10)).status,
              ParseStatus::Bad);
    EXPECT_EQ(socks5::parseUdpHeader(std::string("\0\0\0\x03\0\0\x35", 7)).status, ParseStatus::Bad);
    EXPECT_EQ(socks5::parseUdpHeader(std::string("\0\0\0\x03\x03"
                                                 "a:b\0\x35",
                                                 10))
                  .status,
              ParseStatus::Bad);
}

TEST(HttpProxyParser, RequestHead)
{
    const std::string text = "GET http://example.com:8080/a?b=c HTTP/1.1\r\nHost: example.com\r\n"
                             "Proxy-Connection: Keep-Alive\r\nX-A:  spaced  \r\n\r\nBODY";
    const auto head = http::parseRequestHead(text);
    ASSERT_EQ(head.status, ParseStatus::Good) << head.error;
    EXPECT_EQ(head.method, "GET");
    EXPECT_EQ(head.target, "http://example.com:8080/a?b=c");
    EXPECT_EQ(head.minorVersion, 1);
    EXPECT_EQ(head.length, text.size() - 4);
    EXPECT_EQ(*head.header("x-a"), "spaced");
    EXPECT_TRUE(head.headerHasToken("proxy-connection", "keep-alive"));
    for (std::size_t cut = 0; cut + 4 < text.size(); ++cut) {
        const auto partial = http::parseRequestHead(std::string_view(text).substr(0, cut));
        EXPECT_NE(partial.status, ParseStatus::Good) << cut;
    }
    for (const char* bad :
         {"GET\r\n\r\n", "GET  HTTP/1.1\r\n\r\n", "GET / HTTP/2\r\n\r\n", "G@T / HTTP/1.1\r\n\r\n",
          "GET / HTTP/1.1\r\nNo colon\r\n\r\n", "GET / HTTP/1.1\r\n: empty\r\n\r\n",
          "GET / HTTP/1.1\r\nA\rB: c\r\n\r\n", "GET / HTTP/1.1\n\n"}) {
        EXPECT_EQ(http::parseRequestHead(bad).status, ParseStatus::Bad) << bad;
    }
    EXPECT_EQ(http::parseRequestHead(std::string(70000, 'a')).status, ParseStatus::Bad);
    // A request may not use up the header limit: its forwarded head adds Host and Connection.
    std::string many = "GET http://h/ HTTP/1.0\r\n";
    for (std::size_t i = 0; i < http::kMaxHeaderCount - 2; ++i) {
        many += "X-" + std::to_string(i) + ": v\r\n";
    }
    const auto full = http::parseRequestHead(many + "\r\n");
    ASSERT_EQ(full.status, ParseStatus::Good);
    const auto forwarded = http::forwardedRequestHead(full, *http::parseAbsoluteUrl(full.target));
    EXPECT_EQ(http::parseRequestHead(forwarded, http::kMaxHeaderCount).status, ParseStatus::Good);
    EXPECT_EQ(http::parseRequestHead(many + "X-more: v\r\n\r\n").status, ParseStatus::Bad);
}

TEST(HttpProxyParser, Targets)
{
    const auto url = http::parseAbsoluteUrl("http://user:pw@Example.com:8080/path?q#frag");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, "Example.com");
    EXPECT_EQ(url->port, 8080);
    EXPECT_EQ(url->originForm, "/path?q");
    EXPECT_EQ(http::parseAbsoluteUrl("HTTP://h")->originForm, "/");
    EXPECT_EQ(http::parseAbsoluteUrl("http://h?x=1")->originForm, "/?x=1");
    EXPECT_EQ(http::parseAbsoluteUrl("http://[::1]:81/")->host, "::1");
    EXPECT_FALSE(http::parseAbsoluteUrl("https://h/"));
    EXPECT_FALSE(http::parseAbsoluteUrl("/relative"));
    EXPECT_FALSE(http::parseAbsoluteUrl("http://h:0/"));
    EXPECT_FALSE(http::parseAbsoluteUrl("http://:80/"));
    EXPECT_EQ(http::parseAuthority("h:443", 1)->port, 443);
    EXPECT_EQ(http::parseAuthority("[2001:db8::1]:443", 1)->host, "2001:db8::1");
    EXPECT_FALSE(http::parseAuthority("[nonsense]:443", 1));
    EXPECT_FALSE(http::parseAuthority("h:99999", 1));
    EXPECT_FALSE(http::parseAuthority("h/x:1", 1));
    // Hosts are reg-names or bracketed literals, nothing else.
    for (const char* bad : {"MMM[:298", "a]b:1", "a b:1", "[v1.x]:1", "h\x01:1", "%zz:1", "a\"b:1"}) {
        EXPECT_FALSE(http::parseAuthority(bad, 1)) << bad;
    }
    EXPECT_EQ(http::parseAuthority("xn--bcher-kva.example:1", 1)->host, "xn--bcher-kva.example");
    EXPECT_EQ(http::parseAuthority("a%41_b~c:1", 1)->host, "a%41_b~c");
}

TEST(HttpProxyParser, ChunkedFramingByteByByte)
{
    const std::string body = "4;ext=1\r\nWiki\r\n5\r\npedia\r\n0\r\nTrailer: x\r\n\r\n";
    auto framer = http::BodyFramer::chunked();
    std::size_t consumed = 0;
    for (char c : body + "NEXT") {
        consumed += framer.feed(std::string_view(&c, 1));
        ASSERT_FALSE(framer.bad());
    }
    EXPECT_TRUE(framer.done());
    EXPECT_EQ(consumed, body.size()) << "the next message is not swallowed";
    for (const char* bad : {"z\r\n", "4\r\nWikiXX", "\r\n", "4\n", "fffffffffffffffff\r\n"}) {
        auto broken = http::BodyFramer::chunked();
        broken.feed(bad);
        EXPECT_TRUE(broken.bad()) << bad;
    }
    auto length = http::BodyFramer::length(3);
    EXPECT_EQ(length.feed("abcdef"), 3u);
    EXPECT_TRUE(length.done());
}

TEST(HttpProxyParser, FramingDecisionsAndForwardedHeads)
{
    auto request =
        http::parseRequestHead("POST http://h/ HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\n");
    EXPECT_EQ(http::requestBody(request)->mode(), http::BodyFramer::Mode::Length);
    request =
        http::parseRequestHead("POST http://h/ HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n");
    EXPECT_FALSE(http::requestBody(request));
    request = http::parseRequestHead("POST http://h/ HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n");
    EXPECT_FALSE(http::requestBody(request));
    // Framings an origin could read differently from us are refused, not forwarded.
    for (const char* ambiguous :
         {"Transfer-Encoding: gzip, chunked\r\n", "Transfer-Encoding: chunked, chunked\r\n",
          "Transfer-Encoding: chunked\r\nContent-Length: 5\r\n",
          "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n",
          "Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n"}) {
        request = http::parseRequestHead(std::string("POST http://h/ HTTP/1.1\r\n") + ambiguous + "\r\n");
        EXPECT_FALSE(http::requestBody(request)) << ambiguous;
    }
    request = http::parseRequestHead("POST http://h/ HTTP/1.1\r\nTransfer-Encoding: Chunked\r\n\r\n");
    EXPECT_EQ(http::requestBody(request)->mode(), http::BodyFramer::Mode::Chunked);
    EXPECT_EQ(http::hostHeaderProblem(http::parseRequestHead("GET http://h/ HTTP/1.1\r\nHost: h:80\r\n\r\n")),
              "");
    EXPECT_NE(http::hostHeaderProblem(
                  http::parseRequestHead("GET http://h/ HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n")),
              "");
    EXPECT_NE(http::hostHeaderProblem(http::parseRequestHead("GET http://h/ HTTP/1.1\r\nHost: MMM[\r\n\r\n")),
              "");
    EXPECT_EQ(http::requestBody(http::parseRequestHead("GET http://h/ HTTP/1.1\r\n\r\n"))->mode(),
              http::BodyFramer::Mode::None);

    const auto response = http::parseResponseHead("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
    ASSERT_EQ(response.status, ParseStatus::Good);
    EXPECT_EQ(http::responseBody(response, "GET")->mode(), http::BodyFramer::Mode::UntilClose);
    EXPECT_EQ(http::responseBody(response, "HEAD")->mode(), http::BodyFramer::Mode::None);
    EXPECT_FALSE(http::keepsAlive(response));
    EXPECT_EQ(http::parseResponseHead("HTTP/1.1 99 x\r\n\r\n").status, ParseStatus::Bad);
    EXPECT_EQ(http::parseResponseHead("HTTP/1.1 204\r\n\r\n").statusCode, 204);
    EXPECT_FALSE(http::keepsAlive(http::parseRequestHead("GET http://h/ HTTP/1.0\r\n\r\n")));
    EXPECT_TRUE(
        http::keepsAlive(http::parseRequestHead("GET http://h/ HTTP/1.0\r\nConnection: keep-alive\r\n\r\n")));

    const auto head =
        http::parseRequestHead("GET http://h:8080/x HTTP/1.1\r\nProxy-Authorization: a\r\n"
                               "Connection: close, X-Hop\r\nX-Hop: 1\r\nKeep-Alive: 5\r\nX-End: 2\r\n\r\n");
    const auto forwarded = http::forwardedRequestHead(head, *http::parseAbsoluteUrl(head.target));
    EXPECT_EQ(forwarded, "GET /x HTTP/1.1\r\nHost: h:8080\r\nX-End: 2\r\n\r\n");
    // The client's Host never reaches the origin: the target names it.
    const auto spoofed = http::parseRequestHead("GET http://h/x HTTP/1.1\r\nHost: other\r\n\r\n");
    EXPECT_EQ(http::forwardedRequestHead(spoofed, *http::parseAbsoluteUrl(spoofed.target)),
              "GET /x HTTP/1.1\r\nHost: h\r\n\r\n");
    // Content-Length beside Transfer-Encoding in a response is dropped on the way back.
    const auto both =
        http::parseResponseHead("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n");
    EXPECT_EQ(http::forwardedResponseHead(both, true),
              "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: keep-alive\r\n\r\n");
}

TEST(DnsMessage, QueryAndAnswer)
{
    const auto query = dns::buildQuery(0x1234, "a.example", dns::kTypeA);
    ASSERT_TRUE(query);
    EXPECT_EQ(query->substr(12, 11), std::string("\x01"
                                                 "a\x07"
                                                 "example\x00",
                                                 11));
    EXPECT_FALSE(dns::buildQuery(1, "a..b", dns::kTypeA));
    EXPECT_FALSE(dns::buildQuery(1, std::string(64, 'x') + ".com", dns::kTypeA));

    std::string answer = *query;
    answer[2] = '\x81';
    answer[3] = '\x80';
    answer[7] = 2;
    answer += std::string("\xc0\x0c\x00\x05\x00\x01\x00\x00\x00\x10\x00\x02\xc0\x0c", 14); // CNAME, skipped
    answer += std::string("\xc0\x0c\x00\x01\x00\x01\x00\x00\x00\x3c\x00\x04\x0a\x00\x00\x07", 16);
    const auto parsed = dns::parseResponse(answer, 0x1234);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_EQ(parsed.addresses.size(), 1u);
    EXPECT_EQ(parsed.addresses[0].toString(), "10.0.0.7");
    EXPECT_FALSE(dns::parseResponse(answer, 0x9999).ok);
    for (std::size_t cut = 0; cut < 12; ++cut) {
        EXPECT_FALSE(dns::parseResponse(answer.substr(0, cut), 0x1234).ok);
    }
    std::string refused = *query;
    refused[2] = '\x81';
    refused[3] = '\x83';
    EXPECT_EQ(dns::parseResponse(refused, 0x1234).error, "no such name");
}
