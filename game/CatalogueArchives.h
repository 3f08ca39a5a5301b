#pragma once

#include <string>
#include <vector>

namespace qm {

// The archives of BGpath & "chitin.key" that are on disk (found as locateArchive finds them), as the
// catalogue stores their names ("data/AR0010.BIF"), in its table's order: what the main window lists with
// "All archives" checked. Reads the catalogue only; none without one.
std::vector<std::string> catalogueArchivesOnDisk(const std::string& BGpath, const std::string& lang);

} // namespace qm
