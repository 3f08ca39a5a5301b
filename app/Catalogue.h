#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// The supported archives that the first 141 archive entries of BGpath & "chitin.key" name, in catalogue
// order and stored letter case. An empty result when there is no catalogue. Throws FatalFileError when
// the existence test fails unexpectedly, FileError when the catalogue cannot be read.
std::vector<std::string> listbifs(const std::string& BGpath);

class ByteReader;
// The scan itself, over a catalogue already open (a file or memory).
std::vector<std::string> listbifs(ByteReader& key);

// What a catalogue holds of the tables its header announces, so that a cut file can be told from a whole
// one. Counts are the header's (unsigned); "held" counts the whole entries the file has room for.
struct CatalogueShape {
    bool found = false;       // BGpath & "chitin.key" is a file
    bool headerWhole = false; // its 24-byte header is all there
    std::uint32_t archiveCount = 0;
    std::uint64_t archivesHeld = 0;
    std::uint32_t resourceCount = 0;
    std::uint64_t resourcesHeld = 0; // 0 when the table's offset lies outside the file
};
CatalogueShape inspectCatalogue(const std::string& BGpath);

// Orders archive names as a sorted list box does: alphabetically, letter case ignored, duplicates kept.
void sortArchiveNames(std::vector<std::string>& names);

} // namespace qm
