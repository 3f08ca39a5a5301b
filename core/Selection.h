#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// The main window's selection state: the game folder and the archive chosen last. Field names and types
// are the ones every window reads; all start at zero or empty.
struct SelectionState {
    std::int16_t biffid = 0;   // catalogue LocatorHigh of the archive; 999: keep the archive's own
    std::uint8_t nbpart = 0;   // always 1 after a choice; nothing reads it
    std::int32_t begin_i = 0;  // 1-based first file entry of whole-archive extraction
    std::int32_t nbfile = 0;   // FileEntryCount
    std::int32_t nbfile_2 = 0; // the same count, read by the editor
    std::int32_t taillefile = 0;
    std::string targetdir; // "data\" or "movies\"
    std::string BGpath;    // game folder with its trailing separator, or empty
    std::string targetfile;
    // The Enhanced Edition's language folder below lang\ ("en_US"), written with BGpath: its string table
    // and the archives kept in its data\ folder. Empty for a game without one.
    std::string lang;
};

// The 0-based index of the first file entry a walk takes: begin_i counts entries from 1, as the original's
// loop did; nothing before the first entry is ever taken.
constexpr std::int64_t firstEntryIndex(const SelectionState& state) {
    return state.begin_i > 1 ? state.begin_i - 1 : 0;
}

// biffid of an archive base name: the four known archives by lower-cased name, 999 for any other.
std::int16_t biffidFor(std::string_view targetfile);

// BGpath & targetdir & targetfile & ".bif", as composed; locateArchive finds the file itself.
std::string archivePath(const SelectionState& state);

// The state after choosing the list entry `entryText` (such as "CREATURE.BIF") in game folder `BGpath`:
// reads the archive's length and FileEntryCount. Throws FileError when the archive cannot be measured
// or read; the caller's state is then untouched, as it only assigns the result.
SelectionState selectArchive(const std::string& BGpath, std::string_view entryText,
                             const std::string& lang = {});
// The state after choosing any archive of the catalogue by its path relative to the game folder, as the
// catalogue stores it ("data/AR0010.BIF", "lang\\en_US\\data\\X.bif"): its folder becomes targetdir,
// so BGpath & targetdir & targetfile & ".bif" names the file itself. The four listed archives keep their
// fixed biffid. Throws as selectArchive does.
SelectionState selectArchiveAt(const std::string& BGpath, std::string_view relativePath,
                               const std::string& lang);
class ByteReader;
// The same with the archive read from `bif`, wherever its bytes are.
SelectionState selectArchive(const std::string& BGpath, std::string_view entryText, ByteReader& bif);

} // namespace qm
