#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace qm {

// Maps game-style paths ("\" separators, 8-bit text, letter case as the game spells it) to host paths.
// On Linux "\" becomes "/", each component that already exists is found without regard to ASCII letter
// case (an exact match first), and components that do not exist yet keep their spelling. Game text is
// Windows-1252; a path that may start with a host folder (BGpath) keeps that folder's bytes as they are
// (on Linux up to its last "/") and the game-style components behind it that are valid UTF-8, while output
// paths, made of game text only, convert every one, so that no two game names meet in one host name. One
// mapper caches the folder listings it has read, so a run that writes thousands of files into one folder
// reads that folder once; keep a mapper for one operation only, and tell it about files it creates.
enum class PathText {
    HostPrefixed, // may begin with a host folder
    GameOnly,     // game text throughout
};

class HostPaths {
public:
    // `exists` (when given) tells whether the whole path was found.
    std::filesystem::path map(std::string_view gamePath, bool* exists = nullptr,
                              PathText text = PathText::HostPrefixed);
    // One name of game text inside a host folder this mapper returned, found as map() finds a path's
    // last component. Outputs are built this way inside the one folder that was checked, so that another
    // spelling of the folder's name can never lead elsewhere. A name holding a separator, "." or ".." is 52.
    std::filesystem::path within(const std::filesystem::path& hostFolder, std::string_view gameName,
                                 bool* exists = nullptr);
    // Records a file or folder created under a mapped path so later look-ups in its folder see it.
    void noteCreated(const std::filesystem::path& hostPath);

private:
    // A folder's names, upper-cased to the first name on disk of that spelling; the rare names that
    // differ from another only in letter case are kept besides, so exact matches find them too.
    struct Names {
        std::unordered_map<std::string, std::string> folded;
        std::unordered_set<std::string> otherCases;
        void add(std::string name);
        bool hasExact(const std::string& name, const std::string& upper) const;
    };
    // At first a folder is listed as fingerprints of its upper-cased names, which tell a name that is
    // surely absent; the names themselves are read at the first look-up that may find one. A run that
    // writes new names into a crowded folder so never holds its names.
    struct Listing {
        // Open addressing, as a folder may hold tens of thousands of names and a run adds as many; 0 marks
        // a free slot, so no fingerprint is 0.
        std::vector<std::uint64_t> fingerprints = std::vector<std::uint64_t>(64);
        std::size_t count = 0;
        std::optional<Names> names;
        void add(std::uint64_t fingerprint);
        bool mayHold(std::string_view name) const;
    };
    Listing& listing(const std::string& hostDir);
    const Names& names(const std::string& hostDir, Listing& listing);
    // Resolves one component below an existing host folder; returns false when it does not exist.
    bool resolve(const std::string& parent, const std::string& component, std::string& resolved);

    std::unordered_map<std::string, Listing> m_listings;
    std::unordered_map<std::string, std::string>
        m_folders; // game-style folder prefix -> existing host folder
};

// One-off mapping without a cache.
std::filesystem::path hostPath(std::string_view gamePath, PathText text = PathText::HostPrefixed);

// A host path as text for messages, in UTF-8.
std::string displayPath(const std::filesystem::path& path);

} // namespace qm
