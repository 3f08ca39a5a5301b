#include "Catalogue.h"
#include "FileError.h"
#include "GameBuilder.h"
#include "GameLanguage.h"
#include "Selection.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>

using qm::build::KeyBuilder;
using qm::test::TempDir;

namespace {

std::vector<std::string> scan(const TempDir& game, const KeyBuilder& key) {
    qm::build::writeFile(game / "chitin.key", key.bytes());
    auto names = qm::listbifs(game.prefix());
    qm::sortArchiveNames(names);
    return names;
}

using Names = std::vector<std::string>;

} // namespace

TEST(Listbifs, ListsTheFourSupportedArchivesSorted) {
    TempDir game;
    KeyBuilder key;
    for (const char* name : {"data\\AREA.BIF", "data\\SPELLS.BIF", "data\\CREATURE.BIF", "data\\MISC.BIF",
                             "data\\ITEMS.BIF", "data\\CHASOUND.BIF", "movies\\INTRO.BIF"})
        key.addArchive(name);
    EXPECT_EQ(scan(game, key), (Names{"CHASOUND.BIF", "CREATURE.BIF", "ITEMS.BIF", "SPELLS.BIF"}));
}

TEST(Listbifs, KeepsStoredCaseDuplicatesAndMovieFolders) {
    TempDir game;
    KeyBuilder key;
    key.addArchive("data\\creature.bif");
    key.addArchive("data\\Items.bif");
    key.addArchive("movies\\ITEMS.BIF");
    EXPECT_EQ(scan(game, key), (Names{"creature.bif", "Items.bif", "ITEMS.BIF"}));
}

TEST(Listbifs, RejectsNamesThatAreNotExactlySupported) {
    TempDir game;
    KeyBuilder key;
    key.addArchive("data\\CREATURE.BIF ");
    key.addArchive("data\\CREATURE.BIFF");
    key.addArchive("dataS\\ITEMS.BIF"); // "S\" is kept: only a lower-case "s\" is a folder's rest
    key.addArchive("data\\");           // NameLength 6: an empty name
    EXPECT_EQ(scan(game, key), Names{});
}

TEST(Listbifs, ReadsOnlyTheFirst141ArchiveEntries) {
    TempDir game;
    KeyBuilder key;
    for (int i = 0; i < 140; ++i)
        key.addArchive("data\\FILL" + std::to_string(i) + ".BIF");
    key.addArchive("data\\ITEMS.BIF");  // entry 140, the last one read
    key.addArchive("data\\SPELLS.BIF"); // entry 141, never read
    EXPECT_EQ(scan(game, key), Names{"ITEMS.BIF"});
}

TEST(Listbifs, ShortCatalogueStillListsItsRealEntries) {
    TempDir game;
    KeyBuilder key;
    key.addArchive("data\\SPELLS.BIF");
    key.addArchive("data\\ITEMS.BIF");
    EXPECT_EQ(scan(game, key), (Names{"ITEMS.BIF", "SPELLS.BIF"}));
    const std::string bytes = key.bytes();
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        qm::build::writeFile(game / "chitin.key", bytes.substr(0, cut));
        EXPECT_NO_THROW(qm::listbifs(game.prefix())) << "cut at " << cut;
    }
}

TEST(Listbifs, NamesBeyondTheSixteenBitPositionAreNotListed) {
    TempDir game;
    KeyBuilder key;
    key.setNamesOffset(32762);
    key.addArchive("data\\ITEMS.BIF");
    EXPECT_EQ(scan(game, key), Names{});
}

TEST(Listbifs, NoCatalogueGivesAnEmptyList) {
    TempDir game;
    EXPECT_EQ(qm::listbifs(game.prefix()), Names{});
    EXPECT_THROW(qm::listbifs(game.prefix() + "missing\\"), qm::FatalFileError);
}

TEST(SelectArchive, FillsTheSelectionState) {
    TempDir game;
    qm::build::BifBuilder bif;
    bif.add(1005, "x");
    bif.add(1005, "y");
    const std::string bytes = bif.bytes();
    qm::build::writeFile(game / "data" / "ITEMS.BIF", bytes);
    const auto s = qm::selectArchive(game.prefix(), "ITEMS.BIF");
    EXPECT_EQ(s.targetdir, "data\\");
    EXPECT_EQ(s.targetfile, "ITEMS");
    EXPECT_EQ(s.biffid, 240);
    EXPECT_EQ(s.begin_i, 1);
    EXPECT_EQ(s.nbpart, 1);
    EXPECT_EQ(s.nbfile, 2);
    EXPECT_EQ(s.nbfile_2, 2);
    EXPECT_EQ(s.taillefile, static_cast<std::int32_t>(bytes.size()));
    EXPECT_EQ(qm::archivePath(s), game.prefix() + "data\\ITEMS.bif");
}

TEST(SelectArchive, FolderAndCatalogueValueFromTheName) {
    TempDir game;
    qm::build::BifBuilder bif;
    for (const char* path : {"data/Creature.bif", "movies/MOVIEONE.BIF", "data/OTHER.BIF", "data/MOVI.BIF"})
        qm::build::writeFile(game / path, bif.bytes());
    const auto creature = qm::selectArchive(game.prefix(), "Creature.bif");
    EXPECT_EQ(creature.targetfile, "Creature");
    EXPECT_EQ(creature.biffid, 608);
    EXPECT_EQ(qm::selectArchive(game.prefix(), "movieone.bif").targetdir, "movies\\");
    EXPECT_EQ(qm::selectArchive(game.prefix(), "OTHER.BIF").biffid, 999);
    EXPECT_EQ(qm::selectArchive(game.prefix(), "MOVI.BIF").targetdir, "data\\");
    EXPECT_EQ(qm::biffidFor("SPELLS"), 800);
    EXPECT_EQ(qm::biffidFor("chasound"), 1136);
    EXPECT_EQ(qm::selectArchive(game.prefix(), "OTHER.BIF").nbfile, 0);
}

TEST(SelectArchive, MissingArchiveThrowsWithoutAPartialState) {
    TempDir game;
    EXPECT_THROW(qm::selectArchive(game.prefix(), "ITEMS.BIF"), qm::FileError);
}

namespace {

// Archives written below a temporary folder, the game folder being its "BG" folder; each archive holds
// as many files as its place in `archives` plus one, so the count read tells which one was chosen.
struct LocationCase {
    const char* name;
    std::vector<std::string> archives; // relative to the temporary folder
    std::string ini;                   // Baldur.ini in the game folder, when not empty
    bool winePrefix;                   // the temporary folder is a Wine prefix: C: is its BG's parent
    int expected;                      // index into `archives`, -1: not found
};

void PrintTo(const LocationCase& c, std::ostream* os) {
    *os << c.name;
}

class ArchiveLocation : public ::testing::TestWithParam<LocationCase> {};

} // namespace

TEST_P(ArchiveLocation, FindsTheArchiveWhereTheGameKeepsIt) {
    const LocationCase& c = GetParam();
    TempDir root;
    namespace fs = std::filesystem;
#ifdef _WIN32
    if (c.winePrefix)
        GTEST_SKIP() << "Windows takes an alias as it is, with no prefix in between";
#endif
    fs::create_directories(root / "drive_c/BG/data");
    if (c.winePrefix) {
        fs::create_directories(root / "dosdevices");
        fs::create_directory_symlink("../drive_c", root / "dosdevices/c:");
        fs::create_directory_symlink("../cdrom", root / "dosdevices/d:");
    }
    for (std::size_t i = 0; i < c.archives.size(); ++i) {
        qm::build::BifBuilder bif;
        for (std::size_t f = 0; f <= i; ++f)
            bif.add(1005, "x");
        qm::build::writeFile(root / c.archives[i], bif.bytes());
    }
    if (!c.ini.empty())
        qm::build::writeFile(root / "drive_c/BG/Baldur.ini", c.ini);
    const std::string BGpath = (root / "drive_c/BG/").string();
    if (c.expected < 0) {
        try {
            qm::selectArchive(BGpath, "ITEMS.BIF", "en_US");
            ADD_FAILURE() << "no archive expected";
        } catch (const qm::FileError& e) {
            EXPECT_EQ(e.number(), qm::FileNotFound);
            EXPECT_EQ(fs::path(e.path()).lexically_normal(),
                      fs::path(BGpath + "data/ITEMS.bif").lexically_normal())
                << "the path as composed";
        }
        return;
    }
    // The game's language is en_US: the Enhanced Edition keeps some archives in lang/en_US/data/.
    EXPECT_EQ(qm::selectArchive(BGpath, "ITEMS.BIF", "en_US").nbfile, c.expected + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Installs, ArchiveLocation,
    ::testing::Values(
        LocationCase{
            "GameFolderFirst", {"drive_c/BG/CD1/data/ITEMS.BIF", "drive_c/BG/data/items.bif"}, "", false, 1},
        LocationCase{"CdFolderAnyCase", {"drive_c/BG/cd3/DATA/Items.Bif"}, "", false, 0},
        LocationCase{"LowerCdFolderFirst",
                     {"drive_c/BG/CD5/data/ITEMS.BIF", "drive_c/BG/CD2/data/ITEMS.BIF"},
                     "",
                     false,
                     1},
        LocationCase{
            "AliasBelowTheGameFolder",
            {"drive_c/BG/Disc1/data/ITEMS.BIF"},
            "[Program "
            "Options]\r\nCD1:=C:\\Elsewhere\\\r\n[ALIAS]\r\nHD0:=C:\\BG\\\r\nCD1:=c:\\bg\\DISC1\\\r\n",
            false,
            0},
        LocationCase{"AliasBeforeCdFolders",
                     {"drive_c/BG/CD1/data/ITEMS.BIF", "drive_c/BG/Disc/data/ITEMS.BIF"},
                     "[Alias]\nHD0:=C:\\BG\\\nCD2:=C:\\BG\\CD9\\;C:\\BG\\Disc\\\n",
                     false,
                     1},
        LocationCase{"AliasOnAnotherDriveOfThePrefix",
                     {"cdrom/data/ITEMS.BIF"},
                     "[Alias]\r\nHD0:=C:\\BG\\\r\nCD1:=D:\\\r\n",
                     true,
                     0},
        LocationCase{"AliasOutsideWithoutPrefixIsSkipped",
                     {"cdrom/data/ITEMS.BIF"},
                     "[Alias]\r\nHD0:=C:\\BG\\\r\nCD1:=D:\\\r\n",
                     false,
                     -1},
        LocationCase{"EditionLanguageFolderAnyCase", {"drive_c/BG/lang/en_us/Data/items.bif"}, "", false, 0},
        LocationCase{"LanguageFolderBeforeCdFolders",
                     {"drive_c/BG/CD1/data/ITEMS.BIF", "drive_c/BG/lang/en_US/data/ITEMS.BIF"},
                     "",
                     false,
                     1},
        LocationCase{"OtherLanguageNotLookedAt", {"drive_c/BG/lang/de_DE/data/ITEMS.BIF"}, "", false, -1},
        LocationCase{"NowhereIsFileNotFound", {"drive_c/BG/CD7/data/ITEMS.BIF"}, "", false, -1}),
    qm::test::CaseName{});

namespace {

struct LanguageCase {
    const char* name;
    std::vector<std::string> tables; // lang/<folder>/dialog.tlk written
    std::string lua;                 // Baldur.lua of the edition's user folder, when not empty
    std::string weidu;               // the game folder's weidu.conf, when not empty
    std::string variable;            // QUILLMERE_LANG
    std::optional<std::string> requested;
    std::string expected;
};

void PrintTo(const LanguageCase& c, std::ostream* os) {
    *os << c.name;
}

class GameLanguage : public ::testing::TestWithParam<LanguageCase> {};

} // namespace

TEST_P(GameLanguage, FirstSourceWithATableWins) {
    const LanguageCase& c = GetParam();
#ifdef _WIN32
    if (!c.lua.empty())
        GTEST_SKIP() << "Baldur.lua lies in the user's Documents on Windows, which no variable moves";
#endif
    TempDir game;
    TempDir data;
    qm::test::ScopedEnv xdg("XDG_DATA_HOME");
    xdg.set(data.path().string());
    qm::test::ScopedEnv variable("QUILLMERE_LANG");
    variable.set(c.variable);
    for (const std::string& folder : c.tables)
        qm::build::writeFile(game / "lang" / folder / "dialog.tlk", "TLK V1  ");
    if (!c.lua.empty())
        qm::build::writeFile(data / "Baldur's Gate - Enhanced Edition/Baldur.lua",
                             "SetPrivateProfileString('Graphics','Full Screen','1')\r\n" + c.lua + "\r\n");
    if (!c.weidu.empty())
        qm::build::writeFile(game / "weidu.conf", c.weidu);
    EXPECT_EQ(qm::gameLanguage(game.prefix(), c.requested), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, GameLanguage,
    ::testing::Values(
        LanguageCase{"EnUsByDefault", {"de_DE", "en_US", "fr_FR"}, "", "", "", std::nullopt, "en_US"},
        LanguageCase{"BaldurLuaChoice",
                     {"de_DE", "en_US"},
                     "SetPrivateProfileString('Language','Text','de_DE')",
                     "lang_dir = fr_fr",
                     "",
                     std::nullopt,
                     "de_DE"},
        LanguageCase{"LuaInDoubleQuotesAndBlanks",
                     {"de_DE", "en_US"},
                     "SetPrivateProfileString ( \"Language\", \"Text\", \"de_DE\" )",
                     "",
                     "",
                     std::nullopt,
                     "de_DE"},
        LanguageCase{
            "WeiduCaseIgnored", {"de_DE", "en_US"}, "", "LANG_DIR = de_de\r\n", "", std::nullopt, "de_de"},
        LanguageCase{"VariableBeforeLua",
                     {"de_DE", "en_US", "fr_FR"},
                     "SetPrivateProfileString('Language','Text','de_DE')",
                     "",
                     "fr_FR",
                     std::nullopt,
                     "fr_FR"},
        LanguageCase{"RequestedBeforeVariable", {"de_DE", "fr_FR"}, "", "", "fr_FR", "de_DE", "de_DE"},
        LanguageCase{"RequestedWithoutTablePassedOver", {"de_DE", "en_US"}, "", "", "", "it_IT", "en_US"},
        LanguageCase{"TrailingSeparatorsIgnored", {"de_DE", "en_US"}, "", "", "", "de_DE/\\", "de_DE"},
        LanguageCase{"FolderOutsideLangIgnored", {"de_DE", "en_US"}, "", "", "", "../../x", "en_US"},
        LanguageCase{"FirstSortedWithoutEnUs", {"pl_PL", "fr_FR"}, "", "", "", std::nullopt, "fr_FR"},
        LanguageCase{"NoLanguageFolders", {}, "", "", "de_DE", std::nullopt, ""}),
    qm::test::CaseName{});
