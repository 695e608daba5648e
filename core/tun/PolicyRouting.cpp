#include "PolicyRouting.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <functional>
#include <linux/fib_rules.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <vector>

#include "Netlink.h"
#include "TunnelTags.h"

namespace ferrow::tun {

namespace {

std::string failure(const std::string& what, int error)
{
    return what + ": " + std::strerror(error);
}

bool addAddress(NetlinkSocket& netlink, int index, int family, const char* text, int prefix,
                std::string* error)
{
    unsigned char bytes[16] = {};
    ::inet_pton(family, text, bytes);
    const std::size_t size = family == AF_INET ? 4 : 16;
    NetlinkMessage message(RTM_NEWADDR, NLM_F_CREATE | NLM_F_REPLACE);
    auto& body = message.body<ifaddrmsg>();
    body.ifa_family = static_cast<unsigned char>(family);
    body.ifa_prefixlen = static_cast<unsigned char>(prefix);
    body.ifa_index = static_cast<unsigned>(index);
    // No duplicate address detection: the address is usable the moment the link is up.
    body.ifa_flags = family == AF_INET6 ? IFA_F_NODAD : 0;
    message.addAttribute(IFA_LOCAL, bytes, size);
    message.addAttribute(IFA_ADDRESS, bytes, size);
    if (const int result = netlink.request(message); result != 0) {
        *error = failure(std::string("cannot give the tunnel the address ") + text, result);
        return false;
    }
    return true;
}

bool addDefaultRoute(NetlinkSocket& netlink, int index, int family, const char* source, std::string* error)
{
    unsigned char bytes[16] = {};
    ::inet_pton(family, source, bytes);
    NetlinkMessage message(RTM_NEWROUTE, NLM_F_CREATE | NLM_F_REPLACE);
    auto& body = message.body<rtmsg>();
    body.rtm_family = static_cast<unsigned char>(family);
    body.rtm_table = RT_TABLE_UNSPEC;
    body.rtm_protocol = kRuleProtocol;
    body.rtm_scope = RT_SCOPE_LINK;
    body.rtm_type = RTN_UNICAST;
    message.addU32(RTA_TABLE, kRouteTable);
    message.addU32(RTA_OIF, static_cast<std::uint32_t>(index));
    message.addAttribute(RTA_PREFSRC, bytes, family == AF_INET ? 4 : 16);
    if (const int result = netlink.request(message); result != 0) {
        *error = failure("cannot add the tunnel's default route", result);
        return false;
    }
    return true;
}

/// One tagged rule: packets that `select` matches (all of them when it adds nothing; none of them
/// with `invert`) look up `table`.
bool addRule(NetlinkSocket& netlink, int family, std::uint32_t priority, std::uint32_t table, bool invert,
             const std::function<void(NetlinkMessage&)>& select, std::string* error)
{
    NetlinkMessage message(RTM_NEWRULE, NLM_F_CREATE | NLM_F_EXCL);
    auto& body = message.body<fib_rule_hdr>();
    body.family = static_cast<unsigned char>(family);
    body.action = FR_ACT_TO_TBL;
    // Attributes grow the message and move it: the body is complete before the first one.
    body.flags = invert ? FIB_RULE_INVERT : 0;
    message.addU32(FRA_PRIORITY, priority);
    message.addU8(FRA_PROTOCOL, kRuleProtocol);
    message.addU32(FRA_TABLE, table);
    select(message);
    if (const int result = netlink.request(message); result != 0) {
        *error = failure("cannot add the tunnel's routing rule", result);
        return false;
    }
    return true;
}

bool addRules(NetlinkSocket& netlink, int family, std::string* error)
{
    const auto marked = [](NetlinkMessage& message) {
        message.addU32(FRA_FWMARK, kSocketMark);
        message.addU32(FRA_FWMASK, 0xffffffffu);
    };
    const auto dnsOver = [](std::uint8_t protocol) {
        return [protocol](NetlinkMessage& message) {
            message.addU8(FRA_IP_PROTO, protocol);
            const fib_rule_port_range dns{53, 53};
            message.addAttribute(FRA_DPORT_RANGE, &dns, sizeof dns);
        };
    };
    const auto withoutDefaultRoutes = [](NetlinkMessage& message) {
        message.addU32(FRA_SUPPRESS_PREFIXLEN, 0);
    };
    return addRule(netlink, family, kPriorityOwnTraffic, RT_TABLE_MAIN, false, marked, error) &&
           addRule(netlink, family, kPriorityDnsUdp, kRouteTable, false, dnsOver(IPPROTO_UDP), error) &&
           addRule(netlink, family, kPriorityDnsTcp, kRouteTable, false, dnsOver(IPPROTO_TCP), error) &&
           addRule(netlink, family, kPriorityMainWithoutDefault, RT_TABLE_MAIN, false, withoutDefaultRoutes,
                   error) &&
           addRule(netlink, family, kPriorityTunnel, kRouteTable, true, marked, error);
}

/// The raw messages of a dump that `keep` selects, to be sent back as deletions.
std::vector<std::vector<char>> collect(NetlinkSocket& netlink, std::uint16_t type, int family,
                                       const std::function<bool(const nlmsghdr&)>& keep, int* result)
{
    std::vector<std::vector<char>> found;
    NetlinkMessage message(type, NLM_F_DUMP);
    message.body<rtmsg>().rtm_family = static_cast<unsigned char>(family);
    *result = netlink.dump(message, [&](const nlmsghdr& reply) {
        if (keep(reply)) {
            const auto* bytes = reinterpret_cast<const char*>(&reply);
            found.emplace_back(bytes, bytes + reply.nlmsg_len);
        }
    });
    return found;
}

bool isTaggedRule(const nlmsghdr& reply)
{
    if (reply.nlmsg_type != RTM_NEWRULE) {
        return false;
    }
    const auto* rule = static_cast<const fib_rule_hdr*>(NLMSG_DATA(&reply));
    const auto attributes =
        NetlinkAttributes::parse(reinterpret_cast<const char*>(rule) + NLMSG_ALIGN(sizeof *rule),
                                 reply.nlmsg_len - NLMSG_LENGTH(sizeof *rule));
    const auto* protocol = attributes.find(FRA_PROTOCOL);
    const bool ourProtocol =
        protocol && !protocol->empty() && static_cast<std::uint8_t>((*protocol)[0]) == kRuleProtocol;
    return ourProtocol || attributes.u32(FRA_TABLE, rule->table) == kRouteTable;
}

bool isOurRoute(const nlmsghdr& reply)
{
    if (reply.nlmsg_type != RTM_NEWROUTE) {
        return false;
    }
    const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(&reply));
    const auto attributes = NetlinkAttributes::parse(RTM_RTA(route), RTM_PAYLOAD(&reply));
    return attributes.u32(RTA_TABLE, route->rtm_table) == kRouteTable;
}

/// Sends each collected message back as a deletion; 0 or the last errno (an entry that is gone
/// already counts as removed).
int deleteAll(NetlinkSocket& netlink, const std::vector<std::vector<char>>& messages, std::uint16_t type)
{
    int last = 0;
    for (const auto& bytes : messages) {
        auto message = NetlinkMessage::copyOf(*reinterpret_cast<const nlmsghdr*>(bytes.data()), type);
        const int result = netlink.request(message);
        if (result != 0 && result != ENOENT && result != ESRCH) {
            last = result;
        }
    }
    return last;
}

/// The index of the TUN link called `name`, or 0 when there is none (or it is not a TUN link).
int tunLinkIndex(NetlinkSocket& netlink, const std::string& name)
{
    int index = 0;
    NetlinkMessage message(RTM_GETLINK, NLM_F_DUMP);
    message.body<ifinfomsg>().ifi_family = AF_UNSPEC;
    netlink.dump(message, [&](const nlmsghdr& reply) {
        if (reply.nlmsg_type != RTM_NEWLINK) {
            return;
        }
        const auto* link = static_cast<const ifinfomsg*>(NLMSG_DATA(&reply));
        const auto attributes = NetlinkAttributes::parse(IFLA_RTA(link), IFLA_PAYLOAD(&reply));
        const auto* linkName = attributes.find(IFLA_IFNAME);
        if (!linkName || std::string(linkName->c_str()) != name) {
            return;
        }
        const auto* info = attributes.find(IFLA_LINKINFO);
        if (!info) {
            return;
        }
        const auto nested = NetlinkAttributes::parse(info->data(), info->size());
        const auto* kind = nested.find(IFLA_INFO_KIND);
        if (kind && std::string(kind->c_str()) == "tun") {
            index = link->ifi_index;
        }
    });
    return index;
}

} // namespace

bool PolicyRouting::install(int tunIndex, std::string* error)
{
    NetlinkSocket netlink;
    if (!netlink.isOpen()) {
        *error = failure("cannot open a netlink socket", errno);
        return false;
    }
    if (!addAddress(netlink, tunIndex, AF_INET, kTunAddress4, kTunPrefix4, error)) {
        return false;
    }
    // IPv6 may be off on this machine; the tunnel then carries IPv4 alone.
    std::string ipv6Error;
    const bool ipv6 = addAddress(netlink, tunIndex, AF_INET6, kTunAddress6, kTunPrefix6, &ipv6Error);
    NetlinkMessage up(RTM_NEWLINK, 0);
    auto& link = up.body<ifinfomsg>();
    link.ifi_family = AF_UNSPEC;
    link.ifi_index = tunIndex;
    link.ifi_flags = IFF_UP;
    link.ifi_change = IFF_UP;
    up.addU32(IFLA_MTU, static_cast<std::uint32_t>(kTunMtu));
    if (const int result = netlink.request(up); result != 0) {
        *error = failure("cannot bring the tunnel up", result);
        return false;
    }
    if (!addDefaultRoute(netlink, tunIndex, AF_INET, kTunAddress4, error) ||
        !addRules(netlink, AF_INET, error)) {
        return false;
    }
    if (ipv6 && (!addDefaultRoute(netlink, tunIndex, AF_INET6, kTunAddress6, error) ||
                 !addRules(netlink, AF_INET6, error))) {
        return false;
    }
    return true;
}

bool PolicyRouting::removeTagged(const std::string& tunName, std::string* error)
{
    NetlinkSocket netlink;
    if (!netlink.isOpen()) {
        *error = failure("cannot open a netlink socket", errno);
        return false;
    }
    bool clean = true;
    // Rules first: from then on nothing is steered into the table, whatever is left in it.
    for (const int family : {AF_INET, AF_INET6}) {
        int result = 0;
        const auto rules = collect(netlink, RTM_GETRULE, family, isTaggedRule, &result);
        if (result == 0) {
            result = deleteAll(netlink, rules, RTM_DELRULE);
        }
        if (result != 0 && result != EAFNOSUPPORT) {
            *error = failure("cannot remove the tunnel's routing rules", result);
            clean = false;
        }
        const auto routes = collect(netlink, RTM_GETROUTE, family, isOurRoute, &result);
        if (result == 0) {
            result = deleteAll(netlink, routes, RTM_DELROUTE);
        }
        if (result != 0 && result != EAFNOSUPPORT) {
            *error = failure("cannot remove the tunnel's routes", result);
            clean = false;
        }
    }
    if (!tunName.empty()) {
        if (const int index = tunLinkIndex(netlink, tunName); index > 0) {
            NetlinkMessage message(RTM_DELLINK, 0);
            message.body<ifinfomsg>().ifi_index = index;
            if (const int result = netlink.request(message); result != 0 && result != ENODEV) {
                *error = failure("cannot remove the link " + tunName, result);
                clean = false;
            }
        }
    }
    return clean;
}

PolicyRouting::Count PolicyRouting::countTagged()
{
    NetlinkSocket netlink;
    Count count;
    for (const int family : {AF_INET, AF_INET6}) {
        int result = 0;
        count.rules += static_cast<int>(collect(netlink, RTM_GETRULE, family, isTaggedRule, &result).size());
        count.routes += static_cast<int>(collect(netlink, RTM_GETROUTE, family, isOurRoute, &result).size());
    }
    return count;
}

bool PolicyRouting::anyTagged()
{
    const auto count = countTagged();
    return count.rules > 0 || count.routes > 0;
}

} // namespace ferrow::tun
