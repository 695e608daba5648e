#pragma once

#include <string>

#include "NetAddress.h"

namespace ferrow::tun {

/// Points systemd-resolved at the tunnel: its stub answers on loopback and sends upstream through
/// the physical link, so without this no question would ever enter the tunnel. The tunnel link
/// gets our DNS address, the routing domain "~." and the default route for DNS; revert() hands
/// the link back. A system without resolved is left alone.
class ResolvedLink {
public:
    /// `busAddress`: the bus resolved is on; empty for the system bus.
    explicit ResolvedLink(std::string busAddress) : m_busAddress(std::move(busAddress)) {}
    ~ResolvedLink();
    ResolvedLink(const ResolvedLink&) = delete;
    ResolvedLink& operator=(const ResolvedLink&) = delete;

    /// False with the reason when resolved is not there or refused.
    bool registerLink(int linkIndex, const core::IpAddr& dnsAddress, std::string* error);
    void revert();

private:
    std::string m_busAddress;
    int m_linkIndex = 0;
};

} // namespace ferrow::tun
