#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qm {

class ByteReader;
class ByteSource;

// The game's string table, Dialog.tlk: a 18-byte header, then one 26-byte entry per string, then the
// strings' texts. Only two fields are read: StringDataOffset in the header and each entry's StringLength;
// the texts are taken to lie back to back in the order of the entries, whatever the entries' own
// offsets say.
// Kept open for many look-ups: string n starts at StringDataOffset plus the lengths of
// the strings before it, so the running sums are read once and kept.
class StringTable {
public:
    explicit StringTable(const std::string& BGpath);
    // A table from any source, memory included.
    explicit StringTable(std::unique_ptr<ByteSource> table);
    ~StringTable();
    StringTable(const StringTable&) = delete;
    StringTable& operator=(const StringTable&) = delete;
    // Same result as tlkstring(BGpath, n).
    std::string get(std::int16_t n);

private:
    void readHeader();

    std::unique_ptr<ByteReader> m_tlk;   // null when there is no readable table
    std::vector<std::int64_t> m_starts;  // m_starts[k]: where string k begins
    std::vector<std::int16_t> m_lengths; // m_lengths[k]: StringLength of entry k
    bool m_truncated = false;            // the entry table ended before an asked entry
};

} // namespace qm
