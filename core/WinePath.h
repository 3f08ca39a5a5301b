#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qm {

// Maps a Windows path as a Wine prefix holds it ("C:\Games\BG\", Windows-1252) to the host folder
// (UTF-8): the drive letter through the link of the same letter in the prefix's "dosdevices" folder, each
// further component found without regard to letter case where it exists. A trailing separator is kept.
// Empty when the path has no drive letter or the drive has no working link.
std::string mapWinePath(const std::filesystem::path& prefix, std::string_view windowsPath);

// The Wine prefix that holds a host folder: the nearest folder at or above it with a "dosdevices"
// folder. Empty when there is none.
std::filesystem::path enclosingWinePrefix(const std::filesystem::path& folder);

} // namespace qm
