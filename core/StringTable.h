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
// it, so the running sums are read once, as far as a look-up needs them, and kept. The Enhanced Edition's
// tables hold 100,000 strings, so a window keeps one table rather than reading it again per name.
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
    // String n's bytes: a negative n reads string 0, an n at or past the header's StringCount gives empty
    // text, as does a string the file cuts short.
    std::string get(std::int32_t n);
    // The same as UTF-8, decoded as the table stores its texts.
    std::string text(std::int32_t n) { return gameTextToUtf8(get(n), m_encoding); }
    TextEncoding encoding() const { return m_encoding; }

private:
    void readHeader();

    std::unique_ptr<ByteReader> m_tlk; // null when there is no readable table
    TextEncoding m_encoding = TextEncoding::Windows1252;
    std::int64_t m_count = 0;            // StringCount, unsigned in the file
    std::vector<std::int64_t> m_starts;  // m_starts[k]: where string k begins
    std::vector<std::int16_t> m_lengths; // m_lengths[k]: StringLength of entry k
    bool m_truncated = false;            // the entry table ended before an asked entry
};

} // namespace qm
