#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qm {

// Maps game-style paths ("\" separators, 8-bit text, letter case as the game spells it) to host paths.
// On Linux "\" becomes "/", each component that already exists is found without regard to ASCII letter
// case (an exact match first), and components that do not exist yet keep their spelling. A component that
// is not valid UTF-8 is taken as Windows-1252 and converted. One mapper caches the folder listings it
// has read, so a run that writes thousands of files into one folder reads that folder once; keep a
// mapper for one operation only, and tell it about files it creates.
class HostPaths {
public:
    std::filesystem::path map(std::string_view gamePath);
    // Records a file or folder created under a mapped path so later look-ups in its folder see it.
    void noteCreated(const std::filesystem::path& hostPath);

private:
    using Listing = std::unordered_map<std::string, std::string>; // upper-cased name -> name on disk
    const Listing& listing(const std::string& hostDir);

    std::unordered_map<std::string, Listing> m_listings;
};

// One-off mapping without a cache.
std::filesystem::path hostPath(std::string_view gamePath);

// A host path as text for messages (UTF-8 on Linux).
std::string displayPath(const std::filesystem::path& path);

} // namespace qm
