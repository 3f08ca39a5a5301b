#pragma once

#include "ByteReader.h"
#include "Records.h"
#include "Selection.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace qm {

class ByteSource;
class HostPaths;

// Where a walk reads the catalogue and the archive: each call opens one afresh (the walk reads the archive
// through two readers). The game folder's files by default; memory serves tests and fuzzers.
struct ArchiveInputs {
    std::function<std::unique_ptr<ByteSource>()> catalogue;
    std::function<std::unique_ptr<ByteSource>()> archive;
};

// The selected game's catalogue and archive (locateArchive), the catalogue mapped through a copy of `paths`
// (with its cached listings), so that the factories may outlive the caller's mapper.
ArchiveInputs hostSources(const SelectionState& selection, const HostPaths& paths);

// The files that a walk of `count` entries from the selection's begin_i takes, and the bytes of their data,
// up to the first entry that the walk or its copy fails on (a table entry or data beyond the archive), as
// that failure ends a run there.
struct WalkAhead {
    std::int64_t files = 0;
    std::int64_t dataBytes = 0;
};
WalkAhead walkAhead(ByteReader& archive, const SelectionState& selection, std::int32_t count);

// One walk over an archive's file table, naming each file from the catalogue. Whole-archive extraction
// and the editor's list share it so that both name every file the same way.
class ArchiveWalk {
public:
    struct File {
        std::int64_t index = 0; // 0-based position in the file table
        BifFileEntry entry;     // LocatorHigh already replaced by the catalogue's value
        std::string text;       // safe name, "." and extension
    };

    // `count` is the file entry count the caller holds for the archive.
    ArchiveWalk(const SelectionState& selection, std::int32_t count, const ArchiveInputs& sources);

    std::int64_t archiveLength() const { return m_bif.length(); }
    ByteReader& archive() { return m_bif; }

    // The next file, or nothing once the table's last entry is done: every entry is walked once,
    // whatever its LocatorLow says.
    std::optional<File> next();

private:
    std::vector<std::uint32_t> fileKeys();
    std::string nameFor(const File& file);
    const std::unordered_map<std::uint64_t, std::size_t>& lookup();

    // The table has a reader of its own, so reading it stays apart from the data being copied.
    ByteReader m_table;
    FileTableBlocks m_entries{m_table};
    ByteReader m_bif;
    bool m_replaceHigh;
    bool m_documentedTypes = false; // an archive beyond the four: the format's type table // one of the four
                                    // listed archives (biffid other than 999)
    std::int16_t m_high;
    std::int32_t m_count;
    std::int64_t m_first; // 0-based index of the first entry walked
    std::int64_t m_index = 0;
    std::vector<KeyResourceRecord> m_catalogue;
    std::size_t m_scan = 0;
    std::optional<std::unordered_map<std::uint64_t, std::size_t>> m_lookup;
};

} // namespace qm
