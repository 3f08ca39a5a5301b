// The catalogue and archives as the format defines them, and the whole game in its layers: override/,
// DLC zips and folders, chitin.key's archives. Games are built in code; zips are written with libzip.
#include "BifIndex.h"
#include "ByteReader.h"
#include "ByteSource.h"
#include "Endian.h"
#include "FileError.h"
#include "GameBuilder.h"
#include "GameResources.h"
#include "KeyFile.h"
#include "StringTable.h"
#include "TempDir.h"
#include "TestSupport.h"
#include "ZipArchive.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>
#include <zip.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;
using qm::build::BifBuilder;
using qm::build::KeyBuilder;
using qm::build::TlkBuilder;
using qm::test::CaseName;
using qm::test::errorNumberOf;
using qm::test::readBytes;
using qm::test::TempDir;
using qm::test::writeBytes;

namespace {

constexpr std::int16_t kItm = 0x3ed;
constexpr std::int16_t kTis = 0x3eb;

// The locator's high half for archive `archive` of its catalogue: bits 31-20 hold the index.
std::int16_t high(int archive, int tileset = 0) {
    return static_cast<std::int16_t>((archive << 4) | (tileset >> 2));
}
std::int16_t low(int file, int tileset = 0) {
    return static_cast<std::int16_t>(((tileset & 3) << 14) | file);
}

struct ZipMember {
    std::string name;
    std::string data;
    bool deflate = false;
};

// A zip written by libzip, returned as its bytes.
std::string zipBytes(const fs::path& scratch, const std::vector<ZipMember>& members) {
    int error = 0;
    zip_t* zip = zip_open(scratch.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(zip, nullptr) << error;
    for (const ZipMember& member : members) {
        zip_source_t* source = zip_source_buffer(zip, member.data.data(), member.data.size(), 0);
        const zip_int64_t index = zip_file_add(zip, member.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        EXPECT_GE(index, 0) << member.name;
        zip_set_file_compression(zip, static_cast<zip_uint64_t>(index),
                                 member.deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    }
    EXPECT_EQ(zip_close(zip), 0);
    std::string bytes = readBytes(scratch);
    fs::remove(scratch);
    return bytes;
}

// A zip in the zip64 form with stored members, written by hand: libzip 1.7.3 writes zip64 records only
// for members past 4 GiB. Every size and offset lies in the zip64 fields, the classic ones say 0xFFFFFFFF.
std::string zip64Bytes(const std::vector<ZipMember>& members) {
    using qm::endian::appendU16;
    using qm::endian::appendU32;
    const auto appendU64 = [](std::string& out, std::uint64_t value) {
        appendU32(out, static_cast<std::uint32_t>(value));
        appendU32(out, static_cast<std::uint32_t>(value >> 32));
    };
    const auto crc32 = [](const std::string& data) {
        std::uint32_t crc = 0xFFFFFFFF;
        for (const char c : data) {
            crc ^= static_cast<std::uint8_t>(c);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return ~crc;
    };
    std::string zip;
    std::string central;
    for (const ZipMember& member : members) {
        const std::uint64_t local = zip.size();
        const auto header = [&](std::string& out, bool isCentral) {
            appendU32(out, isCentral ? 0x02014b50 : 0x04034b50);
            if (isCentral)
                appendU16(out, 45);
            appendU16(out, 45); // version needed: zip64
            appendU16(out, 0);  // flags
            appendU16(out, 0);  // stored
            appendU32(out, 0);  // time and date
            appendU32(out, crc32(member.data));
            appendU32(out, 0xFFFFFFFF);
            appendU32(out, 0xFFFFFFFF);
            appendU16(out, static_cast<std::uint16_t>(member.name.size()));
            appendU16(out, isCentral ? 28 : 20);
            if (isCentral) {
                appendU16(out, 0); // comment
                appendU16(out, 0); // disk
                appendU16(out, 0); // internal attributes
                appendU32(out, 0); // external attributes
                appendU32(out, 0xFFFFFFFF);
            }
            out += member.name;
            appendU16(out, 1); // the zip64 extra field
            appendU16(out, isCentral ? 24 : 16);
            appendU64(out, member.data.size());
            appendU64(out, member.data.size());
            if (isCentral)
                appendU64(out, local);
        };
        header(zip, false);
        zip += member.data;
        header(central, true);
    }
    const std::uint64_t centralOffset = zip.size();
    zip += central;
    const std::uint64_t record = zip.size();
    appendU32(zip, 0x06064b50);
    appendU64(zip, 44);
    appendU16(zip, 45);
    appendU16(zip, 45);
    appendU32(zip, 0);
    appendU32(zip, 0);
    appendU64(zip, members.size());
    appendU64(zip, members.size());
    appendU64(zip, central.size());
    appendU64(zip, centralOffset);
    appendU32(zip, 0x07064b50);
    appendU32(zip, 0);
    appendU64(zip, record);
    appendU32(zip, 1);
    appendU32(zip, 0x06054b50);
    appendU32(zip, 0);
    appendU16(zip, 0xFFFF);
    appendU16(zip, 0xFFFF);
    appendU32(zip, 0xFFFFFFFF);
    appendU32(zip, 0xFFFFFFFF);
    appendU16(zip, 0);
    return zip;
}

// Changes one member's fields in its local header and its central directory entry: `central` gets the
// offset of its central entry, `local` that of its local header.
void patchMember(std::string& zip, const std::string& name,
                 const std::function<void(std::string&, std::size_t central, std::size_t local)>& patch) {
    for (std::size_t at = zip.find("PK\x01\x02"); at != std::string::npos;
         at = zip.find("PK\x01\x02", at + 4)) {
        const std::size_t nameLength =
            static_cast<std::uint8_t>(zip[at + 28]) | (static_cast<std::uint8_t>(zip[at + 29]) << 8);
        if (zip.compare(at + 46, nameLength, name) != 0)
            continue;
        std::size_t local = 0;
        for (int k = 3; k >= 0; --k)
            local = (local << 8) | static_cast<std::uint8_t>(zip[at + 42 + static_cast<std::size_t>(k)]);
        patch(zip, at, local);
        return;
    }
    ADD_FAILURE() << "no member " << name;
}

// A BIF of one tileset: two tiles of four bytes.
std::string tilesetBif(std::uint32_t tilesetIndex, const std::string& tiles) {
    std::string bif = "BIFFV1  ";
    qm::endian::appendU32(bif, 0);  // files
    qm::endian::appendU32(bif, 1);  // tilesets
    qm::endian::appendU32(bif, 20); // file table, the tileset table behind it
    qm::endian::appendU32(bif, tilesetIndex << 14);
    qm::endian::appendU32(bif, 40);
    qm::endian::appendU32(bif, 2);
    qm::endian::appendU32(bif, static_cast<std::uint32_t>(tiles.size() / 2));
    qm::endian::appendU16(bif, static_cast<std::uint16_t>(kTis));
    qm::endian::appendU16(bif, 0);
    return bif + tiles;
}

std::string bifOf(const std::vector<std::pair<std::int16_t, std::string>>& files) {
    BifBuilder bif;
    for (const auto& [type, data] : files)
        bif.add(type, data);
    return bif.bytes();
}

// The base game: chitin.key with data\BASE.bif (SWORD, RING, SHIELD), Dialog.tlk.
struct Game {
    TempDir dir;
    KeyBuilder chitin;
    std::vector<std::string> warnings;

    Game() {
        chitin.addArchive("data\\BASE.bif");
        chitin.addResource("SWORD", kItm, low(0), high(0));
        chitin.addResource("RING", kItm, low(1), high(0));
        chitin.addResource("SHIELD", kItm, low(2), high(0));
        writeBytes(dir / "data/BASE.bif",
                   bifOf({{kItm, "base-sword"}, {kItm, "base-ring"}, {kItm, "base-shield"}}));
        TlkBuilder tlk;
        tlk.add("Base text");
        writeBytes(dir / "Dialog.tlk", tlk.bytes());
    }
    // A DLC zip holding mod.key with data/DLC.bif; `members` are added to it.
    std::string dlcZip(const std::vector<std::pair<std::string, std::string>>& resources,
                       std::vector<ZipMember> members = {}, bool deflate = false) {
        KeyBuilder key;
        key.addArchive("data/DLC.bif");
        BifBuilder bif;
        for (std::size_t i = 0; i < resources.size(); ++i) {
            key.addResource(resources[i].first, kItm, low(static_cast<int>(i)), high(0));
            bif.add(kItm, resources[i].second);
        }
        members.push_back({"mod.key", key.bytes(), deflate});
        members.push_back({"data/DLC.bif", bif.bytes(), deflate});
        return zipBytes(dir / "scratch.zip", members);
    }
    std::unique_ptr<qm::GameResources> open(const std::string& lang = {}) {
        writeBytes(dir / "chitin.key", chitin.bytes());
        return std::make_unique<qm::GameResources>(dir.prefix(), lang,
                                                   [this](const std::string& w) { warnings.push_back(w); });
    }
    std::string allWarnings() const {
        std::string text;
        for (const std::string& w : warnings)
            text += w + "\n";
        return text;
    }
};

std::string bytesOf(qm::GameResources& game, const qm::GameResource& resource) {
    const qm::GameResources::Bytes bytes = game.locate(resource);
    std::string data(static_cast<std::size_t>(bytes.size), '\0');
    bytes.reader->seek(bytes.offset);
    bytes.reader->readExact(std::as_writable_bytes(std::span(data)));
    return data;
}

const qm::GameResource* find(const std::vector<qm::GameResource>& list, const std::string& name) {
    const auto at = std::find_if(list.begin(), list.end(), [&](const auto& r) { return r.name == name; });
    return at == list.end() ? nullptr : &*at;
}

TEST(KeyFile, ReadsEntriesLocatorPartsAndTheLaterEntryRule) {
    KeyBuilder key;
    key.addArchive("data\\A.bif", 1234, 3);
    key.addArchive(":data:B.BIF");
    key.addResource("sword", kItm, low(5, 2), high(1, 2));
    key.addResource("SWORD", kItm, low(7), high(0));
    key.addResource("SWORD", kTis, low(8), high(0));
    qm::MemorySource source(key.bytes(), "chitin.key");
    const qm::KeyFile file = qm::KeyFile::read(source);

    EXPECT_TRUE(file.problems().empty());
    ASSERT_EQ(file.archives().size(), 2u);
    EXPECT_EQ(file.archives()[0].name, "data\\A.bif");
    EXPECT_EQ(file.archives()[0].size, 1234u);
    EXPECT_EQ(file.archives()[0].location, 3u);
    EXPECT_EQ(file.archives()[1].name, ":data:B.BIF");
    ASSERT_EQ(file.resources().size(), 3u);
    const std::uint32_t locator = file.resources()[0].locator;
    EXPECT_EQ(qm::locatorArchive(locator), 1u);
    EXPECT_EQ(qm::locatorTileset(locator), 2u);
    EXPECT_EQ(qm::locatorFile(locator), 5u);
    // The later SWORD ITM replaces the earlier one whatever its letter case; the TIS is another resource.
    EXPECT_TRUE(file.resources()[0].superseded);
    EXPECT_FALSE(file.resources()[1].superseded);
    EXPECT_FALSE(file.resources()[2].superseded);
}

struct KeyFaultCase {
    const char* name;
    std::function<std::string()> bytes;
    std::size_t archives;
    std::size_t resources;
    const char* problem; // a part of the one problem reported
};

void PrintTo(const KeyFaultCase& c, std::ostream* os) {
    *os << c.name;
}

class KeyFault : public testing::TestWithParam<KeyFaultCase> {};

TEST_P(KeyFault, ReadsWhatTheFileHoldsAndSaysWhy) {
    qm::MemorySource source(GetParam().bytes(), "mod.key");
    const qm::KeyFile key = qm::KeyFile::read(source);
    EXPECT_EQ(key.archives().size(), GetParam().archives);
    EXPECT_EQ(key.resources().size(), GetParam().resources);
    ASSERT_EQ(key.problems().size(), 1u);
    EXPECT_NE(key.problems()[0].find(GetParam().problem), std::string::npos) << key.problems()[0];
}

std::string smallKey() {
    KeyBuilder key;
    key.addArchive("data\\A.bif");
    key.addResource("ONE", kItm, 0, 0);
    key.addResource("TWO", kItm, 1, 0);
    return key.bytes();
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, KeyFault,
    testing::Values(KeyFaultCase{"NotAKey", [] { return std::string("BIFFV1  ") + std::string(16, '\0'); }, 0,
                                 0, "not a KEY"},
                    KeyFaultCase{"ShorterThanItsHeader", [] { return std::string("KEY V1  "); }, 0, 0,
                                 "shorter"},
                    KeyFaultCase{"ResourceCountLies",
                                 [] {
                                     std::string key = smallKey();
                                     qm::build::storeU32(key, qm::kKeyResourceCountOffset, 0xFFFFFFFF);
                                     return key;
                                 },
                                 1, 2, "4294967295 resources"},
                    KeyFaultCase{"ArchiveTablePastTheEnd",
                                 [] {
                                     std::string key = smallKey();
                                     qm::build::storeU32(key, qm::kKeyArchiveTableOffsetOffset, 0x7FFFFFF0);
                                     return key;
                                 },
                                 0, 2, "1 archives, the file holds 0"},
                    KeyFaultCase{"NameRunsPastTheEnd",
                                 [] {
                                     KeyBuilder key;
                                     key.addRawArchive(36, 200);
                                     std::string bytes = key.bytes();
                                     bytes.resize(40, 'A');
                                     return bytes;
                                 },
                                 1, 0, "runs past the end"}),
    CaseName());

struct NameCase {
    const char* name;
    const char* stored;
    const char* relative;
    const char* file;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class ArchiveName : public testing::TestWithParam<NameCase> {};

TEST_P(ArchiveName, GivesTheRelativePathAndTheFileName) {
    EXPECT_EQ(qm::archiveRelativePath(GetParam().stored), GetParam().relative);
    EXPECT_EQ(qm::archiveFileName(GetParam().stored), GetParam().file);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ArchiveName,
    testing::Values(NameCase{"Backslash", "data\\AR0010.BIF", "data/AR0010.BIF", "AR0010.BIF"},
                    NameCase{"Slash", "data/AR0010.BIF", "data/AR0010.BIF", "AR0010.BIF"},
                    NameCase{"LanguageFolder", "lang/en_US/data/AR0010.BIF", "lang/en_US/data/AR0010.BIF",
                             "AR0010.BIF"},
                    NameCase{"LeadingBackslash", "\\data\\AR0010.BIF", "data/AR0010.BIF", "AR0010.BIF"},
                    NameCase{"MacColons", ":data:AR0010.BIF", "data/AR0010.BIF", "AR0010.BIF"},
                    NameCase{"NoFolder", "AR0010.BIF", "AR0010.BIF", "AR0010.BIF"},
                    NameCase{"NeverClimbsOut", "..\\..\\data\\.\\X.bif", "data/X.bif", "X.bif"}),
    CaseName());

TEST(BifIndex, FindsFilesAndTilesetsByTheirLocatorBits) {
    BifBuilder files;
    files.add(5, 0x0123, kItm, "five"); // a stored LocatorHigh does not hide the index
    files.add(9, 0, kItm, "nine");
    qm::MemorySource fileSource(files.bytes(), "files.bif");
    const qm::BifIndex bif = qm::BifIndex::read(fileSource);
    EXPECT_TRUE(bif.problems().empty());
    ASSERT_NE(bif.file(0x00300005), nullptr);
    EXPECT_EQ(bif.file(0x00300005)->size, 4u);
    EXPECT_EQ(bif.file(9)->type, kItm);
    EXPECT_EQ(bif.file(7), nullptr);

    qm::MemorySource tileSource(tilesetBif(3, "AAAABBBB"), "tiles.bif");
    const qm::BifIndex tiles = qm::BifIndex::read(tileSource);
    ASSERT_NE(tiles.tileset(3u << 14), nullptr);
    EXPECT_EQ(tiles.tileset(3u << 14)->offset, 40u);
    EXPECT_EQ(tiles.tileset(3u << 14)->size(), 8u);
    EXPECT_EQ(tiles.tileset(1u << 14), nullptr);
}

TEST(BifIndex, ReportsCompressedAndCutShortArchives) {
    qm::MemorySource compressed(std::string("BIFCV1.0") + std::string(12, '\0'), "c.bif");
    const qm::BifIndex bifc = qm::BifIndex::read(compressed);
    EXPECT_TRUE(bifc.files().empty());
    ASSERT_EQ(bifc.problems().size(), 1u);
    EXPECT_NE(bifc.problems()[0].find("compressed"), std::string::npos);

    std::string lying = bifOf({{kItm, "x"}});
    qm::build::storeU32(lying, qm::kBifFileCountOffset, 0x10000000);
    qm::MemorySource source(lying, "lying.bif");
    const qm::BifIndex bif = qm::BifIndex::read(source);
    EXPECT_EQ(bif.files().size(), 1u);
    EXPECT_FALSE(bif.problems().empty());
}

TEST(ZipArchive, ReadsStoredMembersInPlaceAndDeflatedOnesWhole) {
    TempDir dir;
    const std::string data(100000, 'x');
    std::string content = data;
    content.replace(70000, 5, "HELLO");
    const qm::ZipArchive zip(
        zipBytes(dir / "z.zip", {{"Data/Stored.BIF", content}, {"deflated.bif", content, true}}), "z.zip");
    ASSERT_EQ(zip.members().size(), 2u);
    for (const char* name : {"data\\stored.bif", "DEFLATED.BIF"}) {
        const auto member = zip.find(name);
        ASSERT_TRUE(member) << name;
        const std::unique_ptr<qm::ByteSource> source = zip.open(*member);
        EXPECT_EQ(source->length(), 100000);
        std::string got(5, '\0');
        EXPECT_EQ(source->readAt(70000, std::as_writable_bytes(std::span(got))), 5u) << name;
        EXPECT_EQ(got, "HELLO") << name;
        EXPECT_EQ(source->readAt(99998, std::as_writable_bytes(std::span(got))), 2u) << name;
    }
    EXPECT_FALSE(zip.find("missing.bif"));
}

TEST(GameResources, EachResourceOnceFromTheLayerTheGameLoads) {
    Game game;
    // override/ wins over everything, letter case ignored; files of unknown types are not resources.
    writeBytes(game.dir / "override/sword.itm", "override-sword");
    writeBytes(game.dir / "override/readme.txt", "not a resource");
    writeBytes(game.dir / "dlc/sod.zip",
               game.dlcZip({{"SWORD", "dlc-sword"}, {"RING", "dlc-ring"}, {"NEW", "dlc-new"}}));
    // A DLC folder comes after the zip (names sorted) and loses to it.
    KeyBuilder folderKey;
    folderKey.addArchive("data\\F.bif");
    folderKey.addResource("RING", kItm, low(0), high(0));
    folderKey.addResource("FOLDER", kItm, low(1), high(0));
    writeBytes(game.dir / "dlc/zz/MOD.KEY", folderKey.bytes());
    writeBytes(game.dir / "dlc/zz/data/F.bif", bifOf({{kItm, "folder-ring"}, {kItm, "folder-only"}}));
    auto resources = game.open();
    EXPECT_EQ(game.allWarnings(), "");

    const auto list = resources->resources();
    std::vector<std::string> names;
    for (const auto& r : list)
        names.push_back(r.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"FOLDER.ITM", "NEW.ITM", "RING.ITM", "SHIELD.ITM", "SWORD.ITM"}));
    const std::vector<std::pair<std::string, std::string>> expected = {{"FOLDER.ITM", "folder-only"},
                                                                       {"NEW.ITM", "dlc-new"},
                                                                       {"RING.ITM", "dlc-ring"},
                                                                       {"SHIELD.ITM", "base-shield"},
                                                                       {"SWORD.ITM", "override-sword"}};
    for (const auto& [name, data] : expected)
        EXPECT_EQ(bytesOf(*resources, *find(list, name)), data) << name;
    EXPECT_EQ(find(list, "SWORD.ITM")->layer, qm::ResourceLayer::Override);
    EXPECT_EQ(find(list, "RING.ITM")->layer, qm::ResourceLayer::Dlc);

    // Every archive: chitin.key's first, then each DLC's, with the catalogue it came from.
    const auto& archives = resources->archives();
    ASSERT_EQ(archives.size(), 3u);
    EXPECT_EQ(archives[0].catalogue, "chitin.key");
    EXPECT_EQ(archives[1].catalogue, "dlc/sod.zip");
    EXPECT_EQ(archives[2].catalogue, "dlc/zz");
    EXPECT_EQ(archives[1].resources, 3u);
    EXPECT_EQ(*find(list, "NEW.ITM")->archive, 1u);

    // All copies: the hidden ones follow the copy that hides them.
    const auto all = resources->resources(true);
    std::vector<std::pair<std::string, bool>> rings;
    for (const auto& r : all)
        if (r.name == "RING.ITM")
            rings.emplace_back(bytesOf(*resources, r), r.hidden);
    EXPECT_EQ(rings, (std::vector<std::pair<std::string, bool>>{
                         {"dlc-ring", false}, {"folder-ring", true}, {"base-ring", true}}));
}

TEST(GameResources, LaterEntryWinsTilesetsAndArchiveNameForms) {
    Game game;
    // A later entry of SHIELD in the same catalogue, in another archive named the Mac way; a tileset in a
    // third archive that lies in a CD folder.
    game.chitin.addArchive(":data:MORE.BIF");
    game.chitin.addArchive("\\data\\AR0010.BIF");
    game.chitin.addResource("shield", kItm, low(0), high(1));
    game.chitin.addResource("AR0010", kTis, low(0, 1), high(2, 1));
    writeBytes(game.dir / "data/more.bif", bifOf({{kItm, "later-shield"}}));
    writeBytes(game.dir / "CD2/DATA/ar0010.bif", tilesetBif(1, "TILETILE"));
    auto resources = game.open();
    EXPECT_EQ(game.allWarnings(), "");

    const auto list = resources->resources();
    ASSERT_NE(find(list, "SHIELD.ITM"), nullptr);
    EXPECT_EQ(bytesOf(*resources, *find(list, "SHIELD.ITM")), "later-shield");
    ASSERT_NE(find(list, "AR0010.TIS"), nullptr);
    EXPECT_EQ(*find(list, "AR0010.TIS")->size, 8);
    EXPECT_EQ(bytesOf(*resources, *find(list, "AR0010.TIS")), "TILETILE");
    EXPECT_EQ(resources->resources(true).size(), list.size() + 1);
}

TEST(GameResources, NamesItemsFromTheDlcsStringTable) {
    Game game;
    TlkBuilder tlk;
    tlk.add("Dlc text");
    writeBytes(game.dir / "dlc/sod.zip",
               game.dlcZip({{"NEW", "x"}}, {{"lang/en_US/dialog.tlk", tlk.bytes(), true}}));
    EXPECT_EQ(game.open("en_US")->stringTable()->get(0), "Dlc text");

    Game plain;
    writeBytes(plain.dir / "dlc/sod.zip", plain.dlcZip({{"NEW", "x"}}));
    EXPECT_EQ(plain.open("en_US")->stringTable()->get(0), "Base text");
}

TEST(GameResources, ReadsADlcInTheZip64Form) {
    Game game;
    KeyBuilder key;
    key.addArchive("data/DLC.bif");
    key.addResource("NEW", kItm, low(0), high(0));
    writeBytes(game.dir / "dlc/big.zip",
               zip64Bytes({{"mod.key", key.bytes()}, {"data/DLC.bif", bifOf({{kItm, "zip64-new"}})}}));
    auto resources = game.open();
    EXPECT_EQ(game.allWarnings(), "");
    const auto list = resources->resources();
    ASSERT_NE(find(list, "NEW.ITM"), nullptr);
    EXPECT_EQ(bytesOf(*resources, *find(list, "NEW.ITM")), "zip64-new");
}

TEST(GameResources, NoCatalogueIsFileNotFound) {
    TempDir dir;
    EXPECT_EQ(errorNumberOf([&] { qm::GameResources(dir.prefix(), "", nullptr); }), qm::FileNotFound);
}

// What is wrong with the game, and the warning (a part of it) that names the file. In every case the
// base game's own resources stay readable.
struct HostileCase {
    const char* name;
    std::function<void(Game&)> make;
    const char* warning; // empty: no warning at all
    std::function<void(qm::GameResources&, const std::vector<qm::GameResource>&)> check = nullptr;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileGame : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileGame, WarnsNamingTheFileAndTheRestWorks) {
    Game game;
    GetParam().make(game);
    auto resources = game.open();
    if (std::string(GetParam().warning).empty())
        EXPECT_EQ(game.allWarnings(), "");
    else
        EXPECT_NE(game.allWarnings().find(GetParam().warning), std::string::npos) << game.allWarnings();
    const auto list = resources->resources();
    ASSERT_NE(find(list, "SHIELD.ITM"), nullptr);
    EXPECT_EQ(bytesOf(*resources, *find(list, "SHIELD.ITM")), "base-shield");
    for (const auto& r : list)
        EXPECT_EQ(r.name.find_first_of("/\\"), std::string::npos) << r.name;
    if (GetParam().check)
        GetParam().check(*resources, list);
}

// The DLC's resources are there but cannot be read: listed as missing, located as 53.
void dlcArchiveUnreadable(qm::GameResources& game, const std::vector<qm::GameResource>& list) {
    const qm::GameResource* dlc = find(list, "NEW.ITM");
    ASSERT_NE(dlc, nullptr);
    EXPECT_TRUE(dlc->missing);
    EXPECT_FALSE(dlc->size);
    EXPECT_EQ(errorNumberOf([&] { game.locate(*dlc); }), qm::FileNotFound);
}

std::vector<HostileCase> hostileCases() {
    std::vector<HostileCase> cases = {

        HostileCase{"DamagedZip",
                    [](Game& g) {
                        std::string zip = g.dlcZip({{"NEW", "x"}});
                        zip.resize(zip.size() - 10);
                        writeBytes(g.dir / "dlc/broken.zip", zip);
                    },
                    "dlc/broken.zip: not a readable zip"},
        HostileCase{"DlcFileThatIsNoZip", [](Game& g) { writeBytes(g.dir / "dlc/readme.zip", "hello"); },
                    "dlc/readme.zip: not a readable zip"},
        HostileCase{"ZipWithoutCatalogue",
                    [](Game& g) {
                        writeBytes(g.dir / "dlc/other.zip", zipBytes(g.dir / "s.zip", {{"a.txt", "a"}}));
                    },
                    "dlc/other.zip: holds no mod.key"},
        HostileCase{"EncryptedMember",
                    [](Game& g) {
                        std::string zip = g.dlcZip({{"NEW", "x"}});
                        patchMember(zip, "data/DLC.bif",
                                    [](std::string& z, std::size_t central, std::size_t local) {
                                        z[central + 8] = static_cast<char>(z[central + 8] | 1);
                                        z[local + 6] = static_cast<char>(z[local + 6] | 1);
                                    });
                        writeBytes(g.dir / "dlc/sod.zip", zip);
                    },
                    "sod.zip/data/DLC.bif: an encrypted zip member", dlcArchiveUnreadable},
        HostileCase{
            "DeflatedMemberLongerThanDeclared",
            [](Game& g) {
                std::string zip = g.dlcZip({{"NEW", std::string(300, 'n')}}, {}, true);
                patchMember(zip, "data/DLC.bif", [](std::string& z, std::size_t central, std::size_t local) {
                    qm::build::storeU32(z, central + 24, 40);
                    qm::build::storeU32(z, local + 22, 40);
                });
                writeBytes(g.dir / "dlc/sod.zip", zip);
            },
            "sod.zip/data/DLC.bif: a zip member that inflates to 41 bytes, not the 40", dlcArchiveUnreadable},
        HostileCase{"ModKeyLiesAboutItsCounts",
                    [](Game& g) {
                        KeyBuilder key;
                        key.addArchive("data/DLC.bif");
                        key.addResource("NEW", kItm, low(0), high(0));
                        std::string bytes = key.bytes();
                        qm::build::storeU32(bytes, qm::kKeyResourceCountOffset, 70000);
                        writeBytes(g.dir / "dlc/sod.zip",
                                   zipBytes(g.dir / "s.zip",
                                            {{"mod.key", bytes}, {"data/DLC.bif", bifOf({{kItm, "dlc"}})}}));
                    },
                    "dlc/sod.zip/mod.key: the header counts 70000 resources, the file holds 1",
                    [](qm::GameResources& game, const std::vector<qm::GameResource>& list) {
                        EXPECT_EQ(bytesOf(game, *find(list, "NEW.ITM")), "dlc");
                    }},
        HostileCase{"LocatorPastTheArchiveTable",
                    [](Game& g) { g.chitin.addResource("GHOST", kItm, low(0), high(7)); },
                    "chitin.key: 1 resources name an archive past its table of 1",
                    [](qm::GameResources&, const std::vector<qm::GameResource>& list) {
                        EXPECT_EQ(find(list, "GHOST.ITM"), nullptr);
                    }},
        HostileCase{"ArchiveNotOnDisk",
                    [](Game& g) {
                        g.chitin.addArchive("data\\GONE.bif");
                        g.chitin.addResource("LOST", kItm, low(0), high(1));
                    },
                    "chitin.key: names the archive data\\GONE.bif, which is not there",
                    [](qm::GameResources& game, const std::vector<qm::GameResource>& list) {
                        const qm::GameResource* lost = find(list, "LOST.ITM");
                        ASSERT_NE(lost, nullptr);
                        EXPECT_TRUE(lost->missing);
                        EXPECT_FALSE(lost->size);
                        try {
                            game.locate(*lost);
                            ADD_FAILURE() << "located a resource of a missing archive";
                        } catch (const qm::FileError& e) {
                            EXPECT_EQ(e.number(), qm::FileNotFound);
                            EXPECT_NE(e.path().find("GONE.bif"), std::string::npos) << e.path();
                        }
                    }},
        HostileCase{"DataPastTheArchivesEnd",
                    [](Game& g) {
                        BifBuilder bif;
                        bif.add(kItm, "short").dataSize = 5000;
                        writeBytes(g.dir / "data/LONG.bif", bif.bytes());
                        g.chitin.addArchive("data\\LONG.bif");
                        g.chitin.addResource("LONG", kItm, low(0), high(1));
                    },
                    "",
                    [](qm::GameResources& game, const std::vector<qm::GameResource>& list) {
                        EXPECT_EQ(errorNumberOf([&] { game.locate(*find(list, "LONG.ITM")); }),
                                  qm::InputPastEndOfFile);
                    }},
        HostileCase{"MemberNamesThatClimbOut",
                    [](Game& g) {
                        KeyBuilder key;
                        key.addArchive("../../evil.bif");
                        key.addResource("../X", kItm, low(0), high(0));
                        writeBytes(g.dir / "dlc/evil.zip",
                                   zipBytes(g.dir / "s.zip", {{"mod.key", key.bytes()},
                                                              {"../../evil.bif", bifOf({{kItm, "evil"}})},
                                                              {"evil.bif", bifOf({{kItm, "in-zip"}})}}));
                    },
                    "",
                    [](qm::GameResources& game, const std::vector<qm::GameResource>& list) {
                        // The catalogue's name never leaves the zip's root: "evil.bif" is read.
                        const qm::GameResource* x = find(list, ".._X.ITM");
                        ASSERT_NE(x, nullptr);
                        EXPECT_EQ(bytesOf(game, *x), "in-zip");
                    }}};
#ifndef _WIN32
    cases.push_back(HostileCase{"OverrideEntriesThatAreNoFiles",
                                [](Game& g) {
                                    writeBytes(g.dir / "outside.itm", "outside");
                                    fs::create_directories(g.dir / "override/folder.itm");
                                    fs::create_symlink(g.dir / "outside.itm", g.dir / "override/shield.itm");
                                    ASSERT_EQ(mkfifo((g.dir / "override/ring.itm").c_str(), 0600), 0);
                                },
                                "override/shield.itm: not a regular file, passed over",
                                [](qm::GameResources&, const std::vector<qm::GameResource>& list) {
                                    EXPECT_EQ(find(list, "RING.ITM")->layer, qm::ResourceLayer::Archive);
                                    EXPECT_EQ(find(list, "FOLDER.ITM"), nullptr);
                                }});
#endif
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Faults, HostileGame, testing::ValuesIn(hostileCases()), CaseName());

} // namespace
