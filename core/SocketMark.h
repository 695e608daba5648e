#pragma once

#include <cstdint>

namespace ferrow::core {

/// The mark every outbound socket of the core carries while the tunnel is up (0: none), so the
/// policy rules send the core's own traffic past the tunnel instead of back into it.
void setOutboundMark(std::uint32_t mark);
std::uint32_t outboundMark();
/// Marks an opened socket before it connects or sends; a no-op without a tunnel. The tunnel
/// checks at its start that marking works, since an unmarked socket would loop into it.
bool markOutbound(int fd);

} // namespace ferrow::core
