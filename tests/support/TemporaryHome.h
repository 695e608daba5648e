#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ferrow::test {

/// Points HOME, XDG_DATA_HOME, XDG_CONFIG_HOME and XDG_CACHE_HOME into a fresh temporary folder
/// for the lifetime of the object, then restores the old values and removes the folder.
class TemporaryHome {
public:
    TemporaryHome();
    ~TemporaryHome();
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    const std::filesystem::path& root() const { return m_root; }
    std::filesystem::path dataHome() const { return m_root / "data"; }
    std::filesystem::path configHome() const { return m_root / "config"; }

private:
    struct SavedVariable {
        std::string name;
        std::optional<std::string> value;
    };

    void point(const char* name, const std::filesystem::path& path);

    std::filesystem::path m_root;
    std::vector<SavedVariable> m_saved;
};

/// Reads a whole file as bytes; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);
/// Writes bytes to a file, creating parent folders.
void writeFile(const std::filesystem::path& path, const std::string& bytes);

} // namespace ferrow::test
