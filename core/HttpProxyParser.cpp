#include "HttpProxyParser.h"

#include <charconv>

#include "NetAddress.h"

namespace ferrow::core::http {

namespace {

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool parseVersion(std::string_view text, int& minor)
{
    if (text == "HTTP/1.1") {
        minor = 1;
        return true;
    }
    if (text == "HTTP/1.0") {
        minor = 0;
        return true;
    }
    return false;
}

// Splits the head into lines and fills headers; the first line is returned for the caller.
Head parseHead(std::string_view bytes, std::string_view& firstLine, std::size_t maxHeaders)
{
    Head head;
    const auto end = bytes.find("\r\n\r\n");
    if (end == std::string_view::npos) {
        if (bytes.size() > kMaxHeadSize) {
            head.status = ParseStatus::Bad;
            head.error = "request head too large";
        }
        // A bare LF line ending is refused rather than guessed at.
        if (bytes.find("\n\n") != std::string_view::npos) {
            head.status = ParseStatus::Bad;
            head.error = "lines must end in CR LF";
        }
        return head;
    }
    if (end + 4 > kMaxHeadSize) {
        head.status = ParseStatus::Bad;
        head.error = "request head too large";
        return head;
    }
    head.length = end + 4;
    const std::string_view text = bytes.substr(0, end);
    std::size_t start = 0;
    bool first = true;
    while (start <= text.size()) {
        const auto lineEnd = text.find("\r\n", start);
        const auto line = text.substr(start, lineEnd == std::string_view::npos ? lineEnd : lineEnd - start);
        start = lineEnd == std::string_view::npos ? text.size() + 1 : lineEnd + 2;
        if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
            head.status = ParseStatus::Bad;
            head.error = "stray line break or NUL in head";
            return head;
        }
        if (first) {
            firstLine = line;
            first = false;
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            head.status = ParseStatus::Bad;
            head.error = "malformed header line";
            return head;
        }
        const auto name = line.substr(0, colon);
        for (char c : name) {
            if (!isTokenChar(c)) {
                head.status = ParseStatus::Bad;
                head.error = "malformed header name";
                return head;
            }
        }
        if (head.headers.size() >= maxHeaders) {
            head.status = ParseStatus::Bad;
            head.error = "too many headers";
            return head;
        }
        head.headers.push_back({std::string(name), std::string(trim(line.substr(colon + 1)))});
    }
    head.status = ParseStatus::Good;
    return head;
}

} // namespace

std::optional<std::string_view> Head::header(std::string_view name) const
{
    for (const auto& header : headers) {
        if (equalsNoCase(header.name, name)) {
            return std::string_view(header.value);
        }
    }
    return std::nullopt;
}

bool Head::headerHasToken(std::string_view name, std::string_view token) const
{
    for (const auto& header : headers) {
        if (!equalsNoCase(header.name, name)) {
            continue;
        }
        std::string_view rest = header.value;
        while (!rest.empty()) {
            const auto comma = rest.find(',');
            if (equalsNoCase(trim(rest.substr(0, comma)), token)) {
                return true;
            }
            if (comma == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(comma + 1);
        }
    }
    return false;
}

Head parseRequestHead(std::string_view bytes, std::size_t maxHeaders)
{
    std::string_view line;
    Head head = parseHead(bytes, line, maxHeaders);
    if (head.status != ParseStatus::Good) {
        return head;
    }
    const auto firstSpace = line.find(' ');
    const auto lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || firstSpace == lastSpace || firstSpace == 0) {
        head.status = ParseStatus::Bad;
        head.error = "malformed request line";
        return head;
    }
    head.method = line.substr(0, firstSpace);
    head.target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    for (char c : head.method) {
        if (!isTokenChar(c)) {
            head.status = ParseStatus::Bad;
            head.error = "malformed method";
            return head;
        }
    }
    if (head.target.empty() || head.target.find(' ') != std::string::npos ||
        !parseVersion(line.substr(lastSpace + 1), head.minorVersion)) {
        head.status = ParseStatus::Bad;
        head.error = "malformed request line";
    }
    return head;
}

Head parseResponseHead(std::string_view bytes)
{
    std::string_view line;
    Head head = parseHead(bytes, line, kMaxHeaderCount);
    if (head.status != ParseStatus::Good) {
        return head;
    }
    if (line.size() < 12 || !parseVersion(line.substr(0, 8), head.minorVersion) || line[8] != ' ') {
        head.status = ParseStatus::Bad;
        head.error = "malformed status line";
        return head;
    }
    const auto code = line.substr(9, 3);
    int value = 0;
    const auto result = std::from_chars(code.data(), code.data() + 3, value);
    if (result.ec != std::errc() || result.ptr != code.data() + 3 || value < 100 || value > 999 ||
        (line.size() > 12 && line[12] != ' ')) {
        head.status = ParseStatus::Bad;
        head.error = "malformed status line";
        return head;
    }
    head.statusCode = value;
    head.reason = line.size() > 13 ? line.substr(13) : std::string_view();
    return head;
}

std::optional<Target> parseAuthority(std::string_view text, std::uint16_t defaultPort)
{
    Target target;
    if (text.empty() || text.find_first_of("/?#@ ") != std::string_view::npos) {
        return std::nullopt;
    }
    if (text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        target.host = text.substr(1, close - 1);
        text.remove_prefix(close + 1);
        if (!IpAddr::parse(target.host) || !IpAddr::parse(target.host)->v6) {
            return std::nullopt;
        }
        if (!text.empty() && text.front() != ':') {
            return std::nullopt;
        }
    } else {
        const auto colon = text.find(':');
        target.host = text.substr(0, colon);
        text = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
        // A bracket or any other byte outside a reg-name would make the head we forward unparsable.
        if (!isRegName(target.host)) {
            return std::nullopt;
        }
    }
    if (target.host.empty()) {
        return std::nullopt;
    }
    target.port = defaultPort;
    if (!text.empty()) {
        text.remove_prefix(1); // ':'
        unsigned value = 0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
            value == 0 || value > 65535) {
            return std::nullopt;
        }
        target.port = static_cast<std::uint16_t>(value);
    }
    if (target.port == 0) {
        return std::nullopt;
    }
    target.originForm = "/";
    return target;
}

std::optional<Target> parseAbsoluteUrl(std::string_view text)
{
    static constexpr std::string_view scheme = "http://";
    if (text.size() < scheme.size() || !equalsNoCase(text.substr(0, scheme.size()), scheme)) {
        return std::nullopt;
    }
    text.remove_prefix(scheme.size());
    const auto pathStart = text.find_first_of("/?");
    auto authority = text.substr(0, pathStart);
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1); // user info is never forwarded
    }
    auto target = parseAuthority(authority, 80);
    if (!target) {
        return std::nullopt;
    }
    if (pathStart == std::string_view::npos) {
        target->originForm = "/";
    } else if (text[pathStart] == '?') {
        target->originForm = "/" + std::string(text.substr(pathStart));
    } else {
        target->originForm = text.substr(pathStart);
    }
    if (const auto fragment = target->originForm.find('#'); fragment != std::string::npos) {
        target->originForm.erase(fragment);
    }
    return target;
}

std::size_t BodyFramer::feed(std::string_view bytes)
{
    switch (m_mode) {
    case Mode::None:
        return 0;
    case Mode::UntilClose:
        return bytes.size();
    case Mode::Length: {
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(m_remaining, bytes.size()));
        m_remaining -= take;
        return take;
    }
    case Mode::Chunked:
        break;
    }
    std::size_t i = 0;
    while (i < bytes.size() && m_chunk != Chunk::End && !m_bad) {
        const char c = bytes[i];
        switch (m_chunk) {
        case Chunk::Size: {
            int digit = -1;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                digit = c - 'A' + 10;
            }
            if (digit >= 0) {
                if (++m_sizeDigits > 15) {
                    m_bad = true;
                    break;
                }
                m_remaining = m_remaining * 16 + static_cast<std::uint64_t>(digit);
            } else if (m_sizeDigits > 0 && (c == ';' || c == ' ' || c == '\t')) {
                m_chunk = Chunk::Extension;
            } else if (m_sizeDigits > 0 && c == '\r') {
                m_chunk = Chunk::SizeLf;
            } else { // a size line starts with a digit and holds nothing else
                m_bad = true;
                break;
            }
            ++i;
            break;
        }
        case Chunk::Extension:
            if (c == '\r') {
                m_chunk = Chunk::SizeLf;
            } else if (c == '\n') {
                m_bad = true;
                break;
            }
            ++i;
            break;
        case Chunk::SizeLf:
            if (c != '\n') {
                m_bad = true;
                break;
            }
            ++i;
            m_sizeDigits = 0;
            m_chunk = m_remaining == 0 ? Chunk::TrailerStart : Chunk::Data;
            break;
        case Chunk::Data: {
            const auto take =
                static_cast<std::size_t>(std::min<std::uint64_t>(m_remaining, bytes.size() - i));
            m_remaining -= take;
            i += take;
            if (m_remaining == 0) {
                m_chunk = Chunk::DataCr;
            }
            break;
        }
        case Chunk::DataCr:
            if (c != '\r') {
                m_bad = true;
                break;
            }
            ++i;
            m_chunk = Chunk::DataLf;
            break;
        case Chunk::DataLf:
            if (c != '\n') {
                m_bad = true;
                break;
            }
            ++i;
            m_chunk = Chunk::Size;
            break;
        case Chunk::TrailerStart:
            ++i;
            m_chunk = c == '\r' ? Chunk::FinalLf : Chunk::Trailer;
            break;
        case Chunk::Trailer:
            ++i;
            if (c == '\r') {
                m_chunk = Chunk::TrailerLf;
            }
            break;
        case Chunk::TrailerLf:
            if (c != '\n') {
                m_bad = true;
                break;
            }
            ++i;
            m_chunk = Chunk::TrailerStart;
            break;
        case Chunk::FinalLf:
            if (c != '\n') {
                m_bad = true;
                break;
            }
            ++i;
            m_chunk = Chunk::End;
            break;
        case Chunk::End:
            break;
        }
    }
    return i;
}

bool BodyFramer::done() const
{
    switch (m_mode) {
    case Mode::None:
        return true;
    case Mode::Length:
        return m_remaining == 0;
    case Mode::Chunked:
        return m_chunk == Chunk::End;
    case Mode::UntilClose:
        return false;
    }
    return true;
}

static std::optional<BodyFramer> framingFromHeaders(const Head& head, bool untilCloseByDefault)
{
    int transferEncodings = 0;
    bool sawContentLength = false;
    for (const auto& header : head.headers) {
        transferEncodings += equalsNoCase(header.name, "Transfer-Encoding") ? 1 : 0;
        sawContentLength = sawContentLength || equalsNoCase(header.name, "Content-Length");
    }
    const bool isRequest = !untilCloseByDefault;
    if (isRequest && transferEncodings > 0) {
        // Two framings, or codings a Content-Length-preferring origin might read differently, are
        // how requests are smuggled past a proxy: only one plain "chunked" is relayed.
        if (sawContentLength || transferEncodings > 1 ||
            !equalsNoCase(*head.header("Transfer-Encoding"), "chunked")) {
            return std::nullopt;
        }
        return BodyFramer::chunked();
    }
    if (transferEncodings > 0) {
        // Only "chunked" as the final coding frames a message; anything else cannot be relayed safely.
        if (transferEncodings > 1) {
            return BodyFramer::untilClose();
        }
        const auto value = toLower(*head.header("Transfer-Encoding"));
        const auto last = trim(
            std::string_view(value).substr(value.rfind(',') == std::string::npos ? 0 : value.rfind(',') + 1));
        if (last != "chunked") {
            if (untilCloseByDefault) {
                return BodyFramer::untilClose();
            }
            return std::nullopt;
        }
        return BodyFramer::chunked();
    }
    std::optional<std::uint64_t> length;
    for (const auto& header : head.headers) {
        if (!equalsNoCase(header.name, "Content-Length")) {
            continue;
        }
        std::uint64_t value = 0;
        const auto& text = header.value;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
            (length && *length != value)) {
            return std::nullopt;
        }
        length = value;
    }
    if (length) {
        return BodyFramer::length(*length);
    }
    return untilCloseByDefault ? BodyFramer::untilClose() : BodyFramer::none();
}

std::optional<BodyFramer> requestBody(const Head& request)
{
    return framingFromHeaders(request, false);
}

std::string hostHeaderProblem(const Head& request)
{
    int count = 0;
    for (const auto& header : request.headers) {
        if (!equalsNoCase(header.name, "Host")) {
            continue;
        }
        if (++count > 1) {
            return "more than one Host header";
        }
        if (!parseAuthority(header.value, 80)) {
            return "invalid Host header";
        }
    }
    return {};
}

std::optional<BodyFramer> responseBody(const Head& response, std::string_view requestMethod)
{
    if (equalsNoCase(requestMethod, "HEAD") || (response.statusCode >= 100 && response.statusCode < 200) ||
        response.statusCode == 204 || response.statusCode == 304) {
        return BodyFramer::none();
    }
    return framingFromHeaders(response, true);
}

bool keepsAlive(const Head& message)
{
    if (message.headerHasToken("Connection", "close") ||
        message.headerHasToken("Proxy-Connection", "close")) {
        return false;
    }
    if (message.minorVersion == 0) {
        return message.headerHasToken("Connection", "keep-alive") ||
               message.headerHasToken("Proxy-Connection", "keep-alive");
    }
    return true;
}

static bool isHopByHop(const Head& head, std::string_view name)
{
    static constexpr std::string_view fixed[] = {
        "Connection",         "Keep-Alive", "Proxy-Connection", "Proxy-Authorization",
        "Proxy-Authenticate", "TE",         "Trailer",          "Upgrade"};
    for (const auto item : fixed) {
        if (equalsNoCase(item, name)) {
            return true;
        }
    }
    // Headers named in Connection are hop-by-hop too, except the framing ones a relay needs.
    return head.headerHasToken("Connection", name) && !equalsNoCase(name, "Transfer-Encoding") &&
           !equalsNoCase(name, "Content-Length");
}

std::string forwardedRequestHead(const Head& request, const Target& target)
{
    std::string out;
    out.reserve(request.length + 64);
    out += request.method;
    out += ' ';
    out += target.originForm;
    out += request.minorVersion == 0 ? " HTTP/1.0\r\n" : " HTTP/1.1\r\n";
    // The origin learns its name from the request target, never from a Host header the
    // client may have set to something else (RFC 9112, 3.2.2).
    const bool v6 = target.host.find(':') != std::string::npos;
    out += "Host: ";
    out += v6 ? "[" + target.host + "]" : target.host;
    if (target.port != 80) {
        out += ":" + std::to_string(target.port);
    }
    out += "\r\n";
    for (const auto& header : request.headers) {
        if (isHopByHop(request, header.name) || equalsNoCase(header.name, "Host")) {
            continue;
        }
        out += header.name;
        out += ": ";
        out += header.value;
        out += "\r\n";
    }
    if (request.minorVersion == 0) {
        out += "Connection: keep-alive\r\n";
    }
    out += "\r\n";
    return out;
}

std::string forwardedResponseHead(const Head& response, bool keepAlive)
{
    const bool chunked = response.header("Transfer-Encoding").has_value();
    std::string out = response.minorVersion == 0 ? "HTTP/1.0 " : "HTTP/1.1 ";
    out += std::to_string(response.statusCode);
    out += ' ';
    out += response.reason;
    out += "\r\n";
    for (const auto& header : response.headers) {
        if (isHopByHop(response, header.name) || (chunked && equalsNoCase(header.name, "Content-Length"))) {
            continue;
        }
        out += header.name;
        out += ": ";
        out += header.value;
        out += "\r\n";
    }
    out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    return out;
}

std::string simpleResponse(int status, std::string_view reason, std::string_view body, bool keepAlive)
{
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
    out += "Content-Type: text/plain; charset=utf-8\r\n";
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    out += body;
    return out;
}

} // namespace ferrow::core::http
