#pragma once

#include "GameFolder.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The sources of game folder discovery, one file each, and what they share.
namespace qm::discovery {

// The candidates gathered so far. When discovery only wants the folder it uses, the list says "done" at
// the first candidate that decides, so that later sources (and the registry files of further prefixes)
// are not read.
class Candidates {
public:
    explicit Candidates(bool stopAtChoice) : m_stopAtChoice(stopAtChoice) {}
    // Adds a folder (as BGpath) and looks for its catalogue; false when the rest need not be asked.
    bool add(std::string source, std::string folder,
             GameCandidate::Use use = GameCandidate::Use::IfCatalogue);
    bool done() const { return m_done; }
    std::vector<GameCandidate> take() { return std::move(m_list); }

private:
    std::vector<GameCandidate> m_list;
    bool m_stopAtChoice;
    bool m_done = false;
};

// Where the sources look, worked out once per discovery.
struct Places {
    std::filesystem::path home; // empty when HOME is unset or empty
#ifndef _WIN32
    std::filesystem::path defaultPrefix;          // winePrefix(); empty when unknown
    std::vector<std::filesystem::path> launchers; // launcherPrefixes(home) without the default prefix
#endif
};
Places findPlaces();

#ifndef _WIN32
// The prefixes in the order the registry sources ask them: the default prefix, then the launchers'.
std::vector<std::filesystem::path> winePrefixes(const Places& places);
// A text value of a prefix's system.reg, read afresh for each prefix: empty when it is missing or of
// another type.
std::string prefixValue(const std::filesystem::path& prefix, const std::string& keyPath,
                        const std::string& valueName);
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
