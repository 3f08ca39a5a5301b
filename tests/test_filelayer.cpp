#include "ByteReader.h"
#include "ByteWriter.h"
#include "FileError.h"
#include "FileSystem.h"
#include "HostPath.h"
#include "TempDir.h"
#include "TestSupport.h"
#include "Text.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using qm::test::errorNumberOf;
using qm::test::TempDir;
using qm::test::writeBytes;

namespace {} // namespace

#ifndef _WIN32
// Linux only: Windows finds names without regard to case by itself and keeps the caller's spelling.
TEST(HostPath, FindsExistingComponentsWithoutRegardToCase) {
    TempDir dir;
    writeBytes(dir / "data" / "CREATURE.BIF", "x");
    EXPECT_EQ(qm::hostPath(dir.prefix() + "data\\creature.bif"), dir / "data" / "CREATURE.BIF");
    EXPECT_EQ(qm::hostPath(dir.prefix() + "DATA\\Creature.Bif"), dir / "data" / "CREATURE.BIF");
}

TEST(HostPath, PrefersTheExactSpellingWhenBothExist) {
    TempDir dir;
    writeBytes(dir / "Items.bif", "a");
    writeBytes(dir / "ITEMS.BIF", "b");
    EXPECT_EQ(qm::hostPath(dir.prefix() + "ITEMS.BIF"), dir / "ITEMS.BIF");
    EXPECT_EQ(qm::hostPath(dir.prefix() + "Items.bif"), dir / "Items.bif");
}

TEST(HostPath, KeepsTheSpellingOfMissingComponents) {
    TempDir dir;
    fs::create_directory(dir / "WorkDir");
    EXPECT_EQ(qm::hostPath(dir.prefix() + "workdir\\New.ITM"), dir / "WorkDir" / "New.ITM");
    EXPECT_EQ(qm::hostPath(dir.prefix() + "Missing\\sub\\x.y"), dir / "Missing" / "sub" / "x.y");
}

#endif

TEST(HostPath, ConvertsEightBitComponentsFromWindows1252) {
    TempDir dir;
    const auto mapped = qm::hostPath(dir.prefix() + "caf\xE9.ITM");
    EXPECT_EQ(mapped.filename().string(), "caf\xC3\xA9.ITM");
}

#ifndef _WIN32
TEST(HostPath, CachedMapperSeesFilesItWasToldAbout) {
    TempDir dir;
    fs::create_directory(dir / "OUT");
    qm::HostPaths paths;
    const auto first = paths.map(dir.prefix() + "out\\a.cre");
    EXPECT_EQ(first, dir / "OUT" / "a.cre");
    writeBytes(dir / "OUT" / "A.CRE", "x");
    paths.noteCreated(dir / "OUT" / "A.CRE");
    EXPECT_EQ(paths.map(dir.prefix() + "out\\a.cre"), dir / "OUT" / "A.CRE");
}

// Linux names are bytes: a game folder whose name is not UTF-8 is the folder itself, not its Windows-1252
// reading, while the game-style names behind it still are game text.
TEST(HostPath, KeepsTheBytesOfAHostFolderThatIsNotUtf8) {
    TempDir dir;
    const fs::path game = dir / "Baldur\xE9";
    fs::create_directory(game);
    writeBytes(game / "CHITIN.KEY", "x");
    bool found = false;
    EXPECT_EQ(qm::hostPath(dir.prefix() + "Baldur\xE9/chitin.key"), game / "CHITIN.KEY");
    qm::HostPaths paths;
    paths.map(dir.prefix() + "Baldur\xE9/chitin.key", &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(paths.map(dir.prefix() + "Baldur\xE9/caf\xE9.ITM"), game / "caf\xC3\xA9.ITM");
}
#else
TEST(HostPath, WindowsNamesTheFileInUnicode) {
    TempDir dir;
    const auto mapped = qm::hostPath(dir.prefix() + "caf\xE9\x80.ITM");
    EXPECT_EQ(mapped.filename().wstring(), L"caf\u00E9\u20AC.ITM");
    writeBytes(mapped, "x");
    EXPECT_EQ(qm::test::readBytes(dir.path() / L"caf\u00E9\u20AC.ITM"), "x");
    EXPECT_EQ(qm::displayPath(mapped).substr(dir.prefix().size()), "caf\xC3\xA9\xE2\x82\xAC.ITM");
}
#endif

TEST(ByteReader, ReadsSignedLittleEndianAtZeroBasedOffsets) {
    TempDir dir;
    writeBytes(dir / "f", std::string("\x01\xFF\xFF\x00\x80\xFE\xFF\xFF\x7F", 9));
    qm::ByteReader r(dir / "f");
    EXPECT_EQ(r.length(), 9);
    EXPECT_EQ(r.readI16(), -255);
    r.seek(1);
    EXPECT_EQ(r.readI16(), -1);
    r.seek(3);
    EXPECT_EQ(r.readI16(), -32768);
    EXPECT_EQ(r.position(), 5);
    r.seek(5);
    EXPECT_EQ(r.readI32(), 0x7FFFFFFE);
    EXPECT_FALSE(r.ranShort());
}

TEST(ByteReader, ShortReadFillsZerosAndIsDetected) {
    TempDir dir;
    writeBytes(dir / "f", std::string("\x34\x12\x78", 3));
    qm::ByteReader r(dir / "f");
    r.seek(2);
    EXPECT_EQ(r.readI32(), 0x78);
    EXPECT_TRUE(r.ranShort());
    r.seek(0);
    EXPECT_EQ(r.readI16(), 0x1234);
    EXPECT_FALSE(r.ranShort()) << "a read that ends exactly at the last byte is complete";
    std::byte buf[4];
    r.seek(1);
    EXPECT_EQ(errorNumberOf([&] { r.readExact(buf); }), qm::InputPastEndOfFile);
}

TEST(ByteReader, FailuresCarryTheirNumbers) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    writeBytes(dir / "f", "abc");
    EXPECT_EQ(errorNumberOf([&] { qm::ByteReader r(dir / "missing"); }), qm::FileNotFound);
    EXPECT_EQ(errorNumberOf([&] { qm::ByteReader r(dir / "nofolder" / "x"); }), qm::PathNotFound);
    EXPECT_EQ(errorNumberOf([&] { qm::ByteReader r(dir / "folder"); }), qm::PathFileAccessError);
    EXPECT_EQ(errorNumberOf([&] {
                  qm::ByteReader r(dir / "f");
                  r.seek(-1);
              }),
              qm::BadRecordNumber);
}

TEST(ByteWriter, TruncatesAppendsAndReportsFailures) {
    TempDir dir;
    writeBytes(dir / "f", "old contents");
    {
        qm::ByteWriter w(dir / "f", qm::ByteWriter::Mode::Truncate);
        w.write("new");
        w.close();
    }
    EXPECT_EQ(qm::test::readBytes(dir / "f"), "new");
    {
        qm::ByteWriter w(dir / "f", qm::ByteWriter::Mode::Append);
        w.write("+");
        w.close();
    }
    EXPECT_EQ(qm::test::readBytes(dir / "f"), "new+");
    EXPECT_EQ(errorNumberOf([&] { qm::ByteWriter w(dir / "no" / "f", qm::ByteWriter::Mode::Truncate); }),
              qm::PathNotFound);
    fs::create_directory(dir / "d");
    EXPECT_EQ(errorNumberOf([&] { qm::ByteWriter w(dir / "d", qm::ByteWriter::Mode::Truncate); }),
              qm::PathFileAccessError);
}

TEST(ByteWriter, FullDiskIsErrorSixtyOne) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    qm::ByteWriter w("/dev/full", qm::ByteWriter::Mode::Append);
    const std::string block(1 << 16, 'x');
    EXPECT_EQ(errorNumberOf([&] {
                  w.write(block);
                  w.close();
              }),
              qm::DiskFull);
}

TEST(FileSystem, FolderOperationsUseTheOriginalNumbers) {
    TempDir dir;
    qm::filesystem::makeDir(dir / "a");
    EXPECT_EQ(errorNumberOf([&] { qm::filesystem::makeDir(dir / "a"); }), qm::PathFileAccessError);
    EXPECT_EQ(errorNumberOf([&] { qm::filesystem::makeDir(dir / "x" / "y"); }), qm::PathNotFound);
    EXPECT_EQ(errorNumberOf([&] { qm::filesystem::removeFile(dir / "gone"); }), qm::FileNotFound);
    EXPECT_EQ(errorNumberOf([&] { qm::filesystem::fileLength(dir / "gone"); }), qm::FileNotFound);
    writeBytes(dir / "five", "12345");
    EXPECT_EQ(qm::filesystem::fileLength(dir / "five"), 5);
}

// One run per output folder, on every platform: a second lock fails at once while files can still be
// created in the locked folder, and the lock ends with its holder. New names are created exclusively.
TEST(FileSystem, FolderLockExcludesASecondRunButNotItsOwnFiles) {
    TempDir dir;
    fs::create_directory(dir / "out");
    {
        const qm::filesystem::FolderLock first(dir / "out");
        EXPECT_EQ(errorNumberOf([&] { qm::filesystem::FolderLock second(dir / "out"); }),
                  qm::PathFileAccessError);
        qm::ByteWriter w(dir / "out" / "A.ITM", qm::ByteWriter::Mode::CreateNew);
        w.write("a");
        w.close();
        EXPECT_EQ(errorNumberOf(
                      [&] { qm::ByteWriter again(dir / "out" / "A.ITM", qm::ByteWriter::Mode::CreateNew); }),
                  qm::FileAlreadyExists);
    }
    EXPECT_EQ(qm::test::readBytes(dir / "out" / "A.ITM"), "a");
    EXPECT_EQ(errorNumberOf([&] { qm::filesystem::FolderLock later(dir / "out"); }), 0);
}

TEST(Text, Windows1252RoundTrips) {
    EXPECT_EQ(qm::cp1252ToUtf8("\x80\xE9\x9F"), "\xE2\x82\xAC\xC3\xA9\xC5\xB8");
    bool lossless = false;
    EXPECT_EQ(qm::utf8ToCp1252("\xE2\x82\xAC\xC3\xA9", &lossless), "\x80\xE9");
    EXPECT_TRUE(lossless);
    EXPECT_EQ(qm::utf8ToCp1252("\xE2\x98\x83", &lossless), "?");
    EXPECT_FALSE(lossless);
    EXPECT_FALSE(qm::isValidUtf8("caf\xE9"));
    EXPECT_TRUE(qm::isValidUtf8("caf\xC3\xA9"));
}
