#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qm {

// The game folder for BGpath, ending in the host's folder separator; the first source that has one wins:
// the environment variable QUILLMERE_GAME_DIR (a host folder; the separator is added when missing; an
// empty variable counts as unset), then the "Path" value of the game's registry key, then nothing, an
// empty text that makes every game file relative to the current folder. On Windows the registry text is
// used as it is; elsewhere it is a Windows path inside the Wine prefix, mapped with mapWinePath.
std::string discoverGameFolder();

// Maps a Windows path as a Wine prefix's registry holds it ("C:\Games\BG\", Windows-1252) to the host
// folder (UTF-8): the drive letter through the link of the same letter in the prefix's "dosdevices"
// folder, each further component found without regard to letter case where it exists. A trailing
// separator is kept. Empty when the path has no drive letter or the drive has no working link.
std::string mapWinePath(const std::filesystem::path& prefix, std::string_view windowsPath);

} // namespace qm
