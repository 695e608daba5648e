#include "FakeDns.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace ferrow::tun {

namespace {

constexpr std::uint32_t kFakeBase = (198u << 24) | (18u << 16); // 198.18.0.0/15
constexpr std::uint32_t kFakeFirst = kFakeBase + 1;
constexpr std::uint32_t kFakeLast = kFakeBase + (1u << 17) - 2;

std::uint16_t read16(std::string_view bytes, std::size_t at)
{
    return static_cast<std::uint16_t>((static_cast<std::uint8_t>(bytes[at]) << 8) |
                                      static_cast<std::uint8_t>(bytes[at + 1]));
}

void append16(std::string& out, std::uint16_t value)
{
    out += static_cast<char>(value >> 8);
    out += static_cast<char>(value & 0xff);
}

} // namespace

std::optional<DnsQuestion> parseQuestion(std::string_view query)
{
    if (query.size() < 12) {
        return std::nullopt;
    }
    const std::uint16_t flags = read16(query, 2);
    // A query (QR clear), standard opcode, one question.
    if ((flags & 0x8000) != 0 || ((flags >> 11) & 0xf) != 0 || read16(query, 4) != 1) {
        return std::nullopt;
    }
    DnsQuestion question;
    question.id = read16(query, 0);
    std::size_t at = 12;
    while (true) {
        if (at >= query.size()) {
            return std::nullopt;
        }
        const auto length = static_cast<std::uint8_t>(query[at]);
        if (length == 0) {
            ++at;
            break;
        }
        // Compression pointers do not belong in a question of a query.
        if (length > 63 || at + 1 + length > query.size() || question.name.size() + length > 253) {
            return std::nullopt;
        }
        if (!question.name.empty()) {
            question.name += '.';
        }
        for (std::size_t i = 0; i < length; ++i) {
            const char c = query[at + 1 + i];
            question.name += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        at += 1 + length;
    }
    if (at + 4 > query.size()) {
        return std::nullopt;
    }
    question.type = read16(query, at);
    question.klass = read16(query, at + 2);
    question.end = at + 4;
    return question;
}

std::string buildAnswer(std::string_view query, const DnsQuestion& question,
                        const std::vector<core::IpAddr>& addresses, std::uint32_t ttl, int rcode)
{
    std::string out;
    append16(out, question.id);
    const std::uint16_t recursionDesired = read16(query, 2) & 0x0100;
    append16(out, static_cast<std::uint16_t>(0x8000 | recursionDesired | 0x0080 | (rcode & 0xf)));
    append16(out, 1);
    append16(out, static_cast<std::uint16_t>(addresses.size()));
    append16(out, 0);
    append16(out, 0);
    out.append(query.substr(12, question.end - 12));
    for (const auto& address : addresses) {
        append16(out, 0xc00c); // the name of the question
        append16(out, address.v6 ? 28 : 1);
        append16(out, 1);
        append16(out, static_cast<std::uint16_t>(ttl >> 16));
        append16(out, static_cast<std::uint16_t>(ttl & 0xffff));
        const std::size_t size = address.v6 ? 16 : 4;
        append16(out, static_cast<std::uint16_t>(size));
        out.append(reinterpret_cast<const char*>(address.bytes.data()), size);
    }
    return out;
}

bool matchesFilter(const std::vector<std::string>& patterns, std::string_view name)
{
    const auto below = [&name](std::string_view suffix) {
        return name.size() > suffix.size() && name.ends_with(suffix) &&
               name[name.size() - suffix.size() - 1] == '.';
    };
    return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& pattern) {
        if (pattern == "*") {
            return true;
        }
        if (pattern.starts_with("*.")) {
            return below(std::string_view(pattern).substr(2));
        }
        if (pattern.starts_with("+.")) {
            const auto suffix = std::string_view(pattern).substr(2);
            return name == suffix || below(suffix);
        }
        return name == pattern;
    });
}

FakeIpPool::FakeIpPool(Limits limits) : m_limits(limits)
{
    m_limits.size = std::min(m_limits.size, kFakeLast - kFakeFirst + 1);
}

bool FakeIpPool::withinShare(const std::string& source, Clock::time_point now)
{
    const auto expire = [this, now](std::deque<Clock::time_point>& grants) {
        while (!grants.empty() && now - grants.front() >= m_limits.hold) {
            grants.pop_front();
        }
    };
    // Sources that stopped asking are forgotten now and then, so the record stays as small as
    // the grants of one hold time.
    if (++m_grantsSinceSweep >= 4096) {
        m_grantsSinceSweep = 0;
        for (auto it = m_grants.begin(); it != m_grants.end();) {
            expire(it->second);
            it = it->second.empty() ? m_grants.erase(it) : std::next(it);
        }
    }
    auto& grants = m_grants[source];
    expire(grants);
    return grants.size() < m_limits.perSource;
}

std::optional<core::IpAddr> FakeIpPool::addressFor(const std::string& name, const core::IpAddr& source,
                                                   Clock::time_point now)
{
    if (const auto found = m_byName.find(name); found != m_byName.end()) {
        use(core::IpAddr::fromV4(found->second), now);
        return core::IpAddr::fromV4(found->second);
    }
    const std::string sourceKey = source.folded().toString();
    if (!withinShare(sourceKey, now)) {
        return std::nullopt;
    }
    std::uint32_t address = 0;
    if (m_fresh < m_limits.size) {
        address = kFakeFirst + m_fresh++;
    } else {
        if (m_idle.empty()) {
            return std::nullopt;
        }
        const auto oldest = m_byAddress.find(m_idle.front());
        if (now - oldest->second.used < m_limits.hold) {
            return std::nullopt;
        }
        address = oldest->first;
        m_byName.erase(oldest->second.name);
        m_idle.pop_front();
        m_byAddress.erase(oldest);
    }
    m_idle.push_back(address);
    m_byAddress[address] = Entry{address, name, now, 0, std::prev(m_idle.end())};
    m_byName[name] = address;
    m_grants[sourceKey].push_back(now);
    return core::IpAddr::fromV4(address);
}

const FakeIpPool::Entry* FakeIpPool::find(const core::IpAddr& given) const
{
    if (!isFake(given)) {
        return nullptr;
    }
    const auto address = given.folded();
    const std::uint32_t value = (std::uint32_t{address.bytes[0]} << 24) |
                                (std::uint32_t{address.bytes[1]} << 16) |
                                (std::uint32_t{address.bytes[2]} << 8) | address.bytes[3];
    const auto found = m_byAddress.find(value);
    return found == m_byAddress.end() ? nullptr : &found->second;
}

FakeIpPool::Entry* FakeIpPool::find(const core::IpAddr& address)
{
    return const_cast<Entry*>(std::as_const(*this).find(address));
}

std::optional<std::string> FakeIpPool::nameFor(const core::IpAddr& address) const
{
    const Entry* entry = find(address);
    return entry ? std::optional<std::string>(entry->name) : std::nullopt;
}

std::optional<std::string> FakeIpPool::use(const core::IpAddr& address, Clock::time_point now)
{
    Entry* entry = find(address);
    if (!entry) {
        return std::nullopt;
    }
    entry->used = std::max(entry->used, now);
    if (entry->pins == 0) {
        m_idle.splice(m_idle.end(), m_idle, entry->place);
    }
    return entry->name;
}

void FakeIpPool::pin(const core::IpAddr& address)
{
    if (Entry* entry = find(address)) {
        if (entry->pins++ == 0) {
            m_idle.erase(entry->place);
        }
    }
}

void FakeIpPool::unpin(const core::IpAddr& address, Clock::time_point now)
{
    Entry* entry = find(address);
    if (!entry || entry->pins == 0) {
        return;
    }
    entry->used = std::max(entry->used, now);
    if (--entry->pins == 0) {
        m_idle.push_back(entry->address);
        entry->place = std::prev(m_idle.end());
    }
}

bool FakeIpPool::isFake(const core::IpAddr& given)
{
    const auto address = given.folded();
    return !address.v6 && address.bytes[0] == 198 && (address.bytes[1] & 0xfe) == 18;
}

} // namespace ferrow::tun
