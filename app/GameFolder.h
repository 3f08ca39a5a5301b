#pragma once

#include "WinePath.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// One folder that a source of discovery names, in the order the sources are asked:
//   1. the folder given on the command line;
//   2. the environment variable QUILLMERE_GAME_DIR (an empty variable counts as unset);
//   3. the "Path" value of the original game's registry key: on Windows the registry; elsewhere the
//      default Wine prefix (see winePrefix), then the launchers' prefixes (launcherPrefixes), each value
//      mapped to the host with mapWinePath;
//   4. GOG's "path" values of the original (1207658886) and the Enhanced Edition (1207666353) below
//      HKLM\SOFTWARE\GOG.com\Games, in the same registries and prefixes;
//   5. Steam's libraries (its own folder and those of steamapps/libraryfolders.vdf), app 228280;
//   6. GOG's Linux folders ~/GOG Games/<game>/game;
//   7. Beamdog's folder on Windows, %ProgramFiles(x86)%\BeamDog\Games\00806;
//   8. the current folder.
struct GameCandidate {
    // How a folder counts when it holds no catalogue.
    enum class Use {
        Given,       // the user named it: used whatever it holds
        IfCatalogue, // used only when it holds chitin.key
        Fallback,    // used as it is when no folder holds a catalogue, the first such one
    };
    std::string source;        // where it comes from, as `quillmere-cli games` names it
    std::string folder;        // as BGpath: ending in the separator; empty for the current folder
    bool hasCatalogue = false; // chitin.key is there, found without regard to letter case
    Use use = Use::IfCatalogue;
};

// Told of a source that discovery passed over (a Steam file naming a folder with a NUL byte, say), in
// UTF-8 with the host's bytes as they are. The default writes the message to standard error, its control
// codes escaped.
using DiscoveryWarning = std::function<void(const std::string& message)>;
void warnOnStandardError(const std::string& message);

// Every folder that each source names, in order. Discovery looks at stop requests (core/Interrupt.h)
// between folders, prefixes and registry lines, and throws Interrupted once one was made.
std::vector<GameCandidate> gameFolderCandidates(const std::optional<std::string>& commandLineFolder,
                                                const DiscoveryWarning& warn = warnOnStandardError);

// The candidate used: the first given folder, else the first with a catalogue, else the first fallback
// (the default prefix's registry folder as it is, then the current folder). candidates.size() when the
// list has none of these.
std::size_t chosenCandidate(const std::vector<GameCandidate>& candidates);

// The game folder for BGpath, ending in the host's folder separator, as chosenCandidate chooses among the
// candidates; the sources after the one that decides are not asked. Without a command-line folder the
// first source is QUILLMERE_GAME_DIR (a host folder; the separator is added when missing).
std::string discoverGameFolder();
std::string discoverGameFolder(const std::optional<std::string>& commandLineFolder,
                               const DiscoveryWarning& warn = warnOnStandardError);

// A host folder as the user gives it, as BGpath: the host's separator added when it has none at its end.
std::string withFolderSeparator(std::string folder);

#ifndef _WIN32
// The Wine prefixes of the common launchers below a home folder, in the order they are asked: Lutris
// (~/Games/*), Heroic (~/Games/Heroic/Prefixes/* and .../default/*), Bottles, PlayOnLinux, and Steam's
// Proton prefixes (steamapps/compatdata/*/pfx of its three usual homes). A folder counts when it holds
// system.reg; each pattern's folders come in sorted order. Nothing deeper is looked at.
std::vector<std::filesystem::path> launcherPrefixes(const std::filesystem::path& home);
#endif

} // namespace qm
