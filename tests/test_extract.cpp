#include "Extract.h"
#include "FileError.h"
#include "GameBuilder.h"
#include "Interrupt.h"
#include "Selection.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>
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

// An archive beyond the four is named by the format's type table, the four by the program's own, in the
// listing and in what extraction writes. Both archives hold the same three types; the program's table
// calls an IDS (1008) a 2DA and a 2DA (1012) a GAM.
TEST(ArchiveListing, ArchivesBeyondTheFourUseTheDocumentedTypes) {
    TempDir game;
    TempDir work;
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    key.addArchive("data\\AR0010.BIF");
    BifBuilder items;
    BifBuilder area;
    const std::vector<std::pair<std::string, std::int16_t>> files = {
        {"TABLE", 1008}, {"RULES", 1012}, {"ITEM", 1005}};
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto low = static_cast<std::int16_t>(i);
        key.addResource(files[i].first, files[i].second, low, 240);
        items.add(files[i].second, "item data");
        key.addResource("AR" + files[i].first, files[i].second, low, 16);
        area.add(low, 16, files[i].second, "area data");
    }
    qm::build::writeFile(game / "chitin.key", key.bytes());
    qm::build::writeFile(game / "data" / "ITEMS.BIF", items.bytes());
    qm::build::writeFile(game / "data" / "AR0010.BIF", area.bytes());
    const auto texts = [&game](const char* archive) {
        std::vector<std::string> names;
        for (const qm::ListedFile& file :
             qm::listArchive(qm::selectArchive(game.prefix(), archive), {}).files)
            names.push_back(file.text);
        return names;
    };
    EXPECT_EQ(texts("ITEMS.BIF"), (std::vector<std::string>{"TABLE.2DA", "RULES.GAM", "ITEM.ITM"}));
    const qm::SelectionState selection = qm::selectArchive(game.prefix(), "AR0010.BIF");
    EXPECT_EQ(selection.biffid, 999);
    EXPECT_EQ(qm::archivePath(selection), game.prefix() + "data\\AR0010.bif");
    EXPECT_EQ(texts("AR0010.BIF"), (std::vector<std::string>{"ARTABLE.IDS", "ARRULES.2DA", "ARITEM.ITM"}));

    qm::test::CurrentDir cd(work.path());
    qm::extractArchive(selection, {});
    EXPECT_EQ(filesUnder(work.path()), (std::set<std::string>{"AR0010", "AR0010.log", "AR0010/ARTABLE.IDS",
                                                              "AR0010/ARRULES.2DA", "AR0010/ARITEM.ITM"}));
    EXPECT_EQ(readBytes(work / "AR0010" / "ARRULES.2DA"), "area data");
}

TEST(Extractfile, EmptiesAnExistingFileAndReportsChunkProgress) {
    ItemsGame g;
    g.addFile("BIG", 1005, pattern(65536, 'q'));
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    qm::test::writeBytes(g.work / "out.bin", std::string(70000, 'z'));
    std::vector<float> progress;
    const auto details = qm::readEntryDetails(g.select(), 0);
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

// A small file, then one of 1 GB whose data are a hole in a sparse archive: a stop must not wait for it.
struct StoppedGame : ItemsGame {
    StoppedGame() {
        addFile("A", 1005, "aaaa");
        addFile("HUGE", 1005, "h").dataSize = kHugeSize;
        write();
        const auto archive = game / "data" / "ITEMS.BIF";
        fs::resize_file(archive, fs::file_size(archive) - 1 + kHugeSize);
    }
    static constexpr std::int32_t kHugeSize = 1 << 30;
    qm::StopRequest stop;
};

TEST(Stopping, SelectiveExtractionStopsInsideAHugeFileAndRemovesIt) {
    StoppedGame g;
    qm::test::CurrentDir cd(g.work.path());
    int chunksOfHuge = 0;
    qm::PickCallbacks c;
    c.isChecked = [](int) { return true; };
    c.stop = &g.stop;
    c.progress = [&](float percent) {
        if (percent > 0.0f && percent < 100.0f) {
            ++chunksOfHuge;
            g.stop.request();
        }
    };
    EXPECT_THROW(qm::extractSelected(g.select(), {"A.ITM", "HUGE.ITM"}, c), qm::Interrupted);
    EXPECT_EQ(chunksOfHuge, 1);
    EXPECT_EQ(filesUnder(g.work / "WorkDir"), (std::set<std::string>{"A.ITM"}));
    EXPECT_EQ(readBytes(g.work / "WorkDir" / "A.ITM"), "aaaa");
}

TEST(Stopping, WholeArchiveExtractionRemovesTheFileItStoppedIn) {
    StoppedGame g;
    qm::test::CurrentDir cd(g.work.path());
    Recorded r;
    qm::ExtractCallbacks c = r.callbacks();
    c.stop = &g.stop;
    c.redraw = [&] { g.stop.request(); };
    EXPECT_THROW(qm::extractArchive(g.select(), c), qm::Interrupted);
    EXPECT_EQ(filesUnder(g.work / "ITEMS"), (std::set<std::string>{"A.ITM"}));
    EXPECT_EQ(readBytes(g.work / "ITEMS" / "A.ITM"), "aaaa");
    EXPECT_EQ(readBytes(g.work / "ITEMS.log"), "A.ITM\r\n");
    EXPECT_EQ(r.done, 0);
}

TEST(EntryDetails, ReadsBoundsAndTheItemNameIndex) {
    ItemsGame g;
    std::string item(20, '\0');
    qm::build::storeU32(item, 12, 0x00008234); // past 32767: the Enhanced Edition's tables reach it
    std::string negative(16, '\0');
    qm::build::storeU32(negative, 12, 0xFFFF8234);
    // The archive ends two bytes into the field: those two count, as a 16-bit number.
    std::string lastCut(14, '\0');
    qm::build::storeU16(lastCut, 12, 0x1234);
    g.addFile("X", 1005, "short");
    g.addFile("Y", 1005, item);
    g.addFile("Z", 1005, negative);
    g.addFile("W", 1005, lastCut);
    g.write();
    const auto selection = g.select();
    const auto y = qm::readEntryDetails(selection, 1);
    EXPECT_EQ(y.dataSize, 20);
    EXPECT_EQ(y.nameIndex, 0x8234);
    EXPECT_EQ(qm::readEntryDetails(selection, 2).nameIndex, -32204);
    EXPECT_EQ(qm::readEntryDetails(selection, 3).nameIndex, 0x1234);
    EXPECT_EQ(errorNumberOf([&] { qm::readEntryDetails(selection, 50); }), qm::InputPastEndOfFile);
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
    // The header's StringCount ends the table, whatever bytes follow.
    std::string counted = tlk.bytes();
    qm::build::storeU32(counted, 10, 2);
    qm::build::writeFile(game / "Dialog.tlk", counted);
    EXPECT_EQ(qm::tlkstring(game.prefix(), 1), "");
    EXPECT_EQ(qm::tlkstring(game.prefix(), 2), "") << "at the header's count";
}

// The Enhanced Edition: no Dialog.tlk of its own, lang\<lang>\dialog.tlk in UTF-8 with far more than 32767
// strings.
TEST(Tlkstring, EditionTablesAreFoundByLanguageAndReadPast32767) {
    TempDir game;
    qm::build::TlkBuilder tlk;
    for (int i = 0; i < 40000; ++i)
        tlk.add(i == 39999 ? "Sor\xC3\xA9lle's Lantern" : i == 39998 ? "Broken \xE9 UTF-8" : "x");
    qm::build::writeFile(game / "lang/en_US/dialog.tlk", tlk.bytes());
    EXPECT_EQ(qm::tlkstring(game.prefix(), 39999), "") << "no language: no table";
    qm::StringTable table(game.prefix(), "EN_us");
    EXPECT_EQ(table.encoding(), qm::TextEncoding::Utf8);
    EXPECT_EQ(table.text(39999), "Sor\xC3\xA9lle's Lantern");
    EXPECT_EQ(table.text(39998), "Broken \xC3\xA9 UTF-8") << "invalid UTF-8 is read as the code page";
    EXPECT_EQ(table.get(40000), "");
    // A Dialog.tlk in the game folder is the original's, in the code page, and wins.
    qm::build::TlkBuilder root;
    root.add("Caf\xE9");
    qm::build::writeFile(game / "Dialog.tlk", root.bytes());
    qm::StringTable original(game.prefix(), "en_US");
    EXPECT_EQ(original.encoding(), qm::TextEncoding::Windows1252);
    EXPECT_EQ(original.text(0), "Caf\xC3\xA9");
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

namespace {

// One archive-table entry of a catalogue, and a group of catalogue entries naming files of type 1005
// numbered 0 to count - 1 under one LocatorHigh.
struct TableEntry {
    int position;
    std::string name;
};
struct ResourceGroup {
    std::string prefix;
    std::int16_t high;
    int count;
};
struct HighCase {
    const char* name;
    std::vector<TableEntry> table; // positions not given hold no name
    std::vector<ResourceGroup> resources;
    std::string expected; // the prefix of the names of ITEMS.BIF's three files
};

void PrintTo(const HighCase& c, std::ostream* os) {
    *os << c.name;
}

class CatalogueValue : public ::testing::TestWithParam<HighCase> {};

} // namespace

// ITEMS.BIF holds three item files numbered 0 to 2; the rows move it about the archive table.
TEST_P(CatalogueValue, NamesTheFilesFromTheEntriesThatFitTheCatalogue) {
    const HighCase& c = GetParam();
    TempDir game;
    KeyBuilder key;
    int last = 0;
    for (const TableEntry& e : c.table)
        last = std::max(last, e.position);
    for (int k = 0; k <= last; ++k) {
        const auto named = std::find_if(c.table.begin(), c.table.end(),
                                        [k](const TableEntry& e) { return e.position == k; });
        if (named != c.table.end())
            key.addArchive(named->name);
        else
            key.addRawArchive(0, 0);
    }
    for (const ResourceGroup& g : c.resources)
        for (int i = 0; i < g.count; ++i)
            key.addResource(g.prefix + std::to_string(i), 1005, static_cast<std::int16_t>(i), g.high);
    BifBuilder bif;
    for (int i = 0; i < 3; ++i)
        bif.add(1005, "item" + std::to_string(i));
    qm::build::writeFile(game / "chitin.key", key.bytes());
    qm::build::writeFile(game / "data" / "ITEMS.BIF", bif.bytes());

    const qm::SelectionState selection = qm::selectArchive(game.prefix(), "ITEMS.BIF");
    EXPECT_EQ(selection.biffid, 240) << "the selection keeps its fixed value";
    std::vector<std::string> names;
    for (const qm::ListedFile& file : qm::listArchive(selection, {}).files)
        names.push_back(file.text);
    EXPECT_EQ(names,
              (std::vector<std::string>{c.expected + "0.ITM", c.expected + "1.ITM", c.expected + "2.ITM"}));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, CatalogueValue,
    ::testing::Values(HighCase{"OriginalRelease", {{15, "data\\ITEMS.BIF"}}, {{"ITEM", 240, 3}}, "ITEM"},
                      HighCase{"OriginalReleaseNamedTwice",
                               {{0, "data\\ITEMS.BIF"}, {15, "data\\ITEMS.BIF"}},
                               {{"ZERO", 0, 1}, {"ITEM", 240, 3}},
                               "ITEM"},
                      HighCase{"OwnPositionHasMoreMatches",
                               {{9, "data\\Items.bif"}, {15, "data\\ARMOURY.BIF"}},
                               {{"WRONG", 240, 1}, {"ITEM", 144, 3}},
                               "ITEM"},
                      HighCase{"TieWithAnotherArchiveAtTheFixedPosition",
                               {{3, "data\\ITEMS.BIF"}, {15, "data\\WRONG.BIF"}},
                               {{"WRONG", 240, 3}, {"ITEM", 48, 3}},
                               "ITEM"},
                      HighCase{"TieWithNothingAtTheFixedPositionKeepsTheFixedValue",
                               {{3, "data\\ITEMS.BIF"}},
                               {{"OWN", 48, 3}, {"FIXED", 240, 3}},
                               "FIXED"},
                      HighCase{"NamedTwiceTheBetterPositionWins",
                               {{2, "data\\ITEMS.BIF"}, {5, "data\\items.bif"}, {15, "data\\OTHER.BIF"}},
                               {{"TWO", 32, 2}, {"FIVE", 80, 3}},
                               "FIVE"},
                      HighCase{"NamedTwiceTiedTheLowerPositionWins",
                               {{2, "data\\ITEMS.BIF"}, {5, "data\\ITEMS.BIF"}, {15, "data\\OTHER.BIF"}},
                               {{"FIVE", 80, 3}, {"TWO", 32, 3}},
                               "TWO"}),
    qm::test::CaseName{});

// Tables listed in another order than 0, 1, 2, ...: every entry is walked once and named by its own
// locator, and the bar follows the entry's position.
TEST(WholeArchiveExtraction, ReversedTableWritesEveryFileNamedRight) {
    ItemsGame g;
    constexpr int kCount = 24;
    for (int i = 0; i < kCount; ++i)
        g.key.addResource("F" + std::to_string(i), 1005, static_cast<std::int16_t>(i), 240);
    for (int i = kCount - 1; i >= 0; --i)
        g.bif.add(static_cast<std::int16_t>(i), 0, 1005, "data" + std::to_string(i));
    g.write();
    qm::test::CurrentDir cd(g.work.path());
    Recorded r;
    qm::extractArchive(g.select(), r.callbacks());
    ASSERT_EQ(r.written.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i)
        EXPECT_EQ(readBytes(g.work / "ITEMS" / ("F" + std::to_string(i) + ".ITM")),
                  "data" + std::to_string(i));
    EXPECT_EQ(r.progress[1], 100.0f / kCount) << "the second entry's position, not its locator";
}

// The demo's CD layout: the listed archives elsewhere in the table, one on the first CD's folder, and an
// archive of item files numbered as those of Items.bif at the original ITEMS position.
TEST(ArchiveListing, CdLayoutNamesEveryFileOfItsOwn) {
    TempDir game;
    qm::build::DemoOptions options;
    options.layout = qm::build::DemoLayout::Cd;
    qm::build::writeDemoGame(game.path(), options);
    const auto texts = [&game](const char* archive) {
        std::set<std::string> names;
        for (const qm::ListedFile& file :
             qm::listArchive(qm::selectArchive(game.prefix(), archive), {}).files)
            names.insert(file.text);
        return names;
    };
    const std::set<std::string> decoy = texts("ARMOURY.BIF");
    for (const char* archive : {"CHASound.bif", "Creature.bif", "Items.bif", "Spells.bif"}) {
        const std::set<std::string> names = texts(archive);
        EXPECT_EQ(names.size(), 24u) << archive;
        for (const std::string& name : names) {
            EXPECT_FALSE(name.starts_with("NONAME")) << archive << " " << name;
            EXPECT_EQ(decoy.count(name), 0u) << archive << " " << name;
        }
    }
}
