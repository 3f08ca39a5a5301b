#pragma once

#include "WinePath.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The game folder for BGpath, ending in the host's folder separator; the first source that has one wins:
// the environment variable QUILLMERE_GAME_DIR (a host folder; the separator is added when missing; an
// empty variable counts as unset), then the "Path" value of the game's registry key, then nothing, an
// empty text that makes every game file relative to the current folder. On Windows the registry text is
// used as it is; elsewhere it is a Windows path inside the Wine prefix, mapped with mapWinePath.
// When the default prefix ($WINEPREFIX, else ~/.wine) has no game with a catalogue, the prefixes of the
// common launchers are asked in turn (launcherPrefixes); the first whose value maps to a folder holding
// chitin.key wins, else the default prefix's folder is used as it is.
std::string discoverGameFolder();

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
