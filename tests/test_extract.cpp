#include "Extract.h"
#include "FileError.h"
#include "GameBuilder.h"
#include "Selection.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace fs = std::filesystem;
using qm::build::BifBuilder;
using qm::build::KeyBuilder;
using qm::test::errorNumberOf;
using qm::test::readBytes;
using qm::test::TempDir;

namespace {

std::string pattern(std::size_t size, char seed) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>(seed + static_cast<char>(i * 7 + i / 251));
    return data;
}

// A game folder with ITEMS.BIF, its catalogue entries (LocatorHigh 240) and a current folder to write into.
struct ItemsGame {
    TempDir game;
    TempDir work;
    KeyBuilder key;
    BifBuilder bif;

    ItemsGame() { key.addArchive("data\\ITEMS.BIF"); }

    qm::build::BifFile& addFile(const std::string& resRef, std::int16_t type, std::string data) {
        const auto index = static_cast<std::int16_t>(bif.fileCount());
        key.addResource(resRef, type, index, 240);
        return bif.add(type, std::move(data));
    }
    void write() {
        qm::build::writeFile(game / "chitin.key", key.bytes());
        qm::build::writeFile(game / "data" / "ITEMS.BIF", bif.bytes());
    }
    qm::SelectionState select() { return qm::selectArchive(game.prefix(), "ITEMS.BIF"); }
};

struct Recorded {
    std::vector<float> progress;
    std::vector<std::string> written;
    int done = 0;
    int redraws = 0;
    std::vector<std::string> messages;

    qm::ExtractCallbacks callbacks() {
        qm::ExtractCallbacks c;
        c.progress = [this](float v) { progress.push_back(v); };
        c.written = [this](const std::string& p) { written.push_back(p); };
        c.done = [this] { ++done; };
        c.redraw = [this] { ++redraws; };
        c.errormsg = [this](const std::string& m) { messages.push_back(m); };
        return c;
    }
};

std::set<std::string> filesUnder(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        names.insert(fs::relative(entry.path(), dir).generic_string());
    return names;
}

} // namespace

TEST(WholeArchiveExtraction, WritesEveryFileTheLogAndTheProgress) {
    ItemsGame g;
    g.addFile("SWORD", 1005, pattern(100, 'a'));
    g.addFile("SHIELD", 1005, pattern(0, 'b'));
    g.addFile("NOTE", 3, pattern(10, 'c'));
    g.addFile(std::string("AB\0CD", 5), 1016, pattern(1, 'd'));
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    Recorded r;
    qm::extractArchive(g.select(), r.callbacks());

    EXPECT_EQ(readBytes(g.work / "ITEMS" / "SWORD.ITM"), pattern(100, 'a'));
    EXPECT_EQ(readBytes(g.work / "ITEMS" / "SHIELD.ITM"), "");
    EXPECT_EQ(readBytes(g.work / "ITEMS" / "NOTE. 3"), pattern(10, 'c'));
    EXPECT_EQ(readBytes(g.work / "ITEMS" / "ABCD. 1016"), pattern(1, 'd'));
    EXPECT_EQ(readBytes(g.work / "ITEMS.log"), "SWORD.ITM\r\nSHIELD.ITM\r\nNOTE. 3\r\nABCD. 1016\r\n");
    EXPECT_EQ(r.progress, (std::vector<float>{0.0f, 25.0f, 50.0f, 75.0f, 0.0f}));
    EXPECT_EQ(r.redraws, 4);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(r.written.front(), "ITEMS\\SWORD.ITM");
}

TEST(WholeArchiveExtraction, CopiesAcrossChunkBoundariesByteForByte) {
    ItemsGame g;
    const std::vector<std::size_t> sizes = {65534, 65535, 65536, 131070, 131071, 200000};
    for (std::size_t i = 0; i < sizes.size(); ++i)
        g.addFile("F" + std::to_string(i), 1005, pattern(sizes[i], static_cast<char>('A' + i)));
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    Recorded r;
    qm::extractArchive(g.select(), r.callbacks());
    for (std::size_t i = 0; i < sizes.size(); ++i)
        EXPECT_EQ(readBytes(g.work / "ITEMS" / ("F" + std::to_string(i) + ".ITM")),
                  pattern(sizes[i], static_cast<char>('A' + i)))
            << "size " << sizes[i];
}

TEST(WholeArchiveExtraction, WithoutSelectionOnlyAsksForOne) {
    TempDir work;
    qm::test::CurrentDir cd(work.path());
    Recorded r;
    qm::extractArchive(qm::SelectionState{}, r.callbacks());
    EXPECT_EQ(r.messages, std::vector<std::string>{"Select a file"});
    EXPECT_EQ(r.done, 0);
    EXPECT_TRUE(fs::is_empty(work.path()));
}

TEST(WholeArchiveExtraction, ReusesTheFolderAndRewritesTheLog) {
    ItemsGame g;
    g.addFile("SWORD", 1005, "new");
    g.write();
    qm::test::writeBytes(g.work / "ITEMS" / "KEEP.TXT", "kept");
    qm::test::writeBytes(g.work / "ITEMS" / "SWORD.ITM", "an older and longer file");
    qm::test::writeBytes(g.work / "ITEMS.log", "OLD.ITM\r\nOLDER.ITM\r\n");
    qm::test::CurrentDir cd(g.work.path());
    Recorded r;
    qm::extractArchive(g.select(), r.callbacks());
    EXPECT_EQ(readBytes(g.work / "ITEMS" / "KEEP.TXT"), "kept");
    EXPECT_EQ(readBytes(g.work / "ITEMS" / "SWORD.ITM"), "new");
    EXPECT_EQ(readBytes(g.work / "ITEMS.log"), "SWORD.ITM\r\n");
}

TEST(WholeArchiveExtraction, EmptyArchiveWritesAnEmptyLogAndIsDone) {
    ItemsGame g;
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    Recorded r;
    qm::extractArchive(g.select(), r.callbacks());
    EXPECT_TRUE(fs::is_empty(g.work / "ITEMS"));
    EXPECT_EQ(readBytes(g.work / "ITEMS.log"), "");
    EXPECT_EQ(r.progress, std::vector<float>{0.0f});
    EXPECT_EQ(r.done, 1);
}

TEST(WholeArchiveExtraction, ForwardScanSkipsOtherArchivesEntries) {
    ItemsGame g;
    g.bif.add(1005, "one");
    g.bif.add(1005, "two");
    g.key.addResource("OTHER", 1005, 0, 608);
    g.key.addResource("FIRST", 1005, 0, 240);
    g.key.addResource("OTHER2", 1005, 1, 608);
    g.key.addResource("SECOND", 1005, 1, 240);
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    Recorded r;
    qm::extractArchive(g.select(), r.callbacks());
    EXPECT_EQ(filesUnder(g.work / "ITEMS"), (std::set<std::string>{"FIRST.ITM", "SECOND.ITM"}));
}

TEST(WholeArchiveExtraction, OutOfOrderCatalogueLosesNoFile) {
    ItemsGame g;
    for (const char* data : {"zero", "one", "two", "three"})
        g.bif.add(1005, data);
    // File 1 stands before file 0's entry, so the forward scan runs out on it.
    g.key.addResource("ONE", 1005, 1, 240);
    g.key.addResource("ZERO", 1005, 0, 240);
    g.key.addResource("THREE", 1005, 3, 240);
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    Recorded r;
    qm::extractArchive(g.select(), r.callbacks());
    EXPECT_EQ(readBytes(g.work / "ITEMS" / "ZERO.ITM"), "zero");
    EXPECT_EQ(readBytes(g.work / "ITEMS" / "ONE.ITM"), "one");
    EXPECT_EQ(readBytes(g.work / "ITEMS" / "NONAME00002.ITM"), "two");
    EXPECT_EQ(readBytes(g.work / "ITEMS" / "THREE.ITM"), "three");
    EXPECT_EQ(readBytes(g.work / "ITEMS.log"), "ZERO.ITM\r\nONE.ITM\r\nNONAME00002.ITM\r\nTHREE.ITM\r\n");
}

TEST(WholeArchiveExtraction, HostileNamesStayInsideTheOutputFolder) {
    ItemsGame g;
    g.addFile("..\\..\\X", 1005, "a");
    g.addFile("/etc/p", 1005, "b");
    g.addFile("C:\x01Z", 1005, "c");
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    Recorded r;
    qm::extractArchive(g.select(), r.callbacks());
    EXPECT_EQ(filesUnder(g.work.path()), (std::set<std::string>{"ITEMS", "ITEMS.log", "ITEMS/.._.._X.ITM",
                                                                "ITEMS/_etc_p.ITM", "ITEMS/C__Z.ITM"}));
    EXPECT_EQ(readBytes(g.work / "ITEMS.log"), ".._.._X.ITM\r\n_etc_p.ITM\r\nC__Z.ITM\r\n");
}

#ifndef _WIN32
// Linux keeps names in UTF-8; Windows takes game text in its own code page and has no such choice.
TEST(WholeArchiveExtraction, EightBitNamesThatLookLikeUtf8KeepTheirOwnFiles) {
    ItemsGame g;
    g.addFile("\xC3\xA9", 1005, "two bytes"); // Windows-1252 "Ã©", which also reads as UTF-8 "é"
    g.addFile("\xE9", 1005, "one byte");      // Windows-1252 "é"
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    Recorded r;
    qm::extractArchive(g.select(), r.callbacks());
    EXPECT_EQ(readBytes(g.work / "ITEMS" / "\xC3\x83\xC2\xA9.ITM"), "two bytes");
    EXPECT_EQ(readBytes(g.work / "ITEMS" / "\xC3\xA9.ITM"), "one byte");
}
#endif

TEST(WholeArchiveExtraction, DataPastTheArchiveEndIsReportedNotTruncated) {
    ItemsGame g;
    g.addFile("GOOD", 1005, "good");
    g.addFile("BAD", 1005, "bad").dataSize = 1000000;
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    Recorded r;
    EXPECT_EQ(errorNumberOf([&] { qm::extractArchive(g.select(), r.callbacks()); }), qm::InputPastEndOfFile);
    EXPECT_EQ(readBytes(g.work / "ITEMS" / "GOOD.ITM"), "good");
    EXPECT_FALSE(fs::exists(g.work / "ITEMS" / "BAD.ITM"));
    EXPECT_EQ(r.done, 0);
}

TEST(WholeArchiveExtraction, NegativeOffsetIsReported) {
    ItemsGame g;
    g.addFile("NEG", 1005, "data").dataOffset = -5;
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    Recorded r;
    EXPECT_NE(errorNumberOf([&] { qm::extractArchive(g.select(), r.callbacks()); }), 0);
    EXPECT_FALSE(fs::exists(g.work / "ITEMS" / "NEG.ITM"));
}

TEST(WholeArchiveExtraction, WalkEndsAfterTheTableWhenLocatorsNeverReachTheCount) {
    ItemsGame g;
    for (int i = 0; i < 3; ++i) {
        g.bif.add(7, 0, 1005, "x" + std::to_string(i));
        g.key.addResource("SAME" + std::to_string(i), 1005, 7, 240);
    }
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    Recorded r;
    qm::extractArchive(g.select(), r.callbacks());
    EXPECT_EQ(r.written.size(), 3u);
    EXPECT_EQ(readBytes(g.work / "ITEMS" / "SAME0.ITM"), "x0");
}

TEST(WholeArchiveExtraction, CountLargerThanTheTableIsReported) {
    ItemsGame g;
    g.addFile("ONLY", 1005, "only");
    g.bif.setFileEntryCount(2147483647);
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    Recorded r;
    EXPECT_EQ(errorNumberOf([&] { qm::extractArchive(g.select(), r.callbacks()); }), qm::InputPastEndOfFile);
}

TEST(ArchiveListing, NamesFilesAsExtractionDoesWithListProgress) {
    ItemsGame g;
    g.addFile("A", 1005, "1");
    g.addFile("B", 4, "22");
    g.addFile("C", -1, "333");
    g.bif.add(1005, "4444"); // no catalogue entry
    g.write();
    std::vector<float> progress;
    const auto listing = qm::listArchive(g.select(), [&](float v) { progress.push_back(v); });
    ASSERT_EQ(listing.files.size(), 4u);
    EXPECT_EQ(listing.files[0].text, "A.ITM");
    EXPECT_EQ(listing.files[1].text, "B.WAV");
    EXPECT_EQ(listing.files[2].text, "C.-1");
    EXPECT_EQ(listing.files[3].text, "NONAME00003.ITM");
    EXPECT_EQ(listing.files[3].dataSize, 4);
    EXPECT_EQ(listing.archiveLength, static_cast<std::int64_t>(g.bif.bytes().size()));
    EXPECT_EQ(progress, (std::vector<float>{25.0f, 50.0f, 75.0f, 100.0f, 0.0f}));

    TempDir work;
    qm::test::CurrentDir cd(work.path());
    Recorded r;
    qm::extractArchive(g.select(), r.callbacks());
    for (const auto& file : listing.files)
        EXPECT_TRUE(fs::exists(work / "ITEMS" / file.text)) << file.text;
}

TEST(Extractfile, EmptiesAnExistingFileAndReportsChunkProgress) {
    ItemsGame g;
    g.addFile("BIG", 1005, pattern(65536, 'q'));
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    qm::test::writeBytes(g.work / "out.bin", std::string(70000, 'z'));
    std::vector<float> progress;
    const auto details = qm::readEntryDetails(qm::archivePath(g.select()), 0);
    qm::extractfile(qm::archivePath(g.select()), "out.bin", details.dataOffset, details.dataSize,
                    [&](float v) { progress.push_back(v); });
    EXPECT_EQ(readBytes(g.work / "out.bin"), pattern(65536, 'q'));
    ASSERT_EQ(progress.size(), 3u);
    EXPECT_FLOAT_EQ(progress[0], static_cast<float>(65535.0 / 65536.0 * 100.0));
    EXPECT_EQ(progress[1], 100.0f);
    EXPECT_EQ(progress[2], 0.0f);
}

TEST(SelectiveExtraction, WritesCheckedEntriesIntoWorkDirAndUnchecksThem) {
    ItemsGame g;
    g.addFile("A", 1005, "aaaa");
    g.addFile("B", 1005, "bb");
    g.addFile("C", 1005, "c");
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    std::set<int> checked = {0, 2};
    std::vector<int> unchecked;
    std::vector<std::string> status;
    qm::PickCallbacks c;
    c.isChecked = [&](int i) { return checked.count(i) != 0; };
    c.uncheck = [&](int i) {
        checked.erase(i);
        unchecked.push_back(i);
    };
    c.status = [&](const std::string& s) { status.push_back(s); };
    qm::extractSelected(g.select(), {"A.ITM", "B.ITM", "C.ITM"}, c);
    EXPECT_EQ(readBytes(g.work / "WorkDir" / "A.ITM"), "aaaa");
    EXPECT_EQ(readBytes(g.work / "WorkDir" / "C.ITM"), "c");
    EXPECT_FALSE(fs::exists(g.work / "WorkDir" / "B.ITM"));
    EXPECT_EQ(unchecked, (std::vector<int>{0, 2}));
    EXPECT_EQ(status, (std::vector<std::string>{"A.ITM", "", "", "C.ITM", ""}));
}

TEST(SelectiveExtraction, CreatesWorkDirEvenWithNothingChecked) {
    ItemsGame g;
    g.addFile("A", 1005, "aaaa");
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    qm::PickCallbacks c;
    c.isChecked = [](int) { return false; };
    qm::extractSelected(g.select(), {"A.ITM"}, c);
    EXPECT_TRUE(fs::is_directory(g.work / "WorkDir"));
    EXPECT_TRUE(fs::is_empty(g.work / "WorkDir"));
}

TEST(EntryDetails, ReadsBoundsAndTheItemNameIndex) {
    ItemsGame g;
    std::string item(20, '\0');
    item[12] = static_cast<char>(0x34);
    item[13] = static_cast<char>(0x82); // 0x8234 reads as negative
    g.addFile("X", 1005, "short");
    g.addFile("Y", 1005, item);
    g.write();
    const auto path = qm::archivePath(g.select());
    const auto y = qm::readEntryDetails(path, 1);
    EXPECT_EQ(y.dataSize, 20);
    EXPECT_EQ(y.nameIndex, static_cast<std::int16_t>(0x8234));
    EXPECT_EQ(qm::readEntryDetails(path, 0).nameIndex, 0) << "data too short for a name index";
    EXPECT_EQ(errorNumberOf([&] { qm::readEntryDetails(path, 5); }), qm::InputPastEndOfFile);
}

TEST(DescribeEnding, FollowsTheTableAndFallsBack) {
    EXPECT_EQ(qm::describeEnding("A.WAV"), "Sounds Files,\r\nNot yet playable");
    EXPECT_EQ(qm::describeEnding("A.mos"), "Area Data files ");
    EXPECT_EQ(qm::describeEnding("A.WED"), "Area Data files");
    EXPECT_EQ(qm::describeEnding("A.GAM"), "Unidentified, part of Default.bif");
    for (const char* text : {"A.CHU", "A. 3", "A. 1016", ""}) {
        const std::string fallback = qm::describeEnding(text);
        EXPECT_EQ(fallback.rfind("Unknow File Type, Please inform Tavrin \r\n", 0), 0u) << text;
        EXPECT_EQ(std::count(fallback.begin(), fallback.end(), '\n'), 2) << text;
        EXPECT_TRUE(fallback.ends_with(", thanks :-)")) << text;
    }
}

TEST(Tlkstring, ReadsStringsBySummedLengths) {
    TempDir game;
    qm::build::TlkBuilder tlk;
    tlk.add("Zero");
    tlk.add("");
    tlk.add("Second one");
    qm::build::writeFile(game / "Dialog.tlk", tlk.bytes());
    EXPECT_EQ(qm::tlkstring(game.prefix(), 0), "Zero");
    EXPECT_EQ(qm::tlkstring(game.prefix(), 1), "");
    EXPECT_EQ(qm::tlkstring(game.prefix(), 2), "Second one");
    EXPECT_EQ(qm::tlkstring(game.prefix(), -32000), "Zero") << "negative numbers read string 0";
    EXPECT_EQ(qm::tlkstring(game.prefix(), 3), "") << "past the last entry";
    qm::StringTable table(game.prefix());
    EXPECT_EQ(table.get(2), "Second one");
    EXPECT_EQ(table.get(0), "Zero");
}

TEST(Tlkstring, MissingOrShortTableGivesEmptyTextAndCreatesNothing) {
    TempDir game;
    EXPECT_EQ(qm::tlkstring(game.prefix(), 0), "");
    EXPECT_FALSE(fs::exists(game / "Dialog.tlk"));
    qm::build::TlkBuilder tlk;
    tlk.add("A complete string");
    std::string bytes = tlk.bytes();
    bytes.resize(bytes.size() - 3);
    qm::build::writeFile(game / "Dialog.tlk", bytes);
    EXPECT_EQ(qm::tlkstring(game.prefix(), 0), "");
    qm::build::writeFile(game / "Dialog.tlk", bytes.substr(0, 10));
    EXPECT_EQ(qm::tlkstring(game.prefix(), 0), "");
}
