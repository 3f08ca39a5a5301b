#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qm::test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // The folder as a game-style prefix with its trailing separator, as BGpath holds it.
    std::string prefix() const;
    std::filesystem::path operator/(std::string_view relative) const { return m_path / relative; }

private:
    std::filesystem::path m_path;
};

// Makes `dir` the current folder for the lifetime of the guard.
class CurrentDir {
public:
    explicit CurrentDir(const std::filesystem::path& dir);
    ~CurrentDir();
    CurrentDir(const CurrentDir&) = delete;
    CurrentDir& operator=(const CurrentDir&) = delete;

private:
    std::filesystem::path m_previous;
};

void writeBytes(const std::filesystem::path& path, std::string_view bytes);
std::string readBytes(const std::filesystem::path& path);

} // namespace qm::test
