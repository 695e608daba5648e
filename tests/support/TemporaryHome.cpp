#include "TemporaryHome.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ferrow::test {

TemporaryHome::TemporaryHome()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ferrow-home-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary home");
    }
    m_root = pattern;
    std::filesystem::create_directories(dataHome());
    std::filesystem::create_directories(configHome());
    std::filesystem::create_directories(m_root / "cache");
    point("HOME", m_root);
    point("XDG_DATA_HOME", dataHome());
    point("XDG_CONFIG_HOME", configHome());
    point("XDG_CACHE_HOME", m_root / "cache");
}

TemporaryHome::~TemporaryHome()
{
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->value) {
            setenv(it->name.c_str(), it->value->c_str(), 1);
        } else {
            unsetenv(it->name.c_str());
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

void TemporaryHome::point(const char* name, const std::filesystem::path& path)
{
    const char* old = std::getenv(name);
    m_saved.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    setenv(name, path.c_str(), 1);
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

} // namespace ferrow::test
