#include "GameResources.h"

#include "ArchiveLocation.h"
#include "BifIndex.h"
#include "ByteReader.h"
#include "ByteSource.h"
#include "CatalogueArchives.h"
#include "FileError.h"
#include "HostPath.h"
#include "KeyFile.h"
#include "SafeName.h"
#include "StringTable.h"
#include "Text.h"
#include "TypeTable.h"
#include "ZipArchive.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>
#include <tuple>

namespace qm {

namespace fs = std::filesystem;

namespace {

// Which copy of a name the game loads: the lowest rank. Override first, then the DLCs in the order they
// were found, then chitin.key; within one catalogue the later entry.
using Rank = std::tuple<int, std::size_t, std::int64_t>;

std::string utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

fs::path pathOfUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

bool isRegularFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool isFolder(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::string withBackslashes(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// A folder's entries sorted by name, so that what is found first does not depend on the file system.
std::vector<fs::directory_entry> sortedEntries(const fs::path& folder, std::string& error) {
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    if (ec)
        error = ec.message();
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    return entries;
}

// An archive of chitin.key at its stored path below the game folder, else where the game keeps archives
// besides (`folders`: its language folder, the CD folders and their aliases).
std::optional<fs::path> findArchiveFile(HostPaths& paths, const std::string& BGpath,
                                        const std::vector<std::string>& folders,
                                        const std::string& relative) {
    const std::string game = withBackslashes(relative);
    bool there = false;
    fs::path file = paths.map(BGpath + game, &there);
    if (there && isRegularFile(file))
        return file;
    for (const std::string& folder : folders) {
        file = paths.map(folder + game, &there);
        if (there && isRegularFile(file))
            return file;
    }
    return std::nullopt;
}

bool hasZipExtension(const fs::path& path) {
    return equalsIgnoreCase(utf8Of(path.extension()), ".zip");
}

} // namespace

struct GameResources::State {
    // How one archive's bytes are reached, and its tables once read.
    struct ArchiveSource {
        std::optional<fs::path> hostFile;
        std::shared_ptr<const ZipArchive> zip;
        std::size_t member = 0;
        std::string label; // what messages call it
        BifIndex index;
        bool readable = false;
        std::unique_ptr<ByteReader> reader; // opened by the first locate()
    };
    // A DLC: a zip or a folder holding a catalogue, and where its string table lies.
    struct Dlc {
        std::string catalogue;
        std::shared_ptr<const ZipArchive> zip;
        std::optional<std::size_t> tlkMember;
        std::optional<fs::path> tlkFile;
    };
    struct Copy {
        GameResource resource;
        Rank rank;
    };

    std::string BGpath;
    std::string lang;
    Warn warn;
    Wanted wanted; // empty: every resource
    HostPaths paths;
    std::vector<GameArchive> archives;
    std::vector<ArchiveSource> sources;
    std::vector<Dlc> dlcs;
    std::vector<Copy> copies; // in the order resources() gives them
    std::map<std::string, std::unique_ptr<ByteReader>> overrideReaders;

    void say(const std::string& file, const std::string& what) const {
        if (warn)
            warn(file + ": " + what);
    }

    std::unique_ptr<ByteSource> openSource(const ArchiveSource& source) const {
        if (source.zip)
            return source.zip->open(source.member);
        return openFileSource(*source.hostFile, ByteReader::kSequentialBuffer);
    }

    void listOverride();
    void findDlcs();
    void addDlc(const fs::path& path, const std::string& catalogue, bool mustHoldCatalogue);
    void addDlcFolder(const std::string& prefix, const std::string& catalogue);
    void addCatalogue(const KeyFile& key, const std::string& catalogue, ResourceLayer layer,
                      std::size_t dlcOrder, const std::function<ArchiveSource(const std::string&)>& find);
    void rankCopies();
};

void GameResources::State::listOverride() {
    bool found = false;
    const fs::path folder = paths.map(BGpath + "override", &found);
    if (!found || !isFolder(folder))
        return;
    std::string error;
    const auto entries = sortedEntries(folder, error);
    if (!error.empty())
        say(utf8Of(folder), error);
    std::int64_t order = 0;
    for (const fs::directory_entry& entry : entries) {
        const std::string shown = "override/" + utf8Of(entry.path().filename());
        std::error_code ec;
        const fs::file_status status = entry.symlink_status(ec);
        const std::optional<std::uint16_t> type =
            documentedType(utf8Of(entry.path().extension()).substr(entry.path().has_extension() ? 1 : 0));
        // Only a regular file is read: a link may lead out of the game, a pipe would never end.
        if (ec || !fs::is_regular_file(status)) {
            say(shown, "not a regular file, passed over");
            continue;
        }
        if (!type || !entry.path().has_extension())
            continue; // not a resource: a read-me or a backup
        bool lossless = false;
        const std::string resRef = utf8ToCp1252(utf8Of(entry.path().stem()), &lossless);
        if (!lossless || resRef.empty() || resRef.size() > 8) {
            say(shown, "not a name the game loads (1 to 8 characters), passed over");
            continue;
        }
        const std::uintmax_t size = entry.file_size(ec);
        if (wanted && !wanted(asciiUpper(resRef), *type))
            continue;
        Copy copy;
        copy.resource.resRef = asciiUpper(resRef);
        copy.resource.type = *type;
        copy.resource.layer = ResourceLayer::Override;
        copy.resource.size = ec ? std::optional<std::int64_t>() : static_cast<std::int64_t>(size);
        copy.resource.overrideFile = utf8Of(entry.path());
        copy.rank = Rank{0, 0, order++};
        copies.push_back(std::move(copy));
    }
}

void GameResources::State::findDlcs() {
    bool found = false;
    const fs::path dlcFolder = paths.map(BGpath + "dlc", &found);
    if (found && isFolder(dlcFolder)) {
        std::string error;
        for (const fs::directory_entry& entry : sortedEntries(dlcFolder, error)) {
            const std::string name = utf8Of(entry.path().filename());
            if (isFolder(entry.path())) {
                addDlcFolder(BGpath + "dlc\\" + name + "\\", "dlc/" + name);
            } else if (hasZipExtension(entry.path())) {
                addDlc(entry.path(), "dlc/" + name, true);
            }
        }
        if (!error.empty())
            say(utf8Of(dlcFolder), error);
    }
    // Zips beside chitin.key count when they hold a catalogue; any other zip there is not the game's.
    const fs::path gameFolder = hostPath(BGpath.empty() ? "." : BGpath);
    std::string error;
    for (const fs::directory_entry& entry : sortedEntries(gameFolder, error))
        if (hasZipExtension(entry.path()) && isRegularFile(entry.path()))
            addDlc(entry.path(), utf8Of(entry.path().filename()), false);
}

void GameResources::State::addDlcFolder(const std::string& prefix, const std::string& catalogue) {
    for (const char* keyName : {"mod.key", "chitin.key"}) {
        bool hasKey = false;
        const fs::path keyFile = paths.map(prefix + keyName, &hasKey);
        if (!hasKey || !isRegularFile(keyFile))
            continue;
        KeyFile key;
        try {
            key = KeyFile::read(*openFileSource(keyFile, ByteReader::kSequentialBuffer));
        } catch (const FileError& e) {
            say(catalogue + "/" + keyName, e.description());
            return;
        }
        for (const std::string& problem : key.problems())
            say(catalogue + "/" + keyName, problem);
        Dlc dlc;
        dlc.catalogue = catalogue;
        bool hasTlk = false;
        const fs::path tlk = paths.map(prefix + "lang\\" + lang + "\\dialog.tlk", &hasTlk);
        if (!lang.empty() && hasTlk && isRegularFile(tlk))
            dlc.tlkFile = tlk;
        dlcs.push_back(dlc);
        addCatalogue(key, catalogue, ResourceLayer::Dlc, dlcs.size(),
                     [this, &prefix](const std::string& relative) {
                         ArchiveSource source;
                         bool there = false;
                         const fs::path file = paths.map(prefix + withBackslashes(relative), &there);
                         source.label = displayPath(file);
                         if (there && isRegularFile(file))
                             source.hostFile = file;
                         return source;
                     });
        return;
    }
}

void GameResources::State::addDlc(const fs::path& path, const std::string& catalogue,
                                  bool mustHoldCatalogue) {
    if (!isRegularFile(path)) {
        say(catalogue, "not a regular file, passed over");
        return;
    }
    std::shared_ptr<const ZipArchive> zip;
    try {
        zip = std::make_shared<const ZipArchive>(path);
    } catch (const FileError& e) {
        say(catalogue, e.description());
        return;
    }
    std::optional<std::size_t> keyMember = zip->find("mod.key");
    if (!keyMember)
        keyMember = zip->find("chitin.key");
    if (!keyMember) {
        if (mustHoldCatalogue)
            say(catalogue, "holds no mod.key, passed over");
        return;
    }
    Dlc dlc;
    dlc.catalogue = catalogue;
    dlc.zip = zip;
    if (!lang.empty())
        dlc.tlkMember = zip->find("lang/" + lang + "/dialog.tlk");
    KeyFile key;
    try {
        key = KeyFile::read(*zip->open(*keyMember));
    } catch (const FileError& e) {
        say(catalogue + "/" + zip->members()[*keyMember].name, e.description());
        return;
    }
    for (const std::string& problem : key.problems())
        say(catalogue + "/" + zip->members()[*keyMember].name, problem);
    dlcs.push_back(dlc);
    addCatalogue(key, catalogue, ResourceLayer::Dlc, dlcs.size(), [&zip](const std::string& relative) {
        ArchiveSource source;
        source.label = zip->name() + "/" + relative;
        if (const auto member = zip->find(relative)) {
            source.zip = zip;
            source.member = *member;
            source.label = zip->name() + "/" + zip->members()[*member].name;
        }
        return source;
    });
}

void GameResources::State::addCatalogue(const KeyFile& key, const std::string& catalogue, ResourceLayer layer,
                                        std::size_t dlcOrder,
                                        const std::function<ArchiveSource(const std::string&)>& find) {
    const std::size_t first = archives.size();
    const auto& entries = key.resources();
    // Which entries are wanted, and so which archives' tables are read.
    std::vector<bool> wantedEntry(entries.size(), true);
    std::vector<bool> tableNeeded(key.archives().size(), !wanted);
    if (wanted)
        for (std::size_t k = 0; k < entries.size(); ++k) {
            wantedEntry[k] = wanted(asciiUpper(entries[k].resRef), entries[k].type);
            if (wantedEntry[k] && locatorArchive(entries[k].locator) < tableNeeded.size())
                tableNeeded[locatorArchive(entries[k].locator)] = true;
        }
    for (std::size_t k = 0; k < key.archives().size(); ++k) {
        const KeyFile::Archive& stored = key.archives()[k];
        GameArchive archive;
        archive.index = k;
        archive.name = stored.name;
        archive.size = stored.size;
        archive.catalogue = catalogue;
        archive.layer = layer;
        ArchiveSource source = find(archiveRelativePath(stored.name));
        if ((source.zip || source.hostFile) && !tableNeeded[k]) {
            archive.path = source.label;
        } else if (source.zip || source.hostFile) {
            archive.path = source.label;
            try {
                const std::unique_ptr<ByteSource> bytes = openSource(source);
                source.index = BifIndex::read(*bytes);
                for (const std::string& problem : source.index.problems())
                    say(source.label, problem);
                source.readable = !source.index.files().empty() || !source.index.tilesets().empty() ||
                                  source.index.problems().empty();
            } catch (const FileError& e) {
                say(source.label, e.description());
            }
        } else {
            say(catalogue, "names the archive " + cp1252ToUtf8(stored.name) + ", which is not there");
        }
        archives.push_back(std::move(archive));
        sources.push_back(std::move(source));
    }

    std::size_t pastTable = 0;
    std::vector<std::size_t> notInTables(key.archives().size());
    copies.reserve(copies.size() +
                   static_cast<std::size_t>(std::count(wantedEntry.begin(), wantedEntry.end(), true)));
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const KeyFile::Resource& entry = entries[k];
        const std::uint32_t at = locatorArchive(entry.locator);
        if (at >= key.archives().size()) {
            ++pastTable;
            continue;
        }
        ++archives[first + at].resources;
        if (!wantedEntry[k])
            continue;
        const ArchiveSource& source = sources[first + at];
        Copy copy;
        copy.resource.resRef = asciiUpper(entry.resRef);
        copy.resource.type = entry.type;
        copy.resource.layer = layer;
        copy.resource.archive = first + at;
        copy.resource.locator = entry.locator;
        copy.resource.missing = !source.readable;
        if (source.readable) {
            // A tileset's locator has bits 19-14 set; every other resource is a file of the archive.
            if (locatorTileset(entry.locator) != 0) {
                if (const BifIndex::Tileset* tileset = source.index.tileset(entry.locator))
                    copy.resource.size = static_cast<std::int64_t>(tileset->size());
            } else if (const BifIndex::File* file = source.index.file(entry.locator)) {
                copy.resource.size = file->size;
            }
            if (!copy.resource.size) {
                copy.resource.missing = true;
                ++notInTables[at];
            }
        }
        copy.rank = Rank{layer == ResourceLayer::Dlc ? 1 : 2, dlcOrder, -static_cast<std::int64_t>(k)};
        copies.push_back(std::move(copy));
    }
    if (pastTable > 0)
        say(catalogue, std::to_string(pastTable) + " resources name an archive past its table of " +
                           std::to_string(key.archives().size()) + ", passed over");
    for (std::size_t at = 0; at < notInTables.size(); ++at)
        if (notInTables[at] > 0)
            say(sources[first + at].label,
                std::to_string(notInTables[at]) + " resources of " + catalogue + " are not in its tables");
}

void GameResources::State::rankCopies() {
    for (Copy& copy : copies)
        copy.resource.name = safeName(copy.resource.resRef) + "." + documentedExtension(copy.resource.type);
    // Names are compared upper-cased; one ResRef and type is one resource, whatever its safe name shares.
    // The copies are large: their order is found on indexes, then each is moved once.
    std::vector<std::uint32_t> order(copies.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        order[k] = static_cast<std::uint32_t>(k);
    std::sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) {
        const auto key = [](const Copy& c) {
            return std::tie(c.resource.name, c.resource.type, c.resource.resRef, c.rank);
        };
        return key(copies[a]) < key(copies[b]);
    });
    // Moved in place, cycle by cycle, so that the copies are never held twice.
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (order[start] == start)
            continue;
        Copy held = std::move(copies[start]);
        std::size_t at = start;
        for (;;) {
            const std::size_t from = order[at];
            order[at] = static_cast<std::uint32_t>(at);
            if (from == start) {
                copies[at] = std::move(held);
                break;
            }
            copies[at] = std::move(copies[from]);
            at = from;
        }
    }
    for (std::size_t k = 1; k < copies.size(); ++k) {
        const GameResource& before = copies[k - 1].resource;
        const GameResource& here = copies[k].resource;
        copies[k].resource.hidden = before.resRef == here.resRef && before.type == here.type;
    }
}

GameResources::GameResources(const std::string& BGpath, const std::string& lang, const Warn& warn)
    : GameResources(BGpath, lang, warn, {}) {}

GameResources::GameResources(const std::string& BGpath, const std::string& lang, const Warn& warn,
                             const Wanted& wanted)
    : m_state(std::make_unique<State>()) {
    State& state = *m_state;
    state.BGpath = BGpath;
    state.lang = lang;
    state.warn = warn;
    state.wanted = wanted;

    bool found = false;
    const fs::path chitin = state.paths.map(BGpath + "chitin.key", &found);
    if (!found || !isRegularFile(chitin))
        throw FileError(FileNotFound, displayPath(chitin));
    KeyFile key;
    {
        const std::unique_ptr<ByteSource> source = openFileSource(chitin, ByteReader::kSequentialBuffer);
        key = KeyFile::read(*source);
    }
    for (const std::string& problem : key.problems())
        state.say(displayPath(chitin), problem);

    state.listOverride();
    state.findDlcs();

    // The game's own archives: at their stored path below the game folder, else where the game keeps
    // archives besides (its language folder, the CD folders and their aliases).
    const std::vector<std::string> folders = archiveFolders(BGpath, lang);
    std::vector<GameArchive> dlcArchives = std::move(state.archives);
    std::vector<State::ArchiveSource> dlcSources = std::move(state.sources);
    state.archives.clear();
    state.sources.clear();
    state.addCatalogue(key, "chitin.key", ResourceLayer::Archive, 0, [&](const std::string& relative) {
        State::ArchiveSource source;
        source.hostFile = findArchiveFile(state.paths, BGpath, folders, relative);
        source.label = displayPath(source.hostFile ? *source.hostFile
                                                   : state.paths.map(BGpath + withBackslashes(relative)));
        return source;
    });
    // chitin.key's archives come first in archives(): the DLCs' move behind them.
    const std::size_t shift = state.archives.size();
    for (State::Copy& copy : state.copies)
        if (copy.resource.layer == ResourceLayer::Dlc)
            *copy.resource.archive += shift;
    for (auto& archive : dlcArchives)
        state.archives.push_back(std::move(archive));
    for (auto& source : dlcSources)
        state.sources.push_back(std::move(source));
    state.rankCopies();
}

GameResources::~GameResources() = default;

const std::vector<GameArchive>& GameResources::archives() const {
    return m_state->archives;
}

void GameResources::forEach(bool allCopies, const std::function<void(const GameResource&)>& each) const {
    for (const State::Copy& copy : m_state->copies)
        if (allCopies || !copy.resource.hidden)
            each(copy.resource);
}

std::vector<GameResource> GameResources::resources(bool allCopies) const {
    std::vector<GameResource> list;
    list.reserve(m_state->copies.size());
    for (const State::Copy& copy : m_state->copies)
        if (allCopies || !copy.resource.hidden)
            list.push_back(copy.resource);
    return list;
}

GameResources::Bytes GameResources::locate(const GameResource& resource) {
    State& state = *m_state;
    if (resource.layer == ResourceLayer::Override) {
        auto& reader = state.overrideReaders[resource.overrideFile];
        if (!reader)
            reader = std::make_unique<ByteReader>(pathOfUtf8(resource.overrideFile));
        return Bytes{reader.get(), 0, reader->length()};
    }
    if (!resource.archive || *resource.archive >= state.sources.size())
        throw FileError(FileNotFound, resource.name);
    State::ArchiveSource& source = state.sources[*resource.archive];
    const std::string archiveName =
        state.archives[*resource.archive].path.value_or(state.archives[*resource.archive].catalogue + ": " +
                                                        cp1252ToUtf8(state.archives[*resource.archive].name));
    if (!source.readable)
        throw FileError(FileNotFound, archiveName);
    std::int64_t offset = 0;
    std::int64_t size = 0;
    if (locatorTileset(resource.locator) != 0) {
        const BifIndex::Tileset* tileset = source.index.tileset(resource.locator);
        if (tileset == nullptr)
            throw FileError(FileNotFound, archiveName);
        offset = tileset->offset;
        size = static_cast<std::int64_t>(tileset->size());
    } else {
        const BifIndex::File* file = source.index.file(resource.locator);
        if (file == nullptr)
            throw FileError(FileNotFound, archiveName);
        offset = file->offset;
        size = file->size;
    }
    if (!source.reader)
        source.reader = std::make_unique<ByteReader>(state.openSource(source));
    if (offset + size > source.reader->length())
        throw FileError(InputPastEndOfFile, archiveName);
    return Bytes{source.reader.get(), offset, size};
}

std::unique_ptr<StringTable> GameResources::stringTable() const {
    for (const State::Dlc& dlc : m_state->dlcs) {
        try {
            if (dlc.tlkMember)
                return std::make_unique<StringTable>(dlc.zip->open(*dlc.tlkMember), TextEncoding::Utf8);
            if (dlc.tlkFile)
                return std::make_unique<StringTable>(
                    openFileSource(*dlc.tlkFile, ByteReader::kRandomAccessBuffer), TextEncoding::Utf8);
        } catch (const FileError& e) {
            m_state->say(dlc.catalogue, e.description());
        }
    }
    return std::make_unique<StringTable>(m_state->BGpath, m_state->lang);
}

std::vector<std::string> catalogueArchivesOnDisk(const std::string& BGpath, const std::string& lang) {
    HostPaths paths;
    bool found = false;
    const fs::path chitin = paths.map(BGpath + "chitin.key", &found);
    if (!found || !isRegularFile(chitin))
        return {};
    const std::unique_ptr<ByteSource> source = openFileSource(chitin, ByteReader::kSequentialBuffer);
    const KeyFile key = KeyFile::read(*source);
    const std::vector<std::string> folders = archiveFolders(BGpath, lang);
    std::vector<std::string> names;
    for (const KeyFile::Archive& archive : key.archives())
        if (findArchiveFile(paths, BGpath, folders, archiveRelativePath(archive.name)))
            names.push_back(archive.name);
    return names;
}

std::unique_ptr<StringTable> itemNameTable(const std::string& BGpath, const std::string& lang) {
    try {
        return GameResources(BGpath, lang, {}).stringTable();
    } catch (const FileError&) {
        return std::make_unique<StringTable>(BGpath, lang);
    }
}

} // namespace qm
