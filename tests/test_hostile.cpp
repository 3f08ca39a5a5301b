// Hostile game files against the procedures of core and app: damaged, cut short, modded or crafted.
// Each case pins the report the user gets; none may crash, hang or write outside the current folder.
#include "Catalogue.h"
#include "Extract.h"
#include "FileError.h"
#include "FileSystem.h"
#include "FolderState.h"
#include "FreeSpace.h"
#include "GameBuilder.h"
#include "Registry.h"
#include "Selection.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using qm::build::BifBuilder;
using qm::build::KeyBuilder;
using qm::build::TlkBuilder;
using qm::test::CaseName;
using qm::test::CurrentDir;
using qm::test::folderState;
using qm::test::readBytes;
using qm::test::TempDir;

namespace {

constexpr std::int32_t kMaxI32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMinI32 = std::numeric_limits<std::int32_t>::min();

// A game folder and a current folder side by side in one temporary folder, so that anything written
// outside the current folder shows up in the listing of their common parent.
class Sandbox {
public:
    Sandbox() {
        fs::create_directories(game());
        fs::create_directories(work());
    }
    fs::path game() const { return m_root / "game"; }
    fs::path work() const { return m_root / "work"; }
    std::string prefix() const { return game().string() + "/"; }

    void writeItems(const KeyBuilder& key, const BifBuilder& bif) {
        qm::build::writeFile(game() / "chitin.key", key.bytes());
        qm::build::writeFile(game() / "data" / "ITEMS.BIF", bif.bytes());
    }
    // ITEMS.BIF with the one file A.ITM, holding "data", chosen.
    qm::SelectionState writeOneItem() {
        KeyBuilder key;
        key.addArchive("data\\ITEMS.BIF");
        key.addResource("A", 1005, 0, 240);
        BifBuilder bif;
        bif.add(1005, "data");
        writeItems(key, bif);
        return qm::selectArchive(prefix(), "ITEMS.BIF");
    }
    // Empties the current folder and remembers everything else as it is.
    void begin() {
        for (const auto& entry : fs::directory_iterator(work()))
            fs::remove_all(entry.path());
        m_before = folderState(m_root.path(), work());
    }
    // Everything outside the current folder is as begin() found it.
    void expectUntouched() const { EXPECT_EQ(folderState(m_root.path(), work()), m_before); }
    // Every entry below the current folder, as relative paths.
    std::set<std::string> written() const {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(work()))
            names.insert(fs::relative(entry.path(), work()).generic_string());
        return names;
    }

private:
    TempDir m_root;
    qm::test::FolderState m_before;
};

struct Outcome {
    int error = 0; // FileError number, 0 for none
    bool fatal = false;
};

Outcome outcomeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const qm::FatalFileError& e) {
        return {e.number(), true};
    } catch (const qm::FileError& e) {
        return {e.number(), false};
    }
    return {};
}

int errorNumberOf(const std::function<void()>& action) {
    return outcomeOf(action).error;
}

std::vector<std::string> texts(const qm::ArchiveListing& listing) {
    std::vector<std::string> result;
    for (const auto& file : listing.files)
        result.push_back(file.text);
    return result;
}

// Selective extraction of the given entries; returns the entries left checked.
std::set<int> pick(const qm::SelectionState& selection, const std::vector<std::string>& listTexts,
                   std::set<int> checked, int* error = nullptr) {
    qm::PickCallbacks c;
    c.isChecked = [&](int i) { return checked.count(i) != 0; };
    c.uncheck = [&](int i) { checked.erase(i); };
    const int number = errorNumberOf([&] { qm::extractSelected(selection, listTexts, c); });
    if (error != nullptr)
        *error = number;
    return checked;
}

} // namespace

TEST(CutCatalogue, ListsAnArchiveOnlyOnceItsWholeNameIsPresent) {
    Sandbox s;
    KeyBuilder key;
    const std::vector<std::string> stored = {"data\\SPELLS.BIF", "data\\MISC.BIF", "data\\ITEMS.BIF"};
    for (const auto& name : stored)
        key.addArchive(name);
    key.addResource("A", 1005, 0, 240);
    const std::string bytes = key.bytes();
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        qm::build::writeFile(s.game() / "chitin.key", bytes.substr(0, cut));
        // The scan reads a name up to the byte before its terminator.
        std::vector<std::string> expected;
        for (const auto& name : stored) {
            const std::size_t at = bytes.find(name + '\0');
            if (at + name.size() <= cut && name != "data\\MISC.BIF")
                expected.push_back(name.substr(5));
        }
        EXPECT_EQ(qm::listbifs(s.prefix()), expected) << "cut at " << cut;
    }
}

TEST(CutCatalogue, NamesOnlyTheFilesWhoseEntriesAreWhole) {
    Sandbox s;
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    BifBuilder bif;
    const std::vector<std::string> names = {"SWORD", "SHIELD", "HELM"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        key.addResource(names[i], 1005, static_cast<std::int16_t>(i), 240);
        bif.add(1005, names[i] + " data");
    }
    s.writeItems(key, bif);
    const std::string bytes = key.bytes();
    const std::size_t table = bytes.size() - 14 * names.size();
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        qm::build::writeFile(s.game() / "chitin.key", bytes.substr(0, cut));
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < names.size(); ++i)
            expected.push_back((table + 14 * (i + 1) <= cut ? names[i] : "NONAME0000" + std::to_string(i)) +
                               ".ITM");
        const auto selection = qm::selectArchive(s.prefix(), "ITEMS.BIF");
        EXPECT_EQ(texts(qm::listArchive(selection, {})), expected) << "cut at " << cut;

        s.begin();
        CurrentDir cd(s.work());
        int done = 0;
        qm::ExtractCallbacks callbacks;
        callbacks.done = [&] { ++done; };
        qm::extractArchive(selection, callbacks);
        EXPECT_EQ(done, 1) << "cut at " << cut;
        for (std::size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(readBytes(s.work() / "ITEMS" / expected[i]), names[i] + " data") << "cut at " << cut;
        EXPECT_EQ(readBytes(s.work() / "ITEMS.log"),
                  expected[0] + "\r\n" + expected[1] + "\r\n" + expected[2] + "\r\n");
        s.expectUntouched();
    }
}

TEST(CutArchive, EveryLengthIsListedWholeOrReportedAs62) {
    Sandbox s;
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    BifBuilder bif;
    const std::vector<std::string> names = {"ALPHA", "BETA", "GAMMA"};
    const std::vector<std::string> data = {"alpha", "beta!", "gamma!!"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        key.addResource(names[i], 1005, static_cast<std::int16_t>(i), 240);
        bif.add(1005, data[i]);
    }
    s.writeItems(key, bif);
    const std::string bytes = bif.bytes();
    const std::vector<std::string> listTexts = {"ALPHA.ITM", "BETA.ITM", "GAMMA.ITM"};
    const std::size_t dataAt = 20 + 16 * names.size();
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        qm::build::writeFile(s.game() / "data" / "ITEMS.BIF", bytes.substr(0, cut));
        qm::SelectionState selection;
        const int selectError =
            errorNumberOf([&] { selection = qm::selectArchive(s.prefix(), "ITEMS.BIF"); });
        // FileEntryCount is bytes 8 to 11.
        if (cut < 12) {
            EXPECT_EQ(selectError, qm::InputPastEndOfFile);
            continue;
        }
        ASSERT_EQ(selectError, 0);
        EXPECT_EQ(selection.nbfile, 3);

        // The walk reads 14 bytes of each 16-byte entry.
        qm::ArchiveListing listing;
        const int listError = errorNumberOf([&] { listing = qm::listArchive(selection, {}); });
        if (cut < 20 + 16 * 2 + 14) {
            EXPECT_EQ(listError, qm::InputPastEndOfFile);
        } else {
            EXPECT_EQ(listError, 0);
            EXPECT_EQ(texts(listing), listTexts);
        }

        // Both extractions write the files whose data are whole, in order, and report the first that is not.
        std::size_t whole = 0;
        for (std::size_t end = dataAt; whole < data.size() && end + data[whole].size() <= cut; ++whole)
            end += data[whole].size();
        s.begin();
        CurrentDir cd(s.work());
        EXPECT_EQ(errorNumberOf([&] { qm::extractArchive(selection, {}); }),
                  whole == data.size() ? 0 : qm::InputPastEndOfFile);
        int pickError = 0;
        const std::set<int> left = pick(selection, listTexts, {0, 1, 2}, &pickError);
        EXPECT_EQ(pickError, whole == data.size() ? 0 : qm::InputPastEndOfFile);
        std::set<std::string> expected = {"ITEMS", "ITEMS.log", "WorkDir"};
        std::string log;
        std::set<int> unwritten = {0, 1, 2};
        for (std::size_t i = 0; i < whole; ++i) {
            expected.insert("ITEMS/" + listTexts[i]);
            expected.insert("WorkDir/" + listTexts[i]);
            EXPECT_EQ(readBytes(s.work() / "ITEMS" / listTexts[i]), data[i]);
            EXPECT_EQ(readBytes(s.work() / "WorkDir" / listTexts[i]), data[i]);
            log += listTexts[i] + "\r\n";
            unwritten.erase(static_cast<int>(i));
        }
        EXPECT_EQ(s.written(), expected);
        EXPECT_EQ(readBytes(s.work() / "ITEMS.log"), log);
        EXPECT_EQ(left, unwritten) << "entries not written stay checked";
        s.expectUntouched();
    }
}

TEST(CutStringTable, GivesAStringOnlyWhenAllItsBytesArePresent) {
    Sandbox s;
    TlkBuilder tlk;
    const std::vector<std::string> strings = {"Moonwrought Lantern", "Quill", "Ashen Buckler"};
    for (const auto& text : strings)
        tlk.add(text);
    const std::string bytes = tlk.bytes();
    const std::size_t dataAt = 18 + 26 * strings.size();
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        qm::build::writeFile(s.game() / "Dialog.tlk", bytes.substr(0, cut));
        qm::StringTable kept(s.prefix());
        for (const std::int16_t n : {2, 0, 1, -5, 3}) {
            // StringDataOffset (bytes 14-17), StringLength of entries 0 to n (bytes 40-41 + 26k), the text.
            std::string expected;
            if (n < 3) {
                const std::size_t k = n > 0 ? static_cast<std::size_t>(n) : 0;
                std::size_t start = dataAt;
                for (std::size_t j = 0; j < k; ++j)
                    start += strings[j].size();
                if (cut >= 18 && cut >= 42 + 26 * k && cut >= start + strings[k].size())
                    expected = strings[k];
            }
            EXPECT_EQ(qm::tlkstring(s.prefix(), n), expected) << "cut at " << cut << ", string " << n;
            EXPECT_EQ(kept.get(n), expected) << "cut at " << cut << ", string " << n;
        }
    }
}

TEST(CutRegistry, GivesTheWholeValueOrNothing) {
    Sandbox s;
    const std::string text =
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
        "[Software\\\\Microsoft\\\\DirectPlay\\\\Applications\\\\Baldur's Gate] 1700000000\n"
        "#time=1d9c1f8a0b2c3d4\n"
        "\"Path\"=\"C:\\\\Games\\\\BG\\\\\"\n";
    const char* key = "SOFTWARE\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate";
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        qm::build::writeFile(s.game() / "system.reg", text.substr(0, cut));
        std::string value = "stale";
        const bool found = qm::readWineRegistryValue(s.game() / "system.reg", key, "Path", value);
        // The value's line is whole once its closing quote is there.
        const bool whole = cut >= text.size() - 1;
        EXPECT_EQ(found, whole) << "cut at " << cut;
        EXPECT_EQ(value, whole ? "C:\\Games\\BG\\" : "") << "cut at " << cut;
    }
}

struct CountCase {
    const char* name;
    std::int32_t count;
    std::size_t listed; // files listed and extracted when the walk ends well
    bool pastTable;     // the count reaches past the table: reported as 62
};

// Cases show their names in test reports.
void PrintTo(const CountCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileCount : public ::testing::TestWithParam<CountCase> {};

// Three real entries; the data behind the table are zero bytes, so a walk past the table meets zeros.
TEST_P(HostileCount, WalkEndsByTheCountOrReportsThePastTheTable) {
    const CountCase& c = GetParam();
    Sandbox s;
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    BifBuilder bif;
    for (int i = 0; i < 3; ++i) {
        key.addResource("F" + std::to_string(i), 1005, static_cast<std::int16_t>(i), 240);
        bif.add(1005, std::string(16, '\0'));
    }
    bif.setFileEntryCount(c.count);
    s.writeItems(key, bif);
    const auto selection = qm::selectArchive(s.prefix(), "ITEMS.BIF");
    EXPECT_EQ(selection.nbfile, c.count);

    qm::ArchiveListing listing;
    EXPECT_EQ(errorNumberOf([&] { listing = qm::listArchive(selection, {}); }),
              c.pastTable ? qm::InputPastEndOfFile : 0);
    if (!c.pastTable) {
        EXPECT_EQ(listing.files.size(), c.listed);
    }

    s.begin();
    CurrentDir cd(s.work());
    std::vector<float> progress;
    int done = 0;
    qm::ExtractCallbacks callbacks;
    callbacks.progress = [&](float p) { progress.push_back(p); };
    callbacks.done = [&] { ++done; };
    EXPECT_EQ(errorNumberOf([&] { qm::extractArchive(selection, callbacks); }),
              c.pastTable ? qm::InputPastEndOfFile : 0);
    EXPECT_EQ(done, c.pastTable ? 0 : 1);
    for (const float p : progress) {
        EXPECT_GE(p, 0.0f);
        EXPECT_LT(p, 100.0f);
    }
    const std::set<std::string> written = s.written();
    for (std::size_t i = 0; i < std::min<std::size_t>(c.listed, 3); ++i)
        EXPECT_EQ(readBytes(s.work() / "ITEMS" / ("F" + std::to_string(i) + ".ITM")), std::string(16, '\0'));
    // Never more files than the table and the data behind it can hold entries.
    EXPECT_LE(written.size(), 2 + bif.bytes().size() / 16);
    if (!c.pastTable) {
        EXPECT_EQ(written.size(), 2 + c.listed);
    }
    s.expectUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Counts, HostileCount,
    ::testing::Values(CountCase{"Largest", kMaxI32, 3, true}, CountCase{"Beyond16Bits", 65536, 3, true},
                      CountCase{"FortyThousand", 40000, 3, true},
                      CountCase{"OneMoreThanTheTable", 4, 4, false}, CountCase{"Exact", 3, 3, false},
                      CountCase{"FewerThanTheTable", 2, 2, false}, CountCase{"Zero", 0, 0, false},
                      CountCase{"MinusOne", -1, 0, false}, CountCase{"Smallest", kMinI32, 0, false}),
    CaseName());

struct BoundsCase {
    const char* name;
    std::int32_t offset;
    bool fromEnd; // offset counts from the archive's end
    std::int32_t size;
    int error;            // 0, or the number reported
    std::string expected; // the output when there is one
    // What the output's file system has free: little, so that a hostile size counted before the run
    // would fail it with 61 instead of the report its entry deserves.
    std::int64_t freeBytes = 1000;
};

// The free space that extraction sees, for one test.
class FreeSpaceOf {
public:
    explicit FreeSpaceOf(std::int64_t bytes)
        : m_host(qm::replaceFreeSpaceQuery([bytes](const fs::path&) { return bytes; })) {}
    ~FreeSpaceOf() { qm::replaceFreeSpaceQuery(std::move(m_host)); }
    FreeSpaceOf(const FreeSpaceOf&) = delete;
    FreeSpaceOf& operator=(const FreeSpaceOf&) = delete;

private:
    qm::FreeSpaceQuery m_host;
};

void PrintTo(const BoundsCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileBounds : public ::testing::TestWithParam<BoundsCase> {};

// GOOD, then the hostile entry, then AFTER: the report comes before the hostile file is created, so GOOD
// stays written, and the log lists what was written. A run that cannot fit writes nothing at all.
TEST_P(HostileBounds, ReportedBeforeTheOutputFileIsCreated) {
    const BoundsCase& c = GetParam();
    Sandbox s;
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    BifBuilder bif;
    const std::vector<std::string> names = {"GOOD", "HOSTILE", "AFTER"};
    for (std::size_t i = 0; i < names.size(); ++i)
        key.addResource(names[i], 1005, static_cast<std::int16_t>(i), 240);
    bif.add(1005, "good");
    qm::build::BifFile& hostile = bif.add(1005, "hostile data");
    bif.add(1005, "after");
    const auto length = static_cast<std::int32_t>(bif.bytes().size());
    hostile.dataOffset = c.fromEnd ? length + c.offset : c.offset;
    hostile.dataSize = c.size;
    s.writeItems(key, bif);
    const auto selection = qm::selectArchive(s.prefix(), "ITEMS.BIF");
    const std::vector<std::string> listTexts = {"GOOD.ITM", "HOSTILE.ITM", "AFTER.ITM"};

    const qm::ArchiveListing listing = qm::listArchive(selection, {});
    ASSERT_EQ(listing.files.size(), 3u);
    EXPECT_EQ(listing.files[1].dataOffset, *hostile.dataOffset) << "listed as stored";
    EXPECT_EQ(listing.files[1].dataSize, c.size);
    const qm::EntryDetails details = qm::readEntryDetails(selection, 1);
    EXPECT_EQ(details.dataOffset, *hostile.dataOffset);
    EXPECT_EQ(details.dataSize, c.size);

    s.begin();
    CurrentDir cd(s.work());
    const FreeSpaceOf free(c.freeBytes);
    EXPECT_EQ(errorNumberOf([&] { qm::extractArchive(selection, {}); }), c.error);
    int pickError = 0;
    const std::set<int> left = pick(selection, listTexts, {0, 1, 2}, &pickError);
    EXPECT_EQ(pickError, c.error);
    // The copy of one file on its own asks for no space.
    EXPECT_EQ(errorNumberOf([&] {
                  qm::extractfile(qm::archivePath(selection), "alone.bin", *hostile.dataOffset, c.size);
              }),
              c.error == qm::DiskFull ? 0 : c.error);

    if (c.error == qm::DiskFull) {
        EXPECT_EQ(s.written(), std::set<std::string>{"alone.bin"});
        EXPECT_EQ(left, (std::set<int>{0, 1, 2}));
        try {
            qm::PickCallbacks all;
            all.isChecked = [](int) { return true; };
            qm::extractSelected(selection, listTexts, all);
            ADD_FAILURE() << "no report";
        } catch (const qm::FileError& e) {
            EXPECT_EQ(e.description(), "not enough free space: needs " + std::to_string(4 + c.size + 5) +
                                           " bytes, " + std::to_string(c.freeBytes) + " bytes free");
        }
    } else if (c.error == 0) {
        EXPECT_EQ(s.written(),
                  (std::set<std::string>{"ITEMS", "ITEMS.log", "ITEMS/GOOD.ITM", "ITEMS/HOSTILE.ITM",
                                         "ITEMS/AFTER.ITM", "WorkDir", "WorkDir/GOOD.ITM",
                                         "WorkDir/HOSTILE.ITM", "WorkDir/AFTER.ITM", "alone.bin"}));
        EXPECT_EQ(readBytes(s.work() / "ITEMS" / "HOSTILE.ITM"), c.expected);
        EXPECT_EQ(readBytes(s.work() / "WorkDir" / "HOSTILE.ITM"), c.expected);
        EXPECT_EQ(readBytes(s.work() / "alone.bin"), c.expected);
        EXPECT_EQ(readBytes(s.work() / "ITEMS.log"), "GOOD.ITM\r\nHOSTILE.ITM\r\nAFTER.ITM\r\n");
        EXPECT_TRUE(left.empty());
    } else {
        EXPECT_EQ(s.written(), (std::set<std::string>{"ITEMS", "ITEMS.log", "ITEMS/GOOD.ITM", "WorkDir",
                                                      "WorkDir/GOOD.ITM"}));
        EXPECT_EQ(readBytes(s.work() / "ITEMS.log"), "GOOD.ITM\r\n");
        EXPECT_EQ(left, (std::set<int>{1, 2}));
    }
    if (c.error != qm::DiskFull) {
        EXPECT_EQ(readBytes(s.work() / "ITEMS" / "GOOD.ITM"), "good");
    }
    s.expectUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    OffsetsAndSizes, HostileBounds,
    ::testing::Values(BoundsCase{"NegativeOffset", -5, false, 10, qm::BadRecordNumber, ""},
                      BoundsCase{"SmallestOffset", kMinI32, false, 1, qm::BadRecordNumber, ""},
                      BoundsCase{"NegativeOffsetNothingToCopy", -5, false, 0, 0, ""},
                      BoundsCase{"NegativeSize", 20, false, -7, 0, ""},
                      BoundsCase{"SmallestSize", 20, false, kMinI32, 0, ""},
                      BoundsCase{"OffsetPastTheEnd", 1, true, 1, qm::InputPastEndOfFile, ""},
                      BoundsCase{"LargestOffset", kMaxI32, false, 1, qm::InputPastEndOfFile, ""},
                      BoundsCase{"LargestSize", 20, false, kMaxI32, qm::InputPastEndOfFile, ""},
                      BoundsCase{"EndBeyond32Bits", kMaxI32 - 10, false, 100, qm::InputPastEndOfFile, ""},
                      BoundsCase{"TheLastByte", -1, true, 1, 0, "r"},
                      BoundsCase{"OneBytePastTheEnd", -1, true, 2, qm::InputPastEndOfFile, ""},
                      BoundsCase{"NothingAtTheEnd", 0, true, 0, 0, ""},
                      BoundsCase{"MoreThanIsFree", 0, false, 40, qm::DiskFull, "", 30}),
    CaseName());

struct TableOffsetCase {
    const char* name;
    std::int32_t offset;
    int error; // 0: the files are extracted without names
};

void PrintTo(const TableOffsetCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileResourceTableOffset : public ::testing::TestWithParam<TableOffsetCase> {};

TEST_P(HostileResourceTableOffset, ReportedOrExtractedWithoutNames) {
    const TableOffsetCase& c = GetParam();
    Sandbox s;
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    key.addResource("NAMED", 1005, 0, 240);
    key.setResourceTableOffset(c.offset);
    BifBuilder bif;
    bif.add(1005, "data");
    s.writeItems(key, bif);
    const auto selection = qm::selectArchive(s.prefix(), "ITEMS.BIF");
    qm::ArchiveListing listing;
    EXPECT_EQ(errorNumberOf([&] { listing = qm::listArchive(selection, {}); }), c.error);
    s.begin();
    CurrentDir cd(s.work());
    EXPECT_EQ(errorNumberOf([&] { qm::extractArchive(selection, {}); }), c.error);
    if (c.error == 0) {
        EXPECT_EQ(texts(listing), std::vector<std::string>{"NONAME00000.ITM"});
        EXPECT_EQ(readBytes(s.work() / "ITEMS" / "NONAME00000.ITM"), "data");
    } else {
        EXPECT_EQ(s.written(), std::set<std::string>{"ITEMS"})
            << "only the folder, made before the catalogue is read";
    }
    s.expectUntouched();
}

INSTANTIATE_TEST_SUITE_P(Offsets, HostileResourceTableOffset,
                         ::testing::Values(TableOffsetCase{"MinusOne", -1, qm::BadRecordNumber},
                                           TableOffsetCase{"Smallest", kMinI32, qm::BadRecordNumber},
                                           TableOffsetCase{"Largest", kMaxI32, 0},
                                           TableOffsetCase{"PastTheEnd", 100000, 0}),
                         CaseName());

// The resource table ends at the header's ResourceCount or the file's end, whichever comes first: a
// catalogue whose apparent size is a sparse hole of gigabytes is not read through, and entries past the
// count name nothing.
TEST(SparseCatalogue, OnlyTheCountedEntriesAreReadWhateverTheFileSize) {
    Sandbox s;
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    key.addResource("A", 1005, 0, 240);
    key.addResource("B", 1005, 1, 240);
    std::string bytes = key.bytes();
    qm::build::storeU32(bytes, 12, 1); // one entry counted of the two stored
    BifBuilder bif;
    bif.add(1005, "first");
    bif.add(1005, "second");
    qm::build::writeFile(s.game() / "chitin.key", bytes);
    qm::build::writeFile(s.game() / "data" / "ITEMS.BIF", bif.bytes());
    fs::resize_file(s.game() / "chitin.key", std::uintmax_t{4} << 30);

    EXPECT_EQ(qm::listbifs(s.prefix()), std::vector<std::string>{"ITEMS.BIF"});
    const auto selection = qm::selectArchive(s.prefix(), "ITEMS.BIF");
    EXPECT_EQ(texts(qm::listArchive(selection, {})), (std::vector<std::string>{"A.ITM", "NONAME00001.ITM"}));
    // Not hashed before and after, as the other rows are: that would read the hole the program skips.
    CurrentDir cd(s.work());
    qm::extractArchive(selection, {});
    EXPECT_EQ(readBytes(s.work() / "ITEMS" / "NONAME00001.ITM"), "second");
    EXPECT_EQ(fs::file_size(s.game() / "chitin.key"), std::uintmax_t{4} << 30);
}

// Failures name what failed: a current folder deleted before the run is 76, not a missing file, and data
// out of bounds name the archive and the entry rather than the output file.
TEST(MisleadingErrors, EachNamesWhatFailed) {
    Sandbox s;
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    key.addResource("GOOD", 1005, 0, 240);
    key.addResource("FAR", 1005, 1, 240);
    BifBuilder bif;
    bif.add(1005, "data");
    bif.add(1005, "more").dataSize = 1 << 20;
    s.writeItems(key, bif);
    const auto selection = qm::selectArchive(s.prefix(), "ITEMS.BIF");

    const fs::path gone = s.work() / "gone";
    fs::create_directory(gone);
    {
        CurrentDir cd(gone);
        fs::remove(gone);
        EXPECT_EQ(errorNumberOf([&] { qm::extractArchive(selection, {}); }), qm::PathNotFound);
        int error = 0;
        EXPECT_EQ(pick(selection, {"GOOD.ITM"}, {0}, &error), std::set<int>{0});
        EXPECT_EQ(error, qm::PathNotFound);
    }

    s.begin();
    CurrentDir cd(s.work());
    try {
        qm::extractArchive(selection, {});
        ADD_FAILURE() << "data past the archive's end were copied";
    } catch (const qm::FileError& e) {
        EXPECT_EQ(e.number(), qm::InputPastEndOfFile);
        EXPECT_NE(e.path().find("ITEMS.BIF, entry 1: FAR.ITM"), std::string::npos) << e.path();
    }
    s.expectUntouched();
}

// A host folder keeps every character it has on Linux: a backslash in its name is no separator.
TEST(HostFolderNames, ABackslashIsPartOfTheName) {
    TempDir root;
    const fs::path game = root / "a\\b";
    qm::build::writeDemoGame(game, 1);
    const std::string prefix = game.string() + "/";
    EXPECT_EQ(qm::listbifs(prefix).size(), 4u);
    const auto selection = qm::selectArchive(prefix, "ITEMS.BIF");
    EXPECT_FALSE(qm::listArchive(selection, {}).files.empty());
    EXPECT_FALSE(fs::exists(root / "a"));
}

TEST(HostileArchiveEntries, WildNameFieldsListNothingAndLeaveTheRealEntry) {
    Sandbox s;
    KeyBuilder key;
    key.addRawArchive(0xFFFF, 0x7FFF);      // name start -1: position 5, 32761 bytes asked
    key.addRawArchive(0x7FFF, 100);         // 32767 + 6 overflows 16 bits
    key.addRawArchive(0xFFFFFFFF, 0xFFFF);  // NameLength -1
    key.addRawArchive(0x12345678, 0x8000);  // NameLength -32768
    key.addRawArchive(0x00010000 + 40, 20); // high half ignored: the low half points into the table
    key.addArchive("data\\ITEMS.BIF");
    qm::build::writeFile(s.game() / "chitin.key", key.bytes());
    EXPECT_EQ(qm::listbifs(s.prefix()), std::vector<std::string>{"ITEMS.BIF"});
}

TEST(HostileStringTable, WildFieldsGiveEmptyText) {
    Sandbox s;
    constexpr std::uintmax_t kGiB = 1u << 30;
    struct Case {
        const char* name;
        std::int32_t dataOffset;
        std::uint32_t length;
        std::uint32_t count = 1;     // StringCount
        std::int32_t asked = 0;      // the string looked up
        std::uintmax_t fileSize = 0; // the file made this long, sparse; 0 keeps it as built
        const char* expected = "";
    };
    for (const Case& c : {Case{"NegativeDataOffset", -100, 5}, Case{"SmallestDataOffset", kMinI32, 5},
                          Case{"DataOffsetPastTheEnd", kMaxI32, 5}, Case{"NegativeLength", 44, 0xFFFF},
                          Case{"LengthPastTheEnd", 44, 0x7FFF},
                          // A declared count of four billion over a sparse gigabyte: no name past the
                          // entries the file holds is looked for, nor anything sized by the count.
                          Case{"HugeCountAskedPastTheFile", 44, 5, 0xFFFFFFFF, 0x7FFFFFF0, kGiB},
                          Case{"HugeCountAskedPastTheEntries", 44, 5, 0xFFFFFFFF, 0x7FFFFFF0},
                          Case{"HugeCountRealString", 44, 5, 0xFFFFFFFF, 0, kGiB, "Words"},
                          Case{"HugeCountZeroEntryInTheFile", 44, 5, 0xFFFFFFFF, 3000, kGiB}}) {
        TlkBuilder tlk;
        tlk.add("Words");
        tlk.entry(0).stringLength = c.length;
        std::string bytes = tlk.bytes();
        qm::build::storeU32(bytes, 10, c.count);
        qm::build::storeU32(bytes, 14, static_cast<std::uint32_t>(c.dataOffset));
        qm::build::writeFile(s.game() / "Dialog.tlk", bytes);
        if (c.fileSize != 0)
            fs::resize_file(s.game() / "Dialog.tlk", c.fileSize);
        EXPECT_EQ(qm::tlkstring(s.prefix(), c.asked), c.expected) << c.name;
        qm::StringTable kept(s.prefix());
        EXPECT_EQ(kept.get(c.asked), c.expected) << c.name;
        EXPECT_EQ(kept.get(0), c.count == 1 ? "" : "Words") << c.name << ": the table goes on serving";
    }
    // Lengths that sum below zero before the string asked for.
    TlkBuilder tlk;
    tlk.add("first");
    tlk.add("second");
    tlk.entry(0).stringLength = 0x8000;
    qm::build::writeFile(s.game() / "Dialog.tlk", tlk.bytes());
    EXPECT_EQ(qm::tlkstring(s.prefix(), 1), "");
}

TEST(FortyThousandEntries, EveryFileIsNamedWrittenAndPicked) {
    constexpr int kCount = 40000;
    Sandbox s;
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    BifBuilder bif;
    const auto nameOf = [](int i) {
        char name[16];
        std::snprintf(name, sizeof name, "F%05d", i);
        return std::string(name);
    };
    const auto dataOf = [](int i) { return std::to_string(i); };
    for (int i = 0; i < kCount; ++i) {
        // LocatorLow is the table index's low 16 bits, negative from 32768 on.
        key.addResource(nameOf(i), 1005, static_cast<std::int16_t>(static_cast<std::uint16_t>(i)), 240);
        bif.add(1005, dataOf(i));
    }
    s.writeItems(key, bif);
    const auto selection = qm::selectArchive(s.prefix(), "ITEMS.BIF");
    ASSERT_EQ(selection.nbfile, kCount);

    std::vector<float> listProgress;
    const qm::ArchiveListing listing =
        qm::listArchive(selection, [&](float p) { listProgress.push_back(p); });
    ASSERT_EQ(listing.files.size(), static_cast<std::size_t>(kCount));
    for (const int i : {0, 32767, 32768, 39999})
        EXPECT_EQ(listing.files[static_cast<std::size_t>(i)].text, nameOf(i) + ".ITM");
    ASSERT_EQ(listProgress.size(), static_cast<std::size_t>(kCount) + 1);
    EXPECT_TRUE(std::is_sorted(listProgress.begin(), listProgress.end() - 1)) << "the bar never goes back";
    EXPECT_EQ(listProgress[kCount - 1], 100.0f);
    EXPECT_EQ(listProgress.back(), 0.0f);

    s.begin();
    CurrentDir cd(s.work());
    std::vector<float> progress;
    qm::ExtractCallbacks callbacks;
    callbacks.progress = [&](float p) { progress.push_back(p); };
    qm::extractArchive(selection, callbacks);
    std::size_t written = 0;
    for (const auto& entry : fs::directory_iterator(s.work() / "ITEMS")) {
        (void)entry;
        ++written;
    }
    EXPECT_EQ(written, static_cast<std::size_t>(kCount));
    for (const int i : {0, 32767, 32768, 39999})
        EXPECT_EQ(readBytes(s.work() / "ITEMS" / (nameOf(i) + ".ITM")), dataOf(i));
    ASSERT_EQ(progress.size(), static_cast<std::size_t>(kCount) + 1);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end() - 1)) << "the bar never goes back";
    EXPECT_EQ(progress[kCount - 1], static_cast<float>(39999.0 / 40000.0 * 100.0));
    EXPECT_EQ(progress.back(), 0.0f);

    const std::set<int> left = pick(selection, texts(listing), {0, 32767, 32768, 39999});
    EXPECT_TRUE(left.empty());
    for (const int i : {0, 32767, 32768, 39999})
        EXPECT_EQ(readBytes(s.work() / "WorkDir" / (nameOf(i) + ".ITM")), dataOf(i));
    const qm::EntryDetails last = qm::readEntryDetails(selection, kCount - 1);
    EXPECT_EQ(last.dataSize, 5);
    s.expectUntouched();
}

struct NameCase {
    const char* name;
    std::string resRef;
    std::string text;     // the list text and log line, Windows-1252
    std::string hostName; // the file on disk, UTF-8
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileName : public ::testing::TestWithParam<NameCase> {};

TEST_P(HostileName, MadeSafeAndWrittenInsideTheFolder) {
    const NameCase& c = GetParam();
    Sandbox s;
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    key.addResource(c.resRef, 1005, 0, 240);
    BifBuilder bif;
    bif.add(1005, "content");
    s.writeItems(key, bif);
    const auto selection = qm::selectArchive(s.prefix(), "ITEMS.BIF");
    const qm::ArchiveListing listing = qm::listArchive(selection, {});
    EXPECT_EQ(texts(listing), std::vector<std::string>{c.text});

    s.begin();
    CurrentDir cd(s.work());
    qm::extractArchive(selection, {});
    EXPECT_EQ(pick(selection, texts(listing), {0}), std::set<int>{});
    EXPECT_EQ(s.written(), (std::set<std::string>{"ITEMS", "ITEMS.log", "ITEMS/" + c.hostName, "WorkDir",
                                                  "WorkDir/" + c.hostName}));
    EXPECT_EQ(readBytes(s.work() / "ITEMS" / c.hostName), "content");
    EXPECT_EQ(readBytes(s.work() / "WorkDir" / c.hostName), "content");
    EXPECT_EQ(readBytes(s.work() / "ITEMS.log"), c.text + "\r\n");
    s.expectUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostileName,
    ::testing::Values(NameCase{"ClimbingBackslashes", "..\\..\\AB", ".._.._AB.ITM", ".._.._AB.ITM"},
                      NameCase{"ClimbingSlashes", "../../AB", ".._.._AB.ITM", ".._.._AB.ITM"},
                      NameCase{"AbsolutePath", "/etc/pw", "_etc_pw.ITM", "_etc_pw.ITM"},
                      NameCase{"DriveColon", "C:\\AUX", "C__AUX.ITM", "C__AUX.ITM"},
                      NameCase{"ControlCodes", "A\x01\x1F\x7F\tB", "A____B.ITM", "A____B.ITM"},
                      NameCase{"ReservedCharacters", "*?\"<>|", "______.ITM", "______.ITM"},
                      NameCase{"EightBit", "\xE9t\xE9", "\xE9t\xE9.ITM", "\xC3\xA9t\xC3\xA9.ITM"},
                      NameCase{"UndefinedInWindows1252", "A\x81\x8D\x8F\x90\x9D", "A_____.ITM", "A_____.ITM"},
                      NameCase{"TwoDots", "..", "...ITM", "...ITM"}, NameCase{"Empty", "", ".ITM", ".ITM"}),
    CaseName());

struct TakenCase {
    const char* name;
    const char* path; // relative to the current folder
    bool asFolder;    // taken by a folder, else by a file
    bool whole;       // whole-archive extraction, else selective
    int error;
    bool fatal; // reported by an existence test: the program ends after the "ERROR" box
};

void PrintTo(const TakenCase& c, std::ostream* os) {
    *os << c.name;
}

class TakenName : public ::testing::TestWithParam<TakenCase> {};

TEST_P(TakenName, ReportedAndLeftAlone) {
    const TakenCase& c = GetParam();
    Sandbox s;
    const auto selection = s.writeOneItem();
    s.begin();
    const fs::path taken = s.work() / c.path;
    if (c.asFolder)
        fs::create_directories(taken);
    else
        qm::test::writeBytes(taken, "not yours");
    CurrentDir cd(s.work());
    const Outcome outcome = outcomeOf([&] {
        if (c.whole) {
            qm::extractArchive(selection, {});
        } else {
            qm::PickCallbacks callbacks;
            callbacks.isChecked = [](int) { return true; };
            qm::extractSelected(selection, {"A.ITM"}, callbacks);
        }
    });
    EXPECT_EQ(outcome.error, c.error);
    EXPECT_EQ(outcome.fatal, c.fatal);
    if (c.asFolder) {
        EXPECT_TRUE(fs::is_directory(taken) && fs::is_empty(taken));
    } else {
        EXPECT_EQ(readBytes(taken), "not yours");
    }
    s.expectUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Taken, TakenName,
    ::testing::Values(
        TakenCase{"OutputFolderIsAFile", "ITEMS", false, true, qm::PathFileAccessError, false},
        TakenCase{"LogIsAFolder", "ITEMS.log", true, true, qm::PathFileAccessError, true},
        TakenCase{"OutputFileIsAFolder", "ITEMS/A.ITM", true, true, qm::PathFileAccessError, true},
        TakenCase{"WorkDirIsAFile", "WorkDir", false, false, qm::PathFileAccessError, false},
        TakenCase{"PickedFileIsAFolder", "WorkDir/A.ITM", true, false, qm::PathFileAccessError, false}),
    CaseName());

#ifndef _WIN32

// Runs `body` in a child process whose files may not grow beyond `limit` bytes, with SIGXFSZ ignored so
// that the write fails instead of ending the process. Returns the child's exit status, or 128 + the
// signal that ended it.
int runWithFileSizeLimit(rlim_t limit, const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit rl{};
        getrlimit(RLIMIT_FSIZE, &rl);
        rl.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &rl);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Exit codes of the limited child.
enum LimitResult {
    Reported61 = 0,
    NoFailure = 10,
    OtherFailure = 11,
    FilesLeftOpen = 12,
    LeftUnchecked = 13
};

// A disk that fills up part-way through a file: the data go to a new file beside the output (a device at
// the output's name would be replaced, not written), so a file-size limit stands in for the full disk.
TEST(DiskFull, CopyIntoAFullDeviceReports61AndClosesItsFiles) {
    Sandbox s;
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    BifBuilder bif;
    bif.add(1005, std::string(200000, 'x'));
    bif.add(1005, "small");
    s.writeItems(key, bif);
    const auto selection = qm::selectArchive(s.prefix(), "ITEMS.BIF");
    const std::string archive = qm::archivePath(selection);
    s.begin();
    CurrentDir cd(s.work());
    for (const std::int32_t size : {200000, 5}) {
        const std::int32_t offset = size == 5 ? 20 + 32 + 200000 : 20 + 32;
        EXPECT_EQ(runWithFileSizeLimit(size == 5 ? 2 : 100000,
                                       [&] {
                                           const int open = qm::test::openFileCount();
                                           const int error = errorNumberOf(
                                               [&] { qm::extractfile(archive, "out.bin", offset, size); });
                                           if (error != qm::DiskFull)
                                               return error == 0 ? 10 : 11;
                                           return qm::test::openFileCount() == open ? 0 : 12;
                                       }),
                  0)
            << size << " bytes";
        EXPECT_FALSE(fs::exists(s.work() / "out.bin")) << "no output appears that is not whole";
    }
}

TEST(FileSizeLimit, BothExtractionsReport61AndCloseTheirFiles) {
    Sandbox s;
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    key.addResource("SMALL", 1005, 0, 240);
    key.addResource("LARGE", 1005, 1, 240);
    BifBuilder bif;
    bif.add(1005, "small");
    bif.add(1005, std::string(300000, 'L'));
    s.writeItems(key, bif);
    const auto selection = qm::selectArchive(s.prefix(), "ITEMS.BIF");
    s.begin();
    CurrentDir cd(s.work());
    constexpr rlim_t kLimit = 100000;

    EXPECT_EQ(runWithFileSizeLimit(kLimit,
                                   [&] {
                                       const int open = qm::test::openFileCount();
                                       const int error =
                                           errorNumberOf([&] { qm::extractArchive(selection, {}); });
                                       if (error != qm::DiskFull)
                                           return error == 0 ? NoFailure : OtherFailure;
                                       return qm::test::openFileCount() == open ? Reported61 : FilesLeftOpen;
                                   }),
              Reported61);
    EXPECT_EQ(readBytes(s.work() / "ITEMS" / "SMALL.ITM"), "small");
    EXPECT_LE(fs::file_size(s.work() / "ITEMS" / "LARGE.ITM"), kLimit) << "holds what was copied before";
    EXPECT_EQ(readBytes(s.work() / "ITEMS.log"), "SMALL.ITM\r\nLARGE.ITM\r\n");

    EXPECT_EQ(runWithFileSizeLimit(
                  kLimit,
                  [&] {
                      const int open = qm::test::openFileCount();
                      int error = 0;
                      const std::set<int> left = pick(selection, {"SMALL.ITM", "LARGE.ITM"}, {0, 1}, &error);
                      if (error != qm::DiskFull)
                          return error == 0 ? NoFailure : OtherFailure;
                      if (left != std::set<int>{1})
                          return LeftUnchecked;
                      return qm::test::openFileCount() == open ? Reported61 : FilesLeftOpen;
                  }),
              Reported61);
    EXPECT_EQ(readBytes(s.work() / "WorkDir" / "SMALL.ITM"), "small");
    s.expectUntouched();
}

namespace {

// Something planted in the current folder before a run: links to a folder outside it (or into the game
// folder), dangling links, a second name of an outside file, pipes. Nothing outside the current folder
// and nothing in the game may change, and the program must end.
struct PlantedCase {
    const char* name;
    std::function<void(const fs::path& work, const fs::path& outside, const fs::path& game)> plant;
    bool whole; // whole-archive extraction, else selective
    int error;  // 0: the run succeeds and writes A.ITM whole
};

void PrintTo(const PlantedCase& c, std::ostream* os) {
    *os << c.name;
}

class PlantedName : public ::testing::TestWithParam<PlantedCase> {};

} // namespace

TEST_P(PlantedName, NothingIsWrittenThroughIt) {
    const PlantedCase& c = GetParam();
    Sandbox s;
    const auto selection = s.writeOneItem();
    const fs::path outside = s.work().parent_path() / "elsewhere";
    fs::create_directories(outside);
    qm::test::writeBytes(outside / "keep", "keep");
    s.begin();
    c.plant(s.work(), outside, s.game());
    CurrentDir cd(s.work());
    const int error = errorNumberOf([&] {
        if (c.whole) {
            qm::extractArchive(selection, {});
        } else {
            qm::PickCallbacks callbacks;
            callbacks.isChecked = [](int) { return true; };
            qm::extractSelected(selection, {"A.ITM"}, callbacks);
        }
    });
    EXPECT_EQ(error, c.error);
    if (c.error == 0) {
        const fs::path out = s.work() / (c.whole ? "ITEMS" : "WorkDir") / "A.ITM";
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out))) << "the output is a file of its own";
        EXPECT_EQ(readBytes(out), "data");
        if (c.whole) {
            EXPECT_EQ(readBytes(s.work() / "ITEMS.log"), "A.ITM\r\n");
        }
    }
    EXPECT_EQ(readBytes(outside / "keep"), "keep");
    s.expectUntouched();
}

INSTANTIATE_TEST_SUITE_P(Planted, PlantedName,
                         ::testing::Values(
                             PlantedCase{"OutputFolderLinksOutside",
                                         [](const fs::path& w, const fs::path& o, const fs::path&) {
                                             fs::create_directory_symlink(o, w / "ITEMS");
                                         },
                                         true, qm::PathFileAccessError},
                             PlantedCase{"OutputFolderLinkInOtherCaseIntoTheGame",
                                         [](const fs::path& w, const fs::path&, const fs::path& g) {
                                             fs::create_directory_symlink(g / "data", w / "items");
                                         },
                                         true, qm::PathFileAccessError},
                             PlantedCase{"WorkDirLinksOutside",
                                         [](const fs::path& w, const fs::path& o, const fs::path&) {
                                             fs::create_directory_symlink(o, w / "WorkDir");
                                         },
                                         false, qm::PathFileAccessError},
                             PlantedCase{"RealWorkDirBesideLinkedWorkdir",
                                         [](const fs::path& w, const fs::path& o, const fs::path&) {
                                             fs::create_directory(w / "WorkDir");
                                             fs::create_directory_symlink(o, w / "workdir");
                                         },
                                         false, qm::PathFileAccessError},
                             PlantedCase{"RealOutputFolderBesideLinkedOne",
                                         [](const fs::path& w, const fs::path& o, const fs::path&) {
                                             fs::create_directory(w / "ITEMS");
                                             fs::create_directory_symlink(o, w / "Items");
                                         },
                                         true, qm::PathFileAccessError},
                             PlantedCase{"OutputFolderIsAPipe",
                                         [](const fs::path& w, const fs::path&, const fs::path&) {
                                             ASSERT_EQ(mkfifo((w / "ITEMS").c_str(), 0600), 0);
                                         },
                                         true, qm::PathFileAccessError},
                             PlantedCase{"DanglingLogLink",
                                         [](const fs::path& w, const fs::path& o, const fs::path&) {
                                             fs::create_symlink(o / "x", w / "ITEMS.log");
                                         },
                                         true, 0},
                             PlantedCase{"DanglingOutputLink",
                                         [](const fs::path& w, const fs::path& o, const fs::path&) {
                                             fs::create_directories(w / "ITEMS");
                                             fs::create_symlink(o / "y", w / "ITEMS/A.ITM");
                                         },
                                         true, 0},
                             PlantedCase{"OutputLinkToAnOutsideFile",
                                         [](const fs::path& w, const fs::path& o, const fs::path&) {
                                             fs::create_directories(w / "ITEMS");
                                             fs::create_symlink(o / "keep", w / "ITEMS/A.ITM");
                                         },
                                         true, 0},
                             PlantedCase{"PipeAtTheLog",
                                         [](const fs::path& w, const fs::path&, const fs::path&) {
                                             ASSERT_EQ(mkfifo((w / "ITEMS.log").c_str(), 0600), 0);
                                         },
                                         true, 0},
                             PlantedCase{"PipeAtAnOutput",
                                         [](const fs::path& w, const fs::path&, const fs::path&) {
                                             fs::create_directories(w / "ITEMS");
                                             ASSERT_EQ(mkfifo((w / "ITEMS/A.ITM").c_str(), 0600), 0);
                                         },
                                         true, 0},
                             PlantedCase{"PickedLinkToAnOutsideFile",
                                         [](const fs::path& w, const fs::path& o, const fs::path&) {
                                             fs::create_directories(w / "WorkDir");
                                             fs::create_symlink(o / "keep", w / "WorkDir/A.ITM");
                                         },
                                         false, 0},
                             PlantedCase{"PickedHardLinkToAnOutsideFile",
                                         [](const fs::path& w, const fs::path& o, const fs::path&) {
                                             fs::create_directories(w / "WorkDir");
                                             fs::create_hard_link(o / "keep", w / "WorkDir/A.ITM");
                                         },
                                         false, 0},
                             PlantedCase{"PipeAtAPickedOutput",
                                         [](const fs::path& w, const fs::path&, const fs::path&) {
                                             fs::create_directories(w / "WorkDir");
                                             ASSERT_EQ(mkfifo((w / "WorkDir/A.ITM").c_str(), 0600), 0);
                                         },
                                         false, 0}),
                         CaseName());

// A pipe where a game file or the registry should be: taken for a missing file, never waited on.
TEST(OddInputs, PipesAreMissingFilesAndNothingWaits) {
    Sandbox s;
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    key.addResource("A", 1005, 0, 240);
    BifBuilder bif;
    bif.add(1005, std::string(20, 'i'));
    s.writeItems(key, bif);
    ASSERT_EQ(mkfifo((s.game() / "Dialog.tlk").c_str(), 0600), 0);
    EXPECT_EQ(qm::tlkstring(s.prefix(), 0), "") << "a pipe for the string table gives no names";

    fs::rename(s.game() / "data/ITEMS.BIF", s.game() / "ITEMS.keep");
    ASSERT_EQ(mkfifo((s.game() / "data/ITEMS.BIF").c_str(), 0600), 0);
    EXPECT_EQ(errorNumberOf([&] { qm::selectArchive(s.prefix(), "ITEMS.BIF"); }), qm::PathFileAccessError)
        << "an archive that is no file cannot be measured";

    fs::remove(s.game() / "chitin.key");
    ASSERT_EQ(mkfifo((s.game() / "chitin.key").c_str(), 0600), 0);
    EXPECT_TRUE(qm::listbifs(s.prefix()).empty()) << "a pipe for the catalogue lists nothing";

    ASSERT_EQ(mkfifo((s.game() / "system.reg").c_str(), 0600), 0);
    std::string value = "old";
    EXPECT_FALSE(qm::readWineRegistryValue(s.game() / "system.reg", "Software\\X", "Path", value));
    EXPECT_EQ(value, "");
}

// A second run into a folder that a run is writing into fails at once and writes nothing.
TEST(OneRunPerFolder, SecondRunFailsAtOnce) {
    Sandbox s;
    const auto selection = s.writeOneItem();
    s.begin();
    CurrentDir cd(s.work());
    fs::create_directories(s.work() / "ITEMS");
    fs::create_directories(s.work() / "WorkDir");
    {
        const qm::filesystem::FolderLock running(s.work() / "ITEMS");
        EXPECT_EQ(errorNumberOf([&] { qm::extractArchive(selection, {}); }), qm::PathFileAccessError);
    }
    {
        const qm::filesystem::FolderLock running(s.work() / "WorkDir");
        qm::PickCallbacks callbacks;
        callbacks.isChecked = [](int) { return true; };
        EXPECT_EQ(errorNumberOf([&] { qm::extractSelected(selection, {"A.ITM"}, callbacks); }),
                  qm::PathFileAccessError);
    }
    EXPECT_EQ(s.written(), (std::set<std::string>{"ITEMS", "WorkDir"})) << "nothing written";
    qm::extractArchive(selection, {});
    EXPECT_EQ(readBytes(s.work() / "ITEMS/A.ITM"), "data") << "the lock ends with its run";
    s.expectUntouched();
}

#endif
