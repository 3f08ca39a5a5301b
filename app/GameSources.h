#pragma once

#include "GameFolder.h"
#include "HostPath.h"
#include "Registry.h"

#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The sources of game folder discovery, one file each, and what they share.
namespace qm::discovery {

// The candidates gathered so far. When discovery only wants the folder it uses, the list says "done" at
// the first candidate that decides, so that later sources (and the registry files of further prefixes)
// are not read.
// Each addition looks at stop requests first, so that a long discovery ends soon after Ctrl-C.
class Candidates {
public:
    Candidates(bool stopAtChoice, const DiscoveryWarning& warn)
        : m_stopAtChoice(stopAtChoice), m_warn(warn) {}
    // Adds a folder (as BGpath) and looks for its catalogue; false when the rest need not be asked. A folder
    // holding a NUL byte names no host folder: it is passed over with a warning.
    bool add(std::string source, std::string folder,
             GameCandidate::Use use = GameCandidate::Use::IfCatalogue);
    // Tells the user of a source passed over.
    void warn(const std::string& message) const;
    bool done() const { return m_done; }
    std::vector<GameCandidate> take() { return std::move(m_list); }

private:
    std::vector<GameCandidate> m_list;
    bool m_stopAtChoice;
    const DiscoveryWarning& m_warn;
    bool m_done = false;
    // One mapper for the whole discovery, so that folders the candidates share (a hundred thousand
    // libraries below "/") are listed once.
    HostPaths m_paths;
};

// The registry values that discovery asks for, below HKEY_LOCAL_MACHINE: where the game's installer records
// its folder among the DirectPlay lobby applications, then GOG's records of its two games by product number.
inline const std::array<RegistryQuery, 3> kRegistryValues = {{
    {"SOFTWARE\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate", "Path"},
    {"SOFTWARE\\GOG.com\\Games\\1207658886", "path"}, // Baldur's Gate
    {"SOFTWARE\\GOG.com\\Games\\1207666353", "path"}, // Baldur's Gate: Enhanced Edition
}};
inline constexpr std::size_t kGameValue = 0;
inline constexpr std::size_t kFirstGogValue = 1;

// Where the sources look, worked out once per discovery.
struct Places {
    std::filesystem::path home; // empty when HOME is unset or empty
#ifndef _WIN32
    std::filesystem::path defaultPrefix;          // winePrefix(); empty when unknown
    std::vector<std::filesystem::path> launchers; // launcherPrefixes(home) without the default prefix
    // The kRegistryValues of each prefix's system.reg, read at the first question to the prefix.
    mutable std::map<std::filesystem::path, std::vector<std::string>> prefixValues;
#endif
};
Places findPlaces();

#ifndef _WIN32
// The prefixes in the order the registry sources ask them: the default prefix, then the launchers'.
std::vector<std::filesystem::path> winePrefixes(const Places& places);
// The text of kRegistryValues[index] in a prefix's system.reg: empty when it is missing or of another type.
// The file is read once per discovery for all of them.
const std::string& prefixValue(const Places& places, const std::filesystem::path& prefix, std::size_t index);
#endif

// Text of a host folder as BGpath holds it (UTF-8 on Linux, the ANSI code page on Windows), with its
// separator; and a host path from UTF-8 text as Steam's files hold it.
std::string folderText(const std::filesystem::path& folder);
std::filesystem::path pathFromUtf8(const std::string& utf8);
// What tells two names of one folder (a link such as ~/.steam/steam) for the same folder.
std::filesystem::path folderIdentity(const std::filesystem::path& folder);

// The sources, in the order they are asked.
void fromCommandLine(Candidates& list, const std::optional<std::string>& folder);
void fromEnvironment(Candidates& list);
void fromGameRegistry(Candidates& list, const Places& places);
void fromGogRegistry(Candidates& list, const Places& places);
void fromSteam(Candidates& list, const Places& places);
void fromGogFolders(Candidates& list, const Places& places);
void fromBeamdog(Candidates& list, const Places& places);
void fromCurrentFolder(Candidates& list, const Places& places);

} // namespace qm::discovery
