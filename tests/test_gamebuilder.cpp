#include "ByteReader.h"
#include "Endian.h"
#include "GameBuilder.h"
#include "Records.h"
#include "TempDir.h"
#include "TextCipher.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>
#include <zip.h>

namespace {

using qm::test::readBytes;
using qm::test::TempDir;
using namespace qm::build;

std::uint16_t u16(const std::string& b, std::size_t at) {
    EXPECT_LE(at + 2, b.size()) << "a field past the end of the built bytes";
    return qm::endian::loadU16(qm::endian::asBytes(b.data(), b.size()), at);
}
std::uint32_t u32(const std::string& b, std::size_t at) {
    EXPECT_LE(at + 4, b.size()) << "a field past the end of the built bytes";
    return qm::endian::loadU32(qm::endian::asBytes(b.data(), b.size()), at);
}
std::int16_t i16(const std::string& b, std::size_t at) {
    return static_cast<std::int16_t>(u16(b, at));
}
std::int32_t i32(const std::string& b, std::size_t at) {
    return static_cast<std::int32_t>(u32(b, at));
}

TEST(KeyBuilderTest, HeaderHoldsCountsAndTableOffsets) {
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF", 1234, 1);
    key.addArchive("movies\\X.BIF", 99, 2);
    key.addResource("ABC", 1005, 0, 240);
    const std::string b = key.bytes();

    EXPECT_EQ(b.substr(0, 8), "KEY V1  ");
    EXPECT_EQ(u32(b, 8), 2u);
    EXPECT_EQ(u32(b, 12), 1u);
    EXPECT_EQ(u32(b, 16), 24u);
    // Two 12-byte entries from 24, then "data\ITEMS.BIF\0" (15) and "movies\X.BIF\0" (13).
    EXPECT_EQ(u32(b, 20), 24u + 24u + 15u + 13u);
    EXPECT_EQ(b.size(), 76u + 14u);
}

TEST(KeyBuilderTest, ArchiveEntriesPointAtNulTerminatedNames) {
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF", 1234, 1);
    key.addArchive("movies\\X.BIF", 99, 2);
    const std::string b = key.bytes();

    EXPECT_EQ(u32(b, 24), 1234u);
    EXPECT_EQ(u32(b, 28), 48u);
    EXPECT_EQ(u16(b, 32), 15u);
    EXPECT_EQ(u16(b, 34), 1u);
    EXPECT_EQ(u32(b, 36), 99u);
    EXPECT_EQ(u32(b, 40), 63u);
    EXPECT_EQ(u16(b, 44), 13u);
    EXPECT_EQ(u16(b, 46), 2u);
    EXPECT_EQ(b.substr(48, 15), std::string("data\\ITEMS.BIF\0", 15));
    EXPECT_EQ(b.substr(63, 13), std::string("movies\\X.BIF\0", 13));
}

TEST(KeyBuilderTest, ProgramReadsArchiveEntriesAsBuilt) {
    TempDir dir;
    KeyBuilder key;
    key.addArchive("data\\A.BIF");
    key.addArchive("data\\CREATURE.BIF");
    writeFile(dir / "chitin.key", key.bytes());

    qm::ByteReader reader(dir / "chitin.key");
    const qm::ArchiveNameBlock names(reader);
    EXPECT_EQ(names.name(0), "A.BIF");
    EXPECT_EQ(names.name(1), "CREATURE.BIF");
    EXPECT_EQ(names.name(2), "");
}

TEST(KeyBuilderTest, ResourceEntryPadsResRefAndSplitsLocator) {
    KeyBuilder key;
    key.addArchive("data\\CREATURE.BIF");
    key.addResource("ABC", 1009, 3, 608);
    key.addResource("ABCDEFGH", -1, -1, -1);
    const std::string b = key.bytes();
    const std::size_t at = u32(b, 20);

    EXPECT_EQ(b.substr(at, 8), std::string("ABC\0\0\0\0\0", 8));
    EXPECT_EQ(i16(b, at + 8), 1009);
    EXPECT_EQ(u32(b, at + 10), 3u | (608u << 16));
    EXPECT_EQ(b.substr(at + 14, 8), "ABCDEFGH");
    EXPECT_EQ(u16(b, at + 22), 0xFFFFu);
    EXPECT_EQ(u32(b, at + 24), 0xFFFFFFFFu);
    EXPECT_EQ(b.size(), at + 28);
}

TEST(KeyBuilderTest, ResRefKeepsInnerZeroBytesAndLetterCase) {
    TempDir dir;
    KeyBuilder key;
    key.addResource(std::string("AB\0CD", 5), 1005, 7, 240);
    key.addResource("lower", 4, 0, 1136);
    const std::string b = key.bytes();
    const std::size_t at = u32(b, 20);
    EXPECT_EQ(b.substr(at, 8), std::string("AB\0CD\0\0\0", 8));

    writeFile(dir / "chitin.key", b);
    qm::ByteReader reader(dir / "chitin.key");
    const std::vector<qm::KeyResourceRecord> records = qm::readResourceTable(reader);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(qm::resRefName(records[0].resRef), "ABCD");
    EXPECT_EQ(records[0].resourceType, 1005);
    EXPECT_EQ(records[0].locatorLow, 7);
    EXPECT_EQ(records[0].locatorHigh, 240);
    EXPECT_EQ(qm::resRefName(records[1].resRef), "lower");
}

TEST(KeyBuilderTest, RejectsResRefLongerThanEightBytes) {
    KeyBuilder key;
    EXPECT_THROW(key.addResource("NINEBYTES", 1005, 0, 240), std::invalid_argument);
}

TEST(KeyBuilderTest, ResourceTableOffsetOverrideLeavesEntriesBehindNames) {
    KeyBuilder key;
    key.addArchive("data\\A.BIF");
    key.addResource("R", 1, 0, 0);
    key.setResourceTableOffset(-5);
    const std::string b = key.bytes();

    EXPECT_EQ(i32(b, 20), -5);
    EXPECT_EQ(b.substr(36 + 11, 1), "R");
}

TEST(KeyBuilderTest, NamesOffsetPutsNamesFarOutWithZeroGap) {
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    key.setNamesOffset(32762);
    const std::string b = key.bytes();

    EXPECT_EQ(u32(b, 28), 32762u);
    EXPECT_EQ(b.find_first_not_of('\0', 36), 32762u);
    EXPECT_EQ(b.substr(32762, 15), std::string("data\\ITEMS.BIF\0", 15));
    EXPECT_EQ(u32(b, 20), 32762u + 15u);
}

TEST(KeyBuilderTest, NamesOffsetInsideArchiveTableIsRefused) {
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    key.setNamesOffset(30);
    EXPECT_THROW(static_cast<void>(key.bytes()), std::invalid_argument);
}

TEST(KeyBuilderTest, RawArchiveStoresGivenFieldsAndNoName) {
    KeyBuilder key;
    key.addRawArchive(0x12345678, 6, 5, 3);
    key.addArchive("data\\B.BIF");
    KeyArchive& odd = key.addArchive("data\\C.BIF");
    odd.nameLength = 0xFFFF;
    const std::string b = key.bytes();

    EXPECT_EQ(u32(b, 24), 5u);
    EXPECT_EQ(u32(b, 28), 0x12345678u);
    EXPECT_EQ(u16(b, 32), 6u);
    EXPECT_EQ(u16(b, 34), 3u);
    // The first stored name belongs to the second entry, right behind the three-entry table.
    EXPECT_EQ(u32(b, 40), 60u);
    EXPECT_EQ(b.substr(60, 11), std::string("data\\B.BIF\0", 11));
    EXPECT_EQ(u32(b, 52), 71u);
    EXPECT_EQ(u16(b, 56), 0xFFFFu);
    EXPECT_EQ(b.substr(71, 11), std::string("data\\C.BIF\0", 11));
}

TEST(BifBuilderTest, HeaderAndFileTableLayout) {
    BifBuilder bif;
    bif.add(1005, "abc");
    bif.add(4, "");
    bif.add(3, "0123456789");
    const std::string b = bif.bytes();

    EXPECT_EQ(b.substr(0, 8), "BIFFV1  ");
    EXPECT_EQ(i32(b, 8), 3);
    EXPECT_EQ(u32(b, 12), 0u);
    EXPECT_EQ(u32(b, 16), 20u);
    const std::size_t dataStart = 20 + 3 * 16;
    const std::vector<std::uint32_t> offsets = {dataStart, dataStart + 3, dataStart + 3};
    const std::vector<std::uint32_t> sizes = {3, 0, 10};
    const std::vector<std::int16_t> types = {1005, 4, 3};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t e = 20 + 16 * i;
        EXPECT_EQ(i16(b, e), static_cast<std::int16_t>(i)) << "entry " << i;
        EXPECT_EQ(i16(b, e + 2), 0) << "entry " << i;
        EXPECT_EQ(u32(b, e + 4), offsets[i]) << "entry " << i;
        EXPECT_EQ(u32(b, e + 8), sizes[i]) << "entry " << i;
        EXPECT_EQ(i16(b, e + 12), types[i]) << "entry " << i;
        EXPECT_EQ(u16(b, e + 14), 0u) << "entry " << i;
    }
    EXPECT_EQ(b.substr(dataStart), "abc0123456789");
}

TEST(BifBuilderTest, ProgramReadsFileEntriesAsBuilt) {
    TempDir dir;
    BifBuilder bif;
    bif.add(1009, std::string(70000, 'x'));
    bif.add(-1, 608, 1009, "tail");
    writeFile(dir / "data" / "CREATURE.BIF", bif.bytes());

    qm::ByteReader reader(dir / "data" / "CREATURE.BIF");
    EXPECT_EQ(qm::readFileEntryCount(reader), 2);
    reader.seek(qm::kFileTableOffset + qm::kFileEntrySize);
    const qm::BifFileEntry second = qm::readFileEntry(reader);
    EXPECT_EQ(second.locatorLow, -1);
    EXPECT_EQ(second.locatorHigh, 608);
    EXPECT_EQ(second.dataOffset, 52 + 70000);
    EXPECT_EQ(second.dataSize, 4);
    EXPECT_EQ(second.resourceType, 1009);
}

TEST(BifBuilderTest, OverridesChangeStoredFieldsButNotPlacement) {
    BifBuilder bif;
    BifFile& first = bif.add(1005, "first");
    first.dataOffset = 7777;
    first.dataSize = -1;
    bif.add(1005, "second");
    bif.setFileEntryCount(40000);
    const std::string b = bif.bytes();

    EXPECT_EQ(i32(b, 8), 40000);
    EXPECT_EQ(u32(b, 24), 7777u);
    EXPECT_EQ(i32(b, 28), -1);
    EXPECT_EQ(u32(b, 40), 52u + 5u);
    EXPECT_EQ(b.substr(52), "firstsecond");
}

TEST(BifBuilderTest, TableIndexesAbove32767KeepTheirLow16Bits) {
    BifBuilder bif;
    for (int i = 0; i < 40000; ++i)
        bif.add(1005, "");
    const std::string b = bif.bytes();

    EXPECT_EQ(i32(b, 8), 40000);
    EXPECT_EQ(u16(b, 20 + 16 * 32767), 32767u);
    EXPECT_EQ(u16(b, 20 + 16 * 32768), 0x8000u);
    EXPECT_EQ(u16(b, 20 + 16 * 39999), 39999u);
    EXPECT_EQ(u32(b, 20 + 16 * 39999 + 4), 20u + 16u * 40000u);
    EXPECT_EQ(b.size(), 20u + 16u * 40000u);
}

TEST(TlkBuilderTest, HeaderEntriesAndTextsBackToBack) {
    TlkBuilder tlk;
    tlk.setLanguageId(3);
    EXPECT_EQ(tlk.add("Moonwrought Lantern"), 0);
    EXPECT_EQ(tlk.add(""), 1);
    EXPECT_EQ(tlk.add("Ash"), 2);
    tlk.entry(2).soundResRef = "HUM01";
    const std::string b = tlk.bytes();

    EXPECT_EQ(b.substr(0, 8), "TLK V1  ");
    EXPECT_EQ(u16(b, 8), 3u);
    EXPECT_EQ(u32(b, 10), 3u);
    EXPECT_EQ(u32(b, 14), 18u + 3u * 26u);

    const std::vector<std::uint16_t> flags = {1, 0, 3};
    const std::vector<std::string> sounds = {std::string(8, '\0'), std::string(8, '\0'),
                                             std::string("HUM01\0\0\0", 8)};
    const std::vector<std::uint32_t> offsets = {0, 19, 19};
    const std::vector<std::uint32_t> lengths = {19, 0, 3};
    for (std::size_t k = 0; k < 3; ++k) {
        const std::size_t e = 18 + 26 * k;
        EXPECT_EQ(u16(b, e), flags[k]) << "entry " << k;
        EXPECT_EQ(b.substr(e + 2, 8), sounds[k]) << "entry " << k;
        EXPECT_EQ(u32(b, e + 10), 0u) << "entry " << k;
        EXPECT_EQ(u32(b, e + 14), 0u) << "entry " << k;
        EXPECT_EQ(u32(b, e + 18), offsets[k]) << "entry " << k;
        EXPECT_EQ(u32(b, e + 22), lengths[k]) << "entry " << k;
    }
    EXPECT_EQ(b.substr(96), "Moonwrought LanternAsh");
}

TEST(TlkBuilderTest, StringLengthOverrideLeavesTextsInPlace) {
    TlkBuilder tlk;
    tlk.add("abc");
    tlk.add("defg");
    tlk.entry(0).stringLength = 0x00010005;
    const std::string b = tlk.bytes();

    EXPECT_EQ(u32(b, 18 + 22), 0x00010005u);
    EXPECT_EQ(u16(b, 40), 5u);
    EXPECT_EQ(u32(b, 44 + 18), 3u);
    EXPECT_EQ(b.substr(70), "abcdefg");
}

TEST(WriteFileTest, CreatesParentFoldersAndReplacesOldContent) {
    TempDir dir;
    const auto path = dir / "movies" / "deep" / "X.BIF";
    writeFile(path, std::string("long old content"));
    writeFile(path, std::string("a\0b", 3));
    EXPECT_EQ(readBytes(path), std::string("a\0b", 3));
}

struct Archive {
    std::string name;
    std::uint32_t fileLength = 0;
};
struct Resource {
    std::string name;
    std::int16_t type = 0;
    std::int16_t low = 0;
    std::int16_t high = 0;
};
struct Key {
    std::vector<Archive> archives;
    std::vector<Resource> resources;
};
struct FileEntry {
    std::int16_t low = 0;
    std::int16_t high = 0;
    std::int32_t offset = 0;
    std::int32_t size = 0;
    std::int16_t type = 0;
};

Key parseKey(const std::string& b) {
    Key key;
    for (std::uint32_t k = 0; k < u32(b, 8); ++k) {
        const std::size_t e = 24 + 12 * k;
        key.archives.push_back({b.substr(u32(b, e + 4), u16(b, e + 8) - 1u), u32(b, e)});
        EXPECT_EQ(b.at(u32(b, e + 4) + u16(b, e + 8) - 1u), '\0') << "archive " << k;
    }
    const std::uint32_t table = u32(b, 20);
    EXPECT_EQ(b.size(), table + 14u * u32(b, 12));
    for (std::size_t at = table; at + 14 <= b.size(); at += 14) {
        const std::string raw = b.substr(at, 8);
        key.resources.push_back(
            {raw.substr(0, raw.find('\0')), i16(b, at + 8), i16(b, at + 10), i16(b, at + 12)});
    }
    return key;
}

std::vector<FileEntry> parseBif(const std::string& b) {
    std::vector<FileEntry> entries;
    for (std::int32_t i = 0; i < i32(b, 8); ++i) {
        const std::size_t e = 20 + 16 * static_cast<std::size_t>(i);
        entries.push_back({i16(b, e), i16(b, e + 2), i32(b, e + 4), i32(b, e + 8), i16(b, e + 12)});
    }
    return entries;
}

// The string as the program's lookup finds it: the start is the sum of the lengths before it.
std::string tlkString(const std::string& tlk, int n) {
    std::size_t start = u32(tlk, 14);
    for (int k = 0; k < n; ++k)
        start += u16(tlk, 40 + 26 * static_cast<std::size_t>(k));
    return tlk.substr(start, u16(tlk, 40 + 26 * static_cast<std::size_t>(n)));
}

struct Listed {
    const char* file;
    const char* keyName;
    int index;
    std::int16_t biffid;
    std::int16_t type;
};
const std::vector<Listed> kListed = {
    {"data/ITEMS.BIF", "data\\ITEMS.BIF", 15, 240, 1005},
    {"data/CREATURE.BIF", "data\\CREATURE.BIF", 38, 608, 1009},
    {"data/SPELLS.BIF", "data\\SPELLS.BIF", 50, 800, 1006},
    {"data/CHASOUND.BIF", "data\\CHASOUND.BIF", 71, 1136, 4},
};

// Catalogue positions of the archive's files, found the way extraction finds them: one forward pass,
// each search starting after the previous match. -1 where the pass finds nothing.
std::vector<int> forwardScan(const Key& key, const std::vector<FileEntry>& files, std::int16_t biffid) {
    std::vector<int> found;
    std::size_t pos = 0;
    for (const FileEntry& f : files) {
        while (pos < key.resources.size() &&
               !(key.resources[pos].type == f.type && key.resources[pos].low == f.low &&
                 key.resources[pos].high == biffid))
            ++pos;
        found.push_back(pos < key.resources.size() ? static_cast<int>(pos++) : -1);
    }
    return found;
}

TEST(DemoGameTest, ListedArchivesSitAtTheirFixedIndexes) {
    TempDir dir;
    writeDemoGame(dir.path());
    const Key key = parseKey(readBytes(dir / "chitin.key"));

    ASSERT_GE(key.archives.size(), 141u);
    for (const Listed& l : kListed)
        EXPECT_EQ(key.archives[static_cast<std::size_t>(l.index)].name, l.keyName);
    // The program's list scan reads 141 entries: each must carry a real folder-prefixed name, and only
    // the four listed archives may have a listed file name.
    int listedNames = 0;
    for (std::size_t k = 0; k < 141; ++k) {
        const std::string& name = key.archives[k].name;
        EXPECT_TRUE(name.starts_with("data\\") || name.starts_with("movies\\")) << name;
        EXPECT_TRUE(name.ends_with(".BIF")) << name;
        const std::string bare = name.substr(name.find('\\') + 1);
        listedNames +=
            bare == "ITEMS.BIF" || bare == "CREATURE.BIF" || bare == "SPELLS.BIF" || bare == "CHASOUND.BIF";
    }
    EXPECT_EQ(listedNames, 4);
}

TEST(DemoGameTest, CatalogueLocatorHighEncodesArchiveIndex) {
    TempDir dir;
    writeDemoGame(dir.path());
    const Key key = parseKey(readBytes(dir / "chitin.key"));

    for (const Listed& l : kListed) {
        const auto count = parseBif(readBytes(dir / l.file)).size();
        std::size_t inCatalogue = 0;
        for (const Resource& r : key.resources) {
            const std::uint32_t locator =
                static_cast<std::uint16_t>(r.low) |
                (static_cast<std::uint32_t>(static_cast<std::uint16_t>(r.high)) << 16);
            if (locator >> 20 != static_cast<std::uint32_t>(l.index))
                continue;
            ++inCatalogue;
            EXPECT_EQ(r.high, l.biffid) << r.name;
            EXPECT_EQ(r.type, l.type) << r.name;
        }
        EXPECT_EQ(inCatalogue, count) << l.keyName;
    }
    for (const Resource& r : key.resources)
        EXPECT_LT(static_cast<std::size_t>(r.high / 16), key.archives.size()) << r.name;
}

TEST(DemoGameTest, ForwardScanNamesEveryListedFileWithOthersInterleaved) {
    TempDir dir;
    writeDemoGame(dir.path());
    const Key key = parseKey(readBytes(dir / "chitin.key"));

    for (const Listed& l : kListed) {
        const std::vector<FileEntry> files = parseBif(readBytes(dir / l.file));
        ASSERT_EQ(files.size(), 24u) << l.file;
        for (std::size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(files[i].low, static_cast<std::int16_t>(i)) << l.file;
            EXPECT_EQ(files[i].high, 0) << l.file;
        }
        const std::vector<int> found = forwardScan(key, files, l.biffid);
        ASSERT_EQ(std::count(found.begin(), found.end(), -1), 0) << l.file;
        int strangers = 0;
        for (int pos = found.front(); pos <= found.back(); ++pos)
            strangers += key.resources[static_cast<std::size_t>(pos)].high != l.biffid;
        EXPECT_GT(strangers, 0) << l.file;
    }
}

TEST(DemoGameTest, ResourceNamesAreUniqueMadeUpWords) {
    TempDir dir;
    writeDemoGame(dir.path());
    const Key key = parseKey(readBytes(dir / "chitin.key"));

    std::set<std::string> names;
    for (const Resource& r : key.resources) {
        EXPECT_TRUE(names.insert(r.name).second) << r.name;
        EXPECT_FALSE(r.name.empty());
        EXPECT_LE(r.name.size(), 8u);
        EXPECT_TRUE(std::all_of(r.name.begin(), r.name.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
            << r.name;
    }
}

TEST(DemoGameTest, ArchivesOnDiskMatchCatalogueAndHoldTheirData) {
    TempDir dir;
    writeDemoGame(dir.path());
    const Key key = parseKey(readBytes(dir / "chitin.key"));

    int onDisk = 0;
    bool movie = false;
    std::set<std::int16_t> types;
    std::vector<std::int32_t> sizes;
    for (const Archive& a : key.archives) {
        std::string relative = a.name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        if (!std::filesystem::exists(dir / relative))
            continue;
        ++onDisk;
        movie = movie || a.name.starts_with("movies\\");
        const std::string b = readBytes(dir / relative);
        EXPECT_EQ(b.size(), a.fileLength) << a.name;
        const std::vector<FileEntry> files = parseBif(b);
        std::int64_t next = 20 + 16 * static_cast<std::int64_t>(files.size());
        for (const FileEntry& f : files) {
            EXPECT_EQ(f.offset, next) << a.name;
            next = static_cast<std::int64_t>(f.offset) + f.size;
            types.insert(f.type);
            sizes.push_back(f.size);
        }
        EXPECT_EQ(next, static_cast<std::int64_t>(b.size())) << a.name;
    }
    EXPECT_GE(onDisk, 16);
    EXPECT_TRUE(movie);
    for (const std::int16_t t : {1, 2, 4, 1000, 1005, 1009, 1013, 1015, 3, 1016})
        EXPECT_TRUE(types.contains(t)) << "type " << t;
    EXPECT_TRUE(std::count(sizes.begin(), sizes.end(), 0) > 0);
    EXPECT_TRUE(std::count(sizes.begin(), sizes.end(), 65535) > 0);
    EXPECT_TRUE(std::count_if(sizes.begin(), sizes.end(), [](std::int32_t s) { return s > 131070; }) > 0);
}

TEST(DemoGameTest, ItemNameNumbersResolveToDistinctNamesInDialogTlk) {
    TempDir dir;
    writeDemoGame(dir.path());
    const std::string items = readBytes(dir / "data/ITEMS.BIF");
    const std::string tlk = readBytes(dir / "Dialog.tlk");

    std::set<std::string> names;
    for (const FileEntry& f : parseBif(items)) {
        ASSERT_GE(f.size, 14);
        const std::int16_t number = i16(items, static_cast<std::size_t>(f.offset) + 12);
        ASSERT_GT(number, 0);
        ASSERT_LT(static_cast<std::uint32_t>(number), u32(tlk, 10));
        const std::string name = tlkString(tlk, number);
        // The entry's own offset field agrees with the sum of the lengths before it.
        const std::size_t e = 18 + 26 * static_cast<std::size_t>(number);
        EXPECT_EQ(tlk.substr(u32(tlk, 14) + u32(tlk, e + 18), u32(tlk, e + 22)), name);
        EXPECT_FALSE(name.empty());
        EXPECT_NE(name.find(' '), std::string::npos) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 24u);
}

TEST(DemoGameTest, SameSeedGivesSameBytesAndOtherSeedOtherContents) {
    TempDir a;
    TempDir b;
    TempDir c;
    writeDemoGame(a.path(), 6, 7);
    writeDemoGame(b.path(), 6, 7);
    writeDemoGame(c.path(), 6, 8);
    for (const char* file :
         {"chitin.key", "Dialog.tlk", "data/ITEMS.BIF", "data/SKETCHES.BIF", "movies/DAWNREEL.BIF"})
        EXPECT_EQ(readBytes(a / file), readBytes(b / file)) << file;
    EXPECT_NE(readBytes(a / "chitin.key"), readBytes(c / "chitin.key"));
    EXPECT_NE(readBytes(a / "data/CREATURE.BIF"), readBytes(c / "data/CREATURE.BIF"));
}

TEST(DemoGameTest, FilesPerArchiveSetsListedArchiveCounts) {
    TempDir dir;
    writeDemoGame(dir.path(), 3);
    TempDir empty;
    writeDemoGame(empty.path(), 0);
    for (const Listed& l : kListed) {
        EXPECT_EQ(parseBif(readBytes(dir / l.file)).size(), 3u) << l.file;
        EXPECT_EQ(readBytes(empty / l.file).size(), 20u) << l.file;
    }
}

TEST(DemoGameTest, BulkArchiveHoldsManySmallFilesAllNamedInOrder) {
    TempDir dir;
    DemoOptions options;
    options.filesPerArchive = 4;
    options.bulkArchive = "CREATURE";
    options.bulkFileCount = 500;
    writeDemoGame(dir.path(), options);
    const Key key = parseKey(readBytes(dir / "chitin.key"));

    const std::vector<FileEntry> files = parseBif(readBytes(dir / "data/CREATURE.BIF"));
    ASSERT_EQ(files.size(), 500u);
    for (const FileEntry& f : files) {
        EXPECT_GE(f.size, 1);
        EXPECT_LE(f.size, 20000);
    }
    const std::vector<int> found = forwardScan(key, files, 608);
    EXPECT_EQ(std::count(found.begin(), found.end(), -1), 0);
    EXPECT_EQ(parseBif(readBytes(dir / "data/ITEMS.BIF")).size(), 4u);
}

TEST(DemoGameTest, RejectsCountsAndArchivesItCannotBuild) {
    TempDir dir;
    EXPECT_THROW(writeDemoGame(dir.path(), -1), std::invalid_argument);
    EXPECT_THROW(writeDemoGame(dir.path(), 65536), std::invalid_argument);
    DemoOptions options;
    options.bulkArchive = "DAWNREEL";
    options.bulkFileCount = 10;
    EXPECT_THROW(writeDemoGame(dir.path(), options), std::invalid_argument);
    EXPECT_FALSE(std::filesystem::exists(dir / "chitin.key"));
}

std::uint32_t locatorOf(const Resource& r) {
    return static_cast<std::uint16_t>(r.low) | static_cast<std::uint32_t>(static_cast<std::uint16_t>(r.high))
                                                   << 16;
}

struct ZipContents {
    std::map<std::string, std::string> data;
    std::map<std::string, std::uint16_t> method;
};

// Every member of a zip, read whole through libzip.
ZipContents readZip(const std::filesystem::path& path) {
    ZipContents contents;
    int error = 0;
    zip_t* zip = zip_open(path.string().c_str(), ZIP_RDONLY, &error);
    EXPECT_NE(zip, nullptr) << path;
    if (zip == nullptr)
        return contents;
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        EXPECT_EQ(zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &stat), 0);
        std::string data(stat.size, '\0');
        zip_file_t* file = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
        EXPECT_NE(file, nullptr) << stat.name;
        if (file == nullptr)
            continue;
        EXPECT_EQ(zip_fread(file, data.data(), data.size()), static_cast<zip_int64_t>(data.size()))
            << stat.name;
        zip_fclose(file);
        contents.data[stat.name] = data;
        contents.method[stat.name] = stat.comp_method;
    }
    zip_discard(zip);
    return contents;
}

// The Enhanced Edition's whole game: every catalogue entry of DEFAULT.BIF and of the DLC's mod.key leads to
// a table entry of its type, the override and the DLC replace base resources, the DLC's table extends the
// base one, and the same options give the same bytes.
TEST(DemoGameTest, EditionHoldsEncryptedTablesOverrideAndDlcZip) {
    TempDir dir;
    TempDir again;
    DemoOptions options;
    options.layout = DemoLayout::Ee;
    options.filesPerArchive = 4;
    options.stringCount = 0;
    writeDemoGame(dir.path(), options);
    writeDemoGame(again.path(), options);
    for (const char* file : {"chitin.key", "data/DEFAULT.BIF", "dlc/sod-dlc.zip"})
        EXPECT_EQ(readBytes(dir / file), readBytes(again / file)) << file;

    const Key key = parseKey(readBytes(dir / "chitin.key"));
    const std::string defaults = readBytes(dir / "data/DEFAULT.BIF");
    const auto slot = std::find_if(key.archives.begin(), key.archives.end(),
                                   [](const Archive& a) { return a.name == "data/DEFAULT.BIF"; });
    ASSERT_NE(slot, key.archives.end());
    EXPECT_EQ(slot->fileLength, defaults.size());
    const auto defaultIndex = static_cast<std::uint32_t>(slot - key.archives.begin());
    const std::size_t tilesets = 20 + 16 * static_cast<std::size_t>(i32(defaults, 8));
    std::set<std::int16_t> found;
    for (const Resource& r : key.resources) {
        const std::uint32_t locator = locatorOf(r);
        if (locator >> 20 != defaultIndex)
            continue;
        std::size_t entry = 20 + 16 * (locator & 0x3FFF);
        std::string data;
        if ((locator >> 14 & 0x3F) != 0) {
            ASSERT_EQ(locator & 0x3FFF, 0u) << r.name;
            entry = tilesets + 20 * ((locator >> 14 & 0x3F) - 1);
            EXPECT_EQ(u32(defaults, entry), locator) << r.name;
            EXPECT_EQ(i16(defaults, entry + 16), r.type) << r.name;
            data = defaults.substr(u32(defaults, entry + 4),
                                   u32(defaults, entry + 8) * u32(defaults, entry + 12));
            EXPECT_EQ(data.size(), 2u * 5120u) << r.name;
        } else {
            EXPECT_EQ(u32(defaults, entry), locator) << r.name;
            EXPECT_EQ(i16(defaults, entry + 12), r.type) << r.name;
            data = defaults.substr(u32(defaults, entry + 4), u32(defaults, entry + 8));
        }
        found.insert(r.type);
        EXPECT_EQ(qm::isEncryptedText(data), r.type == 1008) << r.name;
        if (r.type != 1003) {
            EXPECT_TRUE(qm::decryptText(data).starts_with(r.type == 1008 ? "IDS V1.0\r\n" : "2DA V1.0\r\n"))
                << r.name;
        }
    }
    EXPECT_EQ(found, (std::set<std::int16_t>{1003, 1008, 1012}));

    // The override is Items.bif's first item named by the second's string.
    const std::string items = readBytes(dir / "data/Items.bif");
    const std::vector<FileEntry> itemEntries = parseBif(items);
    ASSERT_EQ(itemEntries.size(), 4u);
    const auto first = std::find_if(key.resources.begin(), key.resources.end(), [&](const Resource& r) {
        return r.type == 1005 && r.low == itemEntries[0].low && r.high == itemEntries[0].high;
    });
    ASSERT_NE(first, key.resources.end());
    const std::string replaced = readBytes(dir / "override" / (first->name + ".ITM"));
    std::string original = items.substr(static_cast<std::size_t>(itemEntries[0].offset),
                                        static_cast<std::size_t>(itemEntries[0].size));
    ASSERT_EQ(replaced.size(), original.size());
    EXPECT_NE(replaced, original);
    storeU32(original, 12, u32(items, static_cast<std::size_t>(itemEntries[1].offset) + 12));
    EXPECT_EQ(replaced, original);

    const ZipContents dlc = readZip(dir / "dlc/sod-dlc.zip");
    const std::map<std::string, std::uint16_t> methods = {{"mod.key", ZIP_CM_DEFLATE},
                                                          {"data/SODITEMS.BIF", ZIP_CM_STORE},
                                                          {"data/SODAREA.BIF", ZIP_CM_DEFLATE},
                                                          {"lang/en_US/dialog.tlk", ZIP_CM_DEFLATE}};
    ASSERT_EQ(dlc.method, methods);
    const std::string base = readBytes(dir / "lang/en_US/dialog.tlk");
    const std::string& extended = dlc.data.at("lang/en_US/dialog.tlk");
    const std::uint32_t baseCount = u32(base, 10);
    EXPECT_EQ(extended.substr(18, 26 * baseCount), base.substr(18, 26 * baseCount));
    EXPECT_EQ(extended.substr(u32(extended, 14), base.size() - u32(base, 14)), base.substr(u32(base, 14)));

    const Key mod = parseKey(dlc.data.at("mod.key"));
    ASSERT_EQ(mod.archives.size(), 2u);
    std::set<std::string> baseNames;
    for (const Resource& r : key.resources)
        baseNames.insert(r.name + "/" + std::to_string(r.type));
    int replacing = 0;
    int newItems = 0;
    for (const Resource& r : mod.resources) {
        const std::uint32_t locator = locatorOf(r);
        ASSERT_LT(locator >> 20, mod.archives.size()) << r.name;
        const Archive& archive = mod.archives[locator >> 20];
        const std::string& bif = dlc.data.at(archive.name);
        EXPECT_EQ(archive.fileLength, bif.size());
        const std::vector<FileEntry> entries = parseBif(bif);
        ASSERT_LT(locator & 0x3FFF, entries.size()) << r.name;
        const FileEntry& e = entries[locator & 0x3FFF];
        EXPECT_EQ(e.type, r.type) << r.name;
        EXPECT_EQ(static_cast<std::uint32_t>(static_cast<std::uint16_t>(e.low)) |
                      static_cast<std::uint32_t>(static_cast<std::uint16_t>(e.high)) << 16,
                  locator)
            << r.name;
        const bool replaces = baseNames.contains(r.name + "/" + std::to_string(r.type));
        replacing += replaces;
        if (r.type != 1005)
            continue;
        newItems += !replaces;
        const std::uint32_t name = u32(bif, static_cast<std::size_t>(e.offset) + 12);
        EXPECT_GE(name, baseCount) << r.name;
        ASSERT_LT(name, u32(extended, 10)) << r.name;
        EXPECT_GT(u32(extended, 18 + 26 * std::size_t{name} + 22), 0u) << r.name;
    }
    EXPECT_EQ(replacing, 3) << "two items and the 2DA";
    EXPECT_EQ(newItems, 3);

    // An independent reader of the zip, where there is one.
    if (std::system("python3 -c '' > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "no python3";
    const std::string check =
        "python3 -c \"import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None; "
        "m = {i.filename: i.compress_type for i in z.infolist()}; "
        "assert m == {'mod.key': 8, 'data/SODITEMS.BIF': 0, 'data/SODAREA.BIF': 8, "
        "'lang/en_US/dialog.tlk': 8}, m\" '" +
        (dir / "dlc/sod-dlc.zip").string() + "'";
    EXPECT_EQ(std::system(check.c_str()), 0);
}

} // namespace
