#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "NetAddress.h"

namespace ferrow::core {

/// Names from a hosts(5) file, looked up before any resolver is asked.
class HostsFile {
public:
    static HostsFile parse(std::string_view text);
    static HostsFile load(const std::string& path);

    /// Addresses for a lower-case name, in file order; empty when the file does not name it.
    const std::vector<IpAddr>* find(std::string_view name) const;

private:
    std::unordered_map<std::string, std::vector<IpAddr>> m_names;
};

} // namespace ferrow::core
