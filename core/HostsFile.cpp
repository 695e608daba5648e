#include "HostsFile.h"

#include <fstream>
#include <sstream>

namespace ferrow::core {

HostsFile HostsFile::parse(std::string_view text)
{
    HostsFile hosts;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        if (const auto hash = line.find('#'); hash != std::string::npos) {
            line.erase(hash);
        }
        std::istringstream fields(line);
        std::string addressText;
        if (!(fields >> addressText)) {
            continue;
        }
        const auto address = IpAddr::parse(addressText);
        if (!address) {
            continue;
        }
        std::string name;
        while (fields >> name) {
            hosts.m_names[toLower(name)].push_back(*address);
        }
    }
    return hosts;
}

HostsFile HostsFile::load(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return parse(text.str());
}

const std::vector<IpAddr>* HostsFile::find(std::string_view name) const
{
    const auto it = m_names.find(std::string(name));
    return it == m_names.end() ? nullptr : &it->second;
}

} // namespace ferrow::core
