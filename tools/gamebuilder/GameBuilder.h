#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Writers for the game's KEY, BIF and TLK files, byte by byte. Every stored field that a reader could
// trust wrongly can be overridden, so tests can build broken and hostile files as easily as good ones.
// All values are little-endian; the builders check nothing about what the fields say.
namespace qm::build {

// Little-endian stores into bytes already built, for shapes that no builder field covers.
void storeU16(std::string& bytes, std::size_t offset, std::uint16_t value);
void storeU32(std::string& bytes, std::size_t offset, std::uint32_t value);

// One file of a BIF archive. Its data follow the file table in the order the files were added;
// dataOffset and dataSize override the stored fields only, the data stay where they are.
struct BifFile {
    std::int16_t locatorLow = 0;
    std::int16_t locatorHigh = 0;
    std::int16_t type = 0;
    std::string data;
    std::optional<std::int32_t> dataOffset;
    std::optional<std::int32_t> dataSize;
};

// One tileset of a BIF archive: tileCount tiles of tileSize bytes, its data after the files' data. The
// locator holds the tileset's number in bits 19-14 and 0 in the file bits 13-0.
struct BifTileset {
    std::uint32_t locator = 0;
    std::int32_t tileCount = 0;
    std::int32_t tileSize = 0;
    std::int16_t type = 1003;
    std::string data;
};

// "BIFFV1  ", FileEntryCount (offset 8), TilesetEntryCount (12), OffsetToFileEntries 20 (16); then the
// 16-byte file entries from offset 20, the 20-byte tileset entries (locator, offset, tile count, tile
// size, type, a zero u16), then the data.
class BifBuilder {
public:
    // The game's archives store only the file's table index in its locator, LocatorHigh 0. Indexes
    // above 65535 keep their low 16 bits, as the field does.
    BifFile& add(std::int16_t type, std::string data);
    BifFile& add(std::int16_t locatorLow, std::int16_t locatorHigh, std::int16_t type, std::string data);
    // Stored FileEntryCount instead of the number of files added.
    void setFileEntryCount(std::int32_t count) { m_fileEntryCount = count; }
    BifTileset& addTileset(std::uint32_t locator, std::int32_t tileCount, std::int32_t tileSize,
                           std::string data);

    std::size_t fileCount() const { return m_files.size(); }
    std::string bytes() const;

private:
    std::deque<BifFile> m_files; // a deque keeps the references that add() hands out valid
    std::deque<BifTileset> m_tilesets;
    std::optional<std::int32_t> m_fileEntryCount;
};

// One archive entry of the KEY. A named entry stores its name, NUL-terminated, behind the archive table;
// nameOffset and nameLength override the stored fields (NameLength counts the terminator).
struct KeyArchive {
    std::string name;
    std::uint32_t fileLength = 0;
    std::uint16_t location = 1;
    bool storesName = true;
    std::optional<std::uint32_t> nameOffset;
    std::optional<std::uint16_t> nameLength;
};

// ResRef: up to 8 raw bytes, zero bytes allowed anywhere, padded with zeros to 8.
struct KeyResource {
    std::string resRef;
    std::int16_t type = 0;
    std::int16_t locatorLow = 0;
    std::int16_t locatorHigh = 0;
};

// "KEY V1  ", BifCount (8), ResourceCount (12), BifTableOffset 24 (16), ResourceTableOffset (20); the
// 12-byte archive entries from offset 24, their names, then the 14-byte resource entries.
class KeyBuilder {
public:
    // name as the catalogue holds it, with its folder: "data\\ITEMS.BIF".
    KeyArchive& addArchive(std::string name, std::uint32_t fileLength = 0, std::uint16_t location = 1);
    // An entry with explicit name fields and no stored name of its own.
    KeyArchive& addRawArchive(std::uint32_t nameOffset, std::uint16_t nameLength,
                              std::uint32_t fileLength = 0, std::uint16_t location = 1);
    // Throws std::invalid_argument for a ResRef longer than 8 bytes.
    KeyResource& addResource(std::string resRef, std::int16_t type, std::int16_t locatorLow,
                             std::int16_t locatorHigh);

    // Zero bytes fill the gap from the end of the archive table so the first name starts here.
    void setNamesOffset(std::uint32_t offset) { m_namesOffset = offset; }
    // Stored ResourceTableOffset; the entries themselves stay right behind the names.
    void setResourceTableOffset(std::int32_t offset) { m_resourceTableOffset = offset; }

    std::size_t archiveCount() const { return m_archives.size(); }
    std::size_t resourceCount() const { return m_resources.size(); }
    // Throws std::invalid_argument when the names offset lies inside the archive table or a name is too
    // long for its 16-bit length field.
    std::string bytes() const;

private:
    std::deque<KeyArchive> m_archives;
    std::deque<KeyResource> m_resources;
    std::optional<std::uint32_t> m_namesOffset;
    std::optional<std::int32_t> m_resourceTableOffset;
};

// One string of a TLK. Flags default to 1 with text, plus 2 with a sound; stringLength overrides the
// stored StringLength, the text is still written in full.
struct TlkEntry {
    std::string text;
    std::string soundResRef;
    std::optional<std::uint16_t> flags;
    std::optional<std::uint32_t> stringLength;
};

// "TLK V1  ", LanguageId (8), StringCount (10), StringDataOffset 18 + 26 n (14); 26-byte entries from
// offset 18 (Flags, SoundResRef[8], VolumeVariance, PitchVariance, OffsetToString relative to the string
// data, StringLength at entry offset 22), then the texts back to back.
class TlkBuilder {
public:
    // Returns the new string's number.
    int add(std::string text);
    TlkEntry& entry(int number) { return m_entries.at(static_cast<std::size_t>(number)); }
    void setLanguageId(std::uint16_t id) { m_languageId = id; }

    std::size_t stringCount() const { return m_entries.size(); }
    // Throws std::invalid_argument for a sound ResRef longer than 8 bytes.
    std::string bytes() const;

private:
    std::deque<TlkEntry> m_entries;
    std::uint16_t m_languageId = 0;
};

// Writes the bytes to a new or emptied file, creating its parent folders; throws std::runtime_error.
void writeFile(const std::filesystem::path& path, std::string_view bytes);

// Release: the layout of the original release. Cd: a CD install of another release: Chitin.key and
// dialog.tlk in mixed case, the four listed archives at other table positions with the whole locator in
// their own entries, CHASound.bif below CD1\ named by a Baldur.ini alias, and at the original ITEMS
// position another archive whose items have the same types and numbers as those of Items.bif.
// Ee: laid out as the Enhanced Edition: "/" separators in the catalogue, the listed archives at other
// positions with the whole locator in their own entries, CHASound.bif in lang/en_US/data/ and
// lang/de_DE/data/, no Dialog.tlk in the game folder but lang/en_US/dialog.tlk and lang/de_DE/dialog.tlk in
// UTF-8 with stringCount strings, and item names with letters beyond ASCII, numbered past 32767. Beyond
// the archives of the other layouts (ODDMENTS.BIF, TABLETS.BIF, ... at the same positions) the whole game
// as the edition loads it:
// - data/DEFAULT.BIF at catalogue position 6, its entries last in chitin.key: STATS1.IDS (type 1008,
//   encrypted: FF FF and the game's XOR key), XPLEVEL1.2DA (1012, plain) and, in tileset 1 of its tileset
//   table, AR0010.TIS (1003, two 5120-byte tiles; locator 0x00604000).
// - override/RESREF.ITM: Items.bif's first item again, named by the second item's string (only when
//   Items.bif holds two items or more).
// - dlc/sod-dlc.zip, members timed 2016-03-31 12:00: mod.key (its own catalogue, "/" separators, the whole
//   locator in the archives' entries); data/SODITEMS.BIF, stored: Items.bif's first two items under new
//   names and the new items BDQUIL01, BDLANT02, BDBUCK03; data/SODAREA.BIF, deflated: BD0010.ARE,
//   XPLEVEL1.2DA with another column (replacing DEFAULT.BIF's) and BDGUARD1.CRE; lang/en_US/dialog.tlk:
//   the base English table with the DLC items' five names added at its end.
// So Items.bif's first item is found three times (override wins), its second twice (the DLC wins).
enum class DemoLayout { Release, Cd, Ee };

struct DemoOptions {
    int filesPerArchive = 24;
    unsigned seed = 1;
    // One of "ITEMS", "CREATURE", "SPELLS", "CHASOUND", or empty: that archive then holds bulkFileCount
    // files of up to 20,000 bytes instead, for benchmarks.
    std::string bulkArchive;
    int bulkFileCount = 0;
    DemoLayout layout = DemoLayout::Release;
    // Strings of each Ee table, at least as many as its item names need (about 32,800).
    int stringCount = 40960;
};

// A made-up game folder: "chitin.key", archives under "data/" and "movies/", and "Dialog.tlk" with the
// item names (the layouts above say what else). The same options always give the same bytes. Throws
// std::invalid_argument for counts outside 0 to 65535 or an unknown bulk archive, std::runtime_error when a
// file cannot be written.
void writeDemoGame(const std::filesystem::path& folder, const DemoOptions& options);
void writeDemoGame(const std::filesystem::path& folder, int filesPerArchive = 24, unsigned seed = 1);

} // namespace qm::build
