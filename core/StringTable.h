#pragma once

#include "Text.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qm {

class ByteReader;
class ByteSource;

// Where the game keeps its string table: BGpath & "Dialog.tlk" in the code page (the original and GOG's
// copy of it), else the Enhanced Edition's lang\<lang>\dialog.tlk in UTF-8. Empty path: neither exists.
struct StringTableFile {
    std::filesystem::path path;
    TextEncoding encoding = TextEncoding::Windows1252;
};
StringTableFile locateStringTable(const std::string& BGpath, const std::string& lang);

// The game's string table: a 18-byte header, then one 26-byte entry per string, then the strings' texts.
// Three fields are read: StringCount and StringDataOffset in the header and each entry's StringLength;
// the texts are taken to lie back to back in the order of the entries, whatever the entries' own
// offsets say.
// Kept open for many look-ups: string n starts at StringDataOffset plus the lengths of the strings before
// it. The running sum is kept at every 1024th entry, as far as a look-up needed it, and the entries of the
// last block of 1024 read are kept whole, so a look-up reads at most one new block beyond the sums it
// extends, and a table's memory grows with the entries asked for by 8 bytes a block, never with the count
// its header declares. The Enhanced Edition's tables hold 100,000 strings, so a window keeps one table
// rather than reading it again per name.
class StringTable {
public:
    // The table locateStringTable finds; none gives empty names, and nothing is created.
    explicit StringTable(const std::string& BGpath, const std::string& lang = {});
    // A table from any source, memory included.
    explicit StringTable(std::unique_ptr<ByteSource> table,
                         TextEncoding encoding = TextEncoding::Windows1252);
    ~StringTable();
    StringTable(const StringTable&) = delete;
    StringTable& operator=(const StringTable&) = delete;
    // String n's bytes: a negative n reads string 0, an n at or past the header's StringCount, or past the
    // whole entries the file holds, gives empty text at once, as does a string the file cuts short.
    std::string get(std::int32_t n);
    // The same as UTF-8, decoded as the table stores its texts.
    std::string text(std::int32_t n) { return gameTextToUtf8(get(n), m_encoding); }
    TextEncoding encoding() const { return m_encoding; }

private:
    void readHeader();
    // Reads the StringLength fields of block b into m_block; false when the file ends before them.
    bool readBlock(std::int64_t b);

    std::unique_ptr<ByteReader> m_tlk; // null when there is no readable table
    TextEncoding m_encoding = TextEncoding::Windows1252;
    std::int64_t m_count = 0;                // StringCount, no more than the file holds entries for
    std::vector<std::int64_t> m_blockStarts; // m_blockStarts[b]: where string 1024 * b begins
    std::vector<std::int16_t> m_block;       // StringLength of each entry of block m_blockIndex
    std::int64_t m_blockIndex = -1;
};

} // namespace qm
