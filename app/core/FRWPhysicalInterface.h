#pragma once

#include <optional>

#include <QString>

/// The link the machine really reaches the network through, so probes can bypass a tunnel.
struct FRWPhysicalInterface {
    QString name;
    QString addr; ///< dotted IPv4
    unsigned index = 0;

    /// Whether an interface name is one of a physical link: "en…" (predictable names of wired
    /// links and the macOS style), "eth…" (classic wired) and "wl…" (wireless). Tunnels (utun, tun,
    /// wg, tap) and virtual bridges never are. The one place that rule lives.
    static bool isPhysicalLinkName(const QString& name);

    /// The first interface that is up, not loopback, has a non-zero IPv4 address and a physical
    /// link's name; nothing when there is none or the list cannot be read.
    static std::optional<FRWPhysicalInterface> find();
};
