#pragma once

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

// Orders archive names as a sorted list box does: alphabetically, letter case ignored, duplicates kept.
void sortArchiveNames(std::vector<std::string>& names);

} // namespace qm
