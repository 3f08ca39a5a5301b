#include "Existence.h"
#include "TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using qm::test::TempDir;

namespace {

int fatalNumber(const std::function<void()>& action) {
    try {
        action();
    } catch (const qm::FatalFileError& e) {
        return e.number();
    }
    return 0;
}

} // namespace

TEST(FileExist, AnswersForFilesAndLeavesThemUnchanged) {
    TempDir dir;
    qm::test::writeBytes(dir / "empty", "");
    qm::test::writeBytes(dir / "full", "contents");
    EXPECT_TRUE(qm::fileexist(dir.prefix() + "empty"));
    EXPECT_TRUE(qm::fileexist(dir.prefix() + "full"));
    EXPECT_EQ(qm::test::readBytes(dir / "full"), "contents");
    EXPECT_FALSE(qm::fileexist(dir.prefix() + "missing"));
}

TEST(FileExist, FindsFilesWithoutRegardToCase) {
    TempDir dir;
    qm::test::writeBytes(dir / "GAME" / "CHITIN.KEY", "k");
    EXPECT_TRUE(qm::fileexist(dir.prefix() + "game\\chitin.key"));
}

TEST(FileExist, MissingFolderIsFatalPathNotFound) {
    TempDir dir;
    EXPECT_EQ(fatalNumber([&] { qm::fileexist(dir.prefix() + "nofolder\\chitin.key"); }), qm::PathNotFound);
}

TEST(FileExist, FolderOfThatNameIsFatal) {
    TempDir dir;
    fs::create_directory(dir / "CREATURE.log");
    EXPECT_EQ(fatalNumber([&] { qm::fileexist(dir.prefix() + "CREATURE.log"); }), qm::PathFileAccessError);
}

TEST(DirExist, ExistingFolderOrFileAnswersTrueUntouched) {
    TempDir dir;
    qm::test::writeBytes(dir / "CREATURE" / "A.CRE", "a");
    qm::test::writeBytes(dir / "afile", "f");
    EXPECT_TRUE(qm::direxist(dir.prefix() + "CREATURE"));
    EXPECT_EQ(qm::test::readBytes(dir / "CREATURE" / "A.CRE"), "a");
    EXPECT_TRUE(qm::direxist(dir.prefix() + "afile"));
    EXPECT_TRUE(fs::is_regular_file(dir / "afile"));
    EXPECT_TRUE(qm::direxist(dir.prefix() + "creature")) << "found without regard to case";
}

TEST(DirExist, MissingFolderAnswersFalseAndLeavesNothing) {
    TempDir dir;
    EXPECT_FALSE(qm::direxist(dir.prefix() + "WorkDir"));
    EXPECT_FALSE(fs::exists(dir / "WorkDir"));
}

TEST(DirExist, MissingParentIsFatalPathNotFound) {
    TempDir dir;
    EXPECT_EQ(fatalNumber([&] { qm::direxist(dir.prefix() + "no\\WorkDir"); }), qm::PathNotFound);
    EXPECT_FALSE(fs::exists(dir / "no"));
}

#ifndef _WIN32
// POSIX permission bits; Windows folders have no such read-only mode.
TEST(DirExist, UnwritableParentIsFatalPermissionDenied) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write anywhere";
    TempDir dir;
    fs::create_directory(dir / "ro");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(fatalNumber([&] { qm::direxist(dir.prefix() + "ro\\x"); }), qm::PermissionDenied);
}
#endif
