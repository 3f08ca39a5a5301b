#pragma once

#include <optional>
#include <string>

namespace qm {

// The Enhanced Edition's language: the folder below BGpath & "lang\" whose dialog.tlk the names come from.
// Asked in this order, and the first whose folder holds a dialog.tlk wins: `requested` (the command
// line's --lang), else the environment variable QUILLMERE_LANG; the game's own choice in Baldur.lua of
// its user folder; lang_dir of the game folder's weidu.conf; en_US; the first folder of lang\ in sorted
// order. Letter case is ignored, as in every file name. Empty when the game has no such table (the
// original keeps Dialog.tlk in its own folder).
std::string gameLanguage(const std::string& BGpath, const std::optional<std::string>& requested = {});

// The language Baldur.lua chooses: the last SetPrivateProfileString('Language','Text','de_DE') line.
// Empty when the file says nothing of it.
std::string luaLanguage(const std::string& luaText);

} // namespace qm
