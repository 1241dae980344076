#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

namespace quorvane::test {

/// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir()
    {
        // A random name, taken only when no folder of that name was there (Windows has no mkdtemp;
        // a failure to create one throws).
        std::random_device random;
        do {
            m_path = std::filesystem::temp_directory_path() /
                     ("quorvane-test-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(m_path));
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &Path() const { return m_path; }
    std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

    /// Writes a file with the given bytes and returns its path.
    std::filesystem::path Write(std::string_view name, std::string_view bytes) const
    {
        const auto path = m_path / name;
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

private:
    std::filesystem::path m_path;
};

} // namespace quorvane::test
