#pragma once

#include "Selection.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qm {

// Where the game keeps archives besides its own folder: the Enhanced Edition's language folder
// lang\<lang>\ (when `lang` is given), the CDn: aliases (n = 1 to 6, in order; one
// alias may list several folders separated by ";") of the [Alias] section of BGpath & "Baldur.ini",
// then the game folder's CD1\ to CD6\. Each is a folder prefix as BGpath is one. An alias below the HD0:
// alias is taken relative to the game folder; any other is a Windows path, used as it is on Windows and
// mapped through the drive links of the Wine prefix that holds the game folder elsewhere (skipped when
// no prefix holds it).
std::vector<std::string> archiveFolders(const std::string& BGpath, const std::string& lang = {});

// The host file of the selected archive: BGpath & targetdir & targetfile & ".bif" when that exists, else
// the first of the same relative name below archiveFolders(BGpath, lang) that does. When none does, the
// first, so that opening it fails with the path as composed.
std::filesystem::path locateArchive(const SelectionState& selection);

} // namespace qm
