#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qm {

class ByteReader;
class StringTable;

// Where the game finds a resource, in the order it looks: override/ first, then the DLCs, then the
// archives of chitin.key.
enum class ResourceLayer { Override, Dlc, Archive };

// One archive that a catalogue (chitin.key, or a DLC's mod.key) names.
struct GameArchive {
    std::size_t index = 0;           // position in its catalogue's archive table
    std::string name;                // as the catalogue stores it ("data/ITEMS.BIF"), Windows-1252 bytes
    std::uint32_t resources = 0;     // resource entries of its catalogue that name it
    std::uint32_t size = 0;          // the archive's length as its catalogue records it
    std::optional<std::string> path; // the file found, as shown (UTF-8); a DLC's member as ZIP/MEMBER
    std::string catalogue; // "chitin.key", or the DLC's path from the game folder: "dlc/sod-dlc.zip"
    ResourceLayer layer = ResourceLayer::Archive; // Archive or Dlc
};

// One copy of a resource.
struct GameResource {
    std::string resRef;     // ASCII letters upper-cased, at most 8 bytes, up to the first NUL
    std::uint16_t type = 0; // the catalogue's type code (an override file's by its extension)
    std::string name;       // RESREF.EXT, the extension by the format's documented table
    ResourceLayer layer = ResourceLayer::Archive;
    std::optional<std::size_t> archive; // into GameResources::archives(); none for override/
    std::optional<std::int64_t> size;   // none where its archive is missing
    bool missing = false;               // its archive is not on disk (or cannot be read)
    bool hidden = false;                // another copy is the one the game loads
    std::uint32_t locator = 0;          // the catalogue's locator (archives only)
    std::string overrideFile;           // the host path of an override/ file
};

// The whole game as it loads: override/ > DLCs (zips or folders holding mod.key) > chitin.key's archives,
// and within one catalogue the later entry of a name wins.
class GameResources {
public:
    using Warn = std::function<void(const std::string&)>;
    // Reads the catalogues and lists override/ and the DLCs of the game at BGpath (a folder prefix as
    // SelectionState::BGpath). `lang` is the Enhanced Edition's language (archives in lang/<lang>/data/,
    // the string table). What leaves the rest usable (a damaged zip, an archive that is not on disk, a
    // catalogue that lies about its counts) goes to `warn`, one message each, naming the file; no chitin.key
    // is FileError 53.
    GameResources(const std::string& BGpath, const std::string& lang, const Warn& warn);
    // Only the resources whose ResRef (upper-cased) and type `wanted` accepts, for callers that need a few
    // of a large game: the archives of no wanted resource are not read beyond the catalogue.
    using Wanted = std::function<bool(const std::string& resRef, std::uint16_t type)>;
    GameResources(const std::string& BGpath, const std::string& lang, const Warn& warn, const Wanted& wanted);
    ~GameResources();
    GameResources(const GameResources&) = delete;
    GameResources& operator=(const GameResources&) = delete;

    // Every archive of chitin.key in its table's order, then each DLC's.
    const std::vector<GameArchive>& archives() const;
    // Each resource once, the copy the game loads, sorted by name (ASCII letter case ignored, then type).
    // With allCopies the hidden copies follow the copy that hides them, marked hidden.
    std::vector<GameResource> resources(bool allCopies = false) const;
    // The same, handed to `each` one by one without a copy of the list.
    void forEach(bool allCopies, const std::function<void(const GameResource&)>& each) const;

    // Where a resource's bytes lie: a reader that this object keeps open (one per archive, zip member or
    // override file) and the data's 0-based offset and size in it. FileError 53 naming the archive for a
    // missing one, 62 for data that reach past the archive's end.
    struct Bytes {
        ByteReader* reader = nullptr;
        std::int64_t offset = 0;
        std::int64_t size = 0;
    };
    Bytes locate(const GameResource& resource);

    // The string table the game names items from: a DLC's lang/<lang>/dialog.tlk when there is one, else
    // the game's own (locateStringTable).
    std::unique_ptr<StringTable> stringTable() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The string table that names the items of the game at BGpath: a DLC's lang/<lang>/dialog.tlk when one is
// there, as the game uses it, else the game's own (StringTable(BGpath, lang)).
std::unique_ptr<StringTable> itemNameTable(const std::string& BGpath, const std::string& lang);

} // namespace qm
