#include "GameFolder.h"
#include "Interrupt.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32

namespace {

namespace fs = std::filesystem;
using qm::test::ScopedEnv;
using qm::test::TempDir;
using qm::test::writeBytes;
using namespace std::string_literals;

const std::string kHeader = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n";
const std::string kGameKeyLine =
    R"([Software\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate] 1700000000)"
    "\n";
const std::string kWowGameKeyLine =
    R"([Software\\Wow6432Node\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate] 1700000000)"
    "\n";

// A Wine prefix in a temporary folder with drive C: linked as Wine links it, and the environment pointing
// at it.
class GameFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_winePrefix.set(m_prefix.path().string());
        m_gameDir.unset();
        fs::create_directories(m_prefix / "drive_c");
        fs::create_directories(m_prefix / "dosdevices");
        fs::create_directory_symlink("../drive_c", m_prefix / "dosdevices/c:");
    }

    // `data` is the value's data as Wine writes it, e.g. "C:\\\\Games\\\\" in the file's own escapes.
    void storePath(const std::string& data, const std::string& keyLine = kGameKeyLine) {
        writeBytes(m_prefix / "system.reg", kHeader + keyLine + "\"Path\"=" + data + "\n");
    }
    void makeFolders(const std::string& relative) { fs::create_directories(m_prefix / "drive_c" / relative); }
    std::string driveC() const { return (m_prefix.path() / "drive_c").string(); }

    TempDir m_prefix;
    ScopedEnv m_winePrefix{"WINEPREFIX"};
    ScopedEnv m_gameDir{"QUILLMERE_GAME_DIR"};
};

struct MappingCase {
    const char* name;
    std::vector<std::string> folders;    // made below drive_c
    std::string data;                    // the stored value as Wine writes it
    std::optional<std::string> expected; // below drive_c; none for an empty result
};

void PrintTo(const MappingCase& c, std::ostream* os) {
    *os << c.name;
}
std::string mappingName(const ::testing::TestParamInfo<MappingCase>& info) {
    return info.param.name;
}

class MappingTest : public GameFolderTest, public ::testing::WithParamInterface<MappingCase> {};

TEST_P(MappingTest, MapsThroughDriveLink) {
    const MappingCase& c = GetParam();
    for (const std::string& folder : c.folders)
        makeFolders(folder);
    storePath(c.data);
    EXPECT_EQ(qm::discoverGameFolder(), c.expected ? driveC() + *c.expected : std::string());
}

INSTANTIATE_TEST_SUITE_P(
    StoredPaths, MappingTest,
    ::testing::Values(
        MappingCase{"ExactFolders", {"Games/BG"}, R"("C:\\Games\\BG\\")", "/Games/BG/"},
        MappingCase{"FolderCaseDiffers", {"Games/BG"}, R"("C:\\GAMES\\bg\\")", "/Games/BG/"},
        MappingCase{"LowerCaseDriveLetter", {"Games/BG"}, R"("c:\\Games\\BG\\")", "/Games/BG/"},
        MappingCase{"NoTrailingSeparatorStaysSo", {"Games/BG"}, R"("C:\\games\\BG")", "/Games/BG"},
        MappingCase{"MissingFoldersKeepSpelling",
                    {"Games"},
                    R"("C:\\GAMES\\Black Isle\\BG\\")",
                    "/Games/Black Isle/BG/"},
        MappingCase{"DriveRoot", {}, R"("C:\\")", "/"},
        MappingCase{"ForwardSlashes", {"Games/BG"}, R"("C:/games/bg/")", "/Games/BG/"},
        MappingCase{"CodePageLetter",
                    {"Jeux/Baldur\xC3\xA9"},
                    R"("C:\\jeux\\Baldur\x00e9\\")",
                    "/Jeux/Baldur\xC3\xA9/"},
        // "Ã©" in the code page is the same two bytes as "é" in UTF-8; the folder is the former.
        MappingCase{"CodePageTextLikeUtf8",
                    {"Jeux/Baldur\xC3\x83\xC2\xA9"},
                    R"("C:\\Jeux\\Baldur\x00c3\x00a9\\")",
                    "/Jeux/Baldur\xC3\x83\xC2\xA9/"},
        MappingCase{"DriveWithoutLink", {"Games/BG"}, R"("D:\\Games\\BG\\")", std::nullopt},
        MappingCase{"NoDriveLetter", {"Games/BG"}, R"("Games\\BG\\")", std::nullopt},
        MappingCase{"NetworkPath", {}, R"("\\\\server\\share\\")", std::nullopt},
        MappingCase{"ExpandStringLeavesEmpty", {"Games/BG"}, R"(str(2):"C:\\Games\\BG\\")", std::nullopt},
        MappingCase{"NumberLeavesNoFolder", {}, "dword:00000001", std::nullopt},
        MappingCase{"TooLongLeavesEmpty", {}, "\"C:\\\\" + std::string(1030, 'a') + "\"", std::nullopt}),
    mappingName);

TEST_F(GameFolderTest, FoundBelowWow6432Node) {
    makeFolders("Games/BG");
    storePath(R"("C:\\Games\\BG\\")", kWowGameKeyLine);
    EXPECT_EQ(qm::discoverGameFolder(), driveC() + "/Games/BG/");
}

TEST_F(GameFolderTest, DriveLinkSpeltInCapitals) {
    makeFolders("Games/BG");
    fs::remove(m_prefix / "dosdevices/c:");
    fs::create_directory_symlink("../drive_c", m_prefix / "dosdevices/C:");
    storePath(R"("c:\\Games\\BG\\")");
    EXPECT_EQ(qm::discoverGameFolder(), driveC() + "/Games/BG/");
}

TEST_F(GameFolderTest, DriveLinkIsFollowed) {
    TempDir elsewhere;
    fs::create_directories(elsewhere / "Setup/BG");
    fs::create_directory_symlink(elsewhere.path(), m_prefix / "dosdevices/e:");
    storePath(R"("E:\\setup\\bg\\")");
    EXPECT_EQ(qm::discoverGameFolder(), elsewhere.path().string() + "/Setup/BG/");
}

TEST_F(GameFolderTest, DanglingDriveLinkGivesEmpty) {
    fs::create_directory_symlink("../nowhere", m_prefix / "dosdevices/f:");
    storePath(R"("F:\\Games\\BG\\")");
    EXPECT_EQ(qm::discoverGameFolder(), "");
}

TEST_F(GameFolderTest, NoRegistryFileGivesEmpty) {
    EXPECT_EQ(qm::discoverGameFolder(), "");
}

TEST_F(GameFolderTest, NoGameKeyGivesEmpty) {
    makeFolders("Games/BG");
    writeBytes(m_prefix / "system.reg",
               kHeader + "[Software\\\\Other] 1\n\"Path\"=\"C:\\\\Games\\\\BG\\\\\"\n");
    EXPECT_EQ(qm::discoverGameFolder(), "");
}

struct EnvCase {
    const char* name;
    std::string variable;
    std::string expected;
};

void PrintTo(const EnvCase& c, std::ostream* os) {
    *os << c.name;
}
std::string envName(const ::testing::TestParamInfo<EnvCase>& info) {
    return info.param.name;
}

class EnvironmentTest : public GameFolderTest, public ::testing::WithParamInterface<EnvCase> {};

TEST_P(EnvironmentTest, VariableWinsOverRegistry) {
    makeFolders("Games/BG");
    storePath(R"("C:\\Games\\BG\\")");
    m_gameDir.set(GetParam().variable);
    EXPECT_EQ(qm::discoverGameFolder(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(GameDirVariable, EnvironmentTest,
                         ::testing::Values(EnvCase{"SeparatorAdded", "/srv/games/bg", "/srv/games/bg/"},
                                           EnvCase{"SeparatorKept", "/srv/games/bg/", "/srv/games/bg/"},
                                           EnvCase{"RelativeFolder", "bg", "bg/"},
                                           EnvCase{"MissingFolderStillUsed", "/no/such/folder",
                                                   "/no/such/folder/"}),
                         envName);

TEST_F(GameFolderTest, EmptyVariableFallsThroughToRegistry) {
    makeFolders("Games/BG");
    storePath(R"("C:\\Games\\BG\\")");
    m_gameDir.set("");
    EXPECT_EQ(qm::discoverGameFolder(), driveC() + "/Games/BG/");
}

struct LauncherCase {
    const char* name;
    std::vector<std::string> prefixes; // below HOME; each gets the game's registry value
    int withGame;                      // the prefix whose C:\Games\BG\ holds chitin.key, -1: none
    int expected;                      // the prefix whose folder is found, -1: empty
    int expandString = -1;             // the prefix whose value is an expandable string, -1: none
};

void PrintTo(const LauncherCase& c, std::ostream* os) {
    *os << c.name;
}

// A fake home with launcher prefixes, and a default prefix that has no game.
class LauncherTest : public GameFolderTest, public ::testing::WithParamInterface<LauncherCase> {
protected:
    void SetUp() override {
        GameFolderTest::SetUp();
        m_home.set(m_fakeHome.path().string());
        m_winePrefix.set((m_fakeHome / "nowhere").string());
    }
    static void makePrefix(const fs::path& prefix, bool withGame, bool expandString) {
        fs::create_directories(prefix / "drive_c/Games/BG");
        fs::create_directories(prefix / "dosdevices");
        fs::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
        writeBytes(prefix / "system.reg", kHeader + kGameKeyLine +
                                              "\"Path\"=" + (expandString ? "str(2):" : "") +
                                              "\"C:\\\\Games\\\\BG\\\\\"\n");
        if (withGame)
            writeBytes(prefix / "drive_c/Games/BG/CHITIN.KEY", "KEY V1  ");
    }
    TempDir m_fakeHome;
    ScopedEnv m_home{"HOME"};
};

TEST_P(LauncherTest, FindsTheGameInALaunchersPrefix) {
    const LauncherCase& c = GetParam();
    for (std::size_t i = 0; i < c.prefixes.size(); ++i)
        makePrefix(m_fakeHome / c.prefixes[i], static_cast<int>(i) == c.withGame,
                   static_cast<int>(i) == c.expandString);
    EXPECT_EQ(
        qm::discoverGameFolder(),
        c.expected < 0
            ? std::string()
            : (m_fakeHome / c.prefixes[static_cast<std::size_t>(c.expected)] / "drive_c/Games/BG/").string());
}

INSTANTIATE_TEST_SUITE_P(
    Launchers, LauncherTest,
    ::testing::Values(
        LauncherCase{"Lutris", {"Games/baldurs-gate"}, 0, 0},
        LauncherCase{"Heroic", {"Games/Heroic/Prefixes/Baldurs Gate"}, 0, 0},
        LauncherCase{"HeroicDefault", {"Games/Heroic/Prefixes/default/Baldurs Gate"}, 0, 0},
        LauncherCase{"Bottles", {".local/share/bottles/bottles/BG"}, 0, 0},
        LauncherCase{"PlayOnLinux", {".PlayOnLinux/wineprefix/BaldursGate"}, 0, 0},
        LauncherCase{"SteamProton", {".local/share/Steam/steamapps/compatdata/228280/pfx"}, 0, 0},
        LauncherCase{"SteamFlatpak",
                     {".var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/compatdata/1/pfx"},
                     0,
                     0},
        LauncherCase{"SortedWithinALauncherFirstWithCatalogueWins",
                     {"Games/b-second", "Games/a-first", "Games/c-third"},
                     0,
                     0},
        LauncherCase{"PrefixWithoutTheGameIsPassed", {"Games/a-empty", ".PlayOnLinux/wineprefix/bg"}, 1, 1},
        LauncherCase{"NoneWithTheGame", {"Games/a", ".local/share/bottles/bottles/b"}, -1, -1},
        LauncherCase{"TooDeepIsNotLookedAt", {"Games/x/y"}, 0, -1},
        // An expandable string leaves the text it is read into as it was: the first prefix's text must not
        // be mapped through the second prefix, where it happens to name the game.
        LauncherCase{"ExpandStringNamesNoFolder", {"Games/a-text", "Games/b-expand"}, 1, -1, 1}),
    qm::test::CaseName{});

struct SourceCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files; // below HOME, "@" in the text standing for HOME
    std::vector<std::pair<std::string, std::string>> links; // below HOME: the link and where it points
    std::string expected;                                   // below HOME; empty when nothing is found
    std::size_t warnings = 0;                               // sources passed over
};

void PrintTo(const SourceCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kKey = "KEY V1  ";
const std::string kSteamGame = ".local/share/Steam/steamapps/common/Baldur's Gate Enhanced Edition/";
const std::string kNestedVdf = R"("libraryfolders"
{
	"0"
	{
		"path"		"@/.local/share/Steam"
		"apps" { "1" "2" }
	}
	"1"
	{
		"path"		"@/Games \"Two\""
		"label"		""
	}
})";
const std::string kGogKeyLine = "[Software\\\\Wow6432Node\\\\GOG.com\\\\Games\\\\1207666353] 1700000000\n";
const std::string kVdf = ".local/share/Steam/steamapps/libraryfolders.vdf";
const std::string kLibGame = "lib/steamapps/common/Baldur's Gate Enhanced Edition/";
const std::string kGogGame = "GOG Games/Baldur's Gate/game/";

// A library inside `depth` blocks, each block one level deeper than the last.
std::string nestedVdf(int depth) {
    std::string text = "\"libraryfolders\" { \"1\" { \"path\" \"@/lib\" ";
    for (int i = 0; i < depth; ++i)
        text += "\"x\" { ";
    return text + std::string(static_cast<std::size_t>(depth), '}') + " } }";
}

// The sources after the registry's, each finding the game by itself in a home of its own; the default
// prefix (~/.wine) holds no game unless a case puts one there.
class SourceTest : public GameFolderTest, public ::testing::WithParamInterface<SourceCase> {
protected:
    void SetUp() override {
        GameFolderTest::SetUp();
        m_winePrefix.unset();
        m_home.set(m_fakeHome.path().string());
    }
    std::string atHome(std::string text) const {
        for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1))
            text.replace(at, 1, m_fakeHome.path().string());
        return text;
    }
    TempDir m_fakeHome;
    ScopedEnv m_home{"HOME"};
};

TEST_P(SourceTest, FindsTheGameByItself) {
    const SourceCase& c = GetParam();
    for (const auto& [file, text] : c.files)
        writeBytes(m_fakeHome / file, atHome(text));
    for (const auto& [link, target] : c.links) {
        fs::create_directories((m_fakeHome / link).parent_path());
        fs::create_directory_symlink(atHome(target), m_fakeHome / link);
    }
    std::vector<std::string> warnings;
    const auto warn = [&warnings](const std::string& message) { warnings.push_back(message); };
    EXPECT_EQ(qm::discoverGameFolder(std::nullopt, warn),
              c.expected.empty() ? "" : (m_fakeHome / c.expected).string());
    EXPECT_EQ(warnings.size(), c.warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, SourceTest,
    ::testing::Values(
        SourceCase{"SteamDefaultLibrary", {{kSteamGame + "chitin.key", kKey}}, {}, kSteamGame},
        SourceCase{
            "SteamFlatpak",
            {{".var/app/com.valvesoftware.Steam/data/Steam/steamapps/common/"
              "Baldur's Gate Enhanced Edition/CHITIN.KEY",
              kKey}},
            {},
            ".var/app/com.valvesoftware.Steam/data/Steam/steamapps/common/Baldur's Gate Enhanced Edition/"},
        SourceCase{"SteamManifestNamesTheFolder",
                   {{".local/share/Steam/steamapps/appmanifest_228280.acf",
                     "\"AppState\"\n{\n\t\"appid\"\t\t\"228280\"\n\t\"installdir\"\t\t\"BGEE\"\n}\n"},
                    {".local/share/Steam/steamapps/common/BGEE/chitin.key", kKey},
                    {kSteamGame + "chitin.key", kKey}},
                   {},
                   ".local/share/Steam/steamapps/common/BGEE/"},
        SourceCase{"SteamSecondLibraryNestedForm",
                   {{".local/share/Steam/steamapps/libraryfolders.vdf", kNestedVdf},
                    {"Games \"Two\"/steamapps/common/Baldur's Gate Enhanced Edition/chitin.key", kKey}},
                   {},
                   "Games \"Two\"/steamapps/common/Baldur's Gate Enhanced Edition/"},
        SourceCase{"SteamSecondLibraryOldFlatForm",
                   {{".steam/steam/steamapps/libraryfolders.vdf",
                     "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1\"\n\t\"1\"\t\t\"@/lib\"\n}\n"},
                    {"lib/SteamApps/common/baldur's gate enhanced edition/chitin.key", kKey}},
                   {},
                   "lib/steamapps/common/Baldur's Gate Enhanced Edition/"},
        SourceCase{"DamagedVdfIsNotHalfRead",
                   {{".local/share/Steam/steamapps/libraryfolders.vdf",
                     "\"libraryfolders\"\n{\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"@/lib\"\n"},
                    {"lib/steamapps/common/Baldur's Gate Enhanced Edition/chitin.key", kKey}},
                   {},
                   ""},
        SourceCase{"DamagedVdfLeavesTheSteamFolder",
                   {{".local/share/Steam/steamapps/libraryfolders.vdf", "\"libraryfolders\" { \"1\" }"},
                    {kSteamGame + "chitin.key", kKey}},
                   {},
                   kSteamGame},
        SourceCase{"SteamVdfConditionsAndCommentsAreNotData",
                   {{kVdf, "// written by Steam\n\"libraryfolders\" [$LINUX]\n{\n"
                           "\t\"1\" // the old form\n\t\"@/old\" [$WIN32]\n"
                           "\t\"2\" { \"path\" [!$X360] \"@/lib\" } // today's\n}\n"},
                    {kLibGame + "chitin.key", kKey}},
                   {},
                   kLibGame},
        SourceCase{"SteamVdfNestedTooDeepIsDamaged",
                   {{kVdf, nestedVdf(40)}, {kLibGame + "chitin.key", kKey}},
                   {},
                   ""},
        // A NUL ends the path the system reads: such a name is no folder, and the rest is still asked.
        SourceCase{"SteamVdfPathWithNulIsPassedOver",
                   {{kVdf, "\"libraryfolders\" { \"1\" \"@/bad\0/x\" \"2\" \"@/lib\" }"s},
                    {kLibGame + "chitin.key", kKey}},
                   {},
                   kLibGame,
                   1},
        SourceCase{"SteamInstalldirWithNulIsPassedOver",
                   {{".local/share/Steam/steamapps/appmanifest_228280.acf",
                     "\"AppState\" { \"installdir\" \"BG\0EE\" }"s},
                    {kSteamGame + "chitin.key", kKey},
                    {kGogGame + "chitin.key", kKey}},
                   {},
                   kGogGame,
                   1},
        SourceCase{"GogLinuxFolder",
                   {{"GOG Games/Baldur's Gate Enhanced Edition/game/chitin.key", kKey}},
                   {},
                   "GOG Games/Baldur's Gate Enhanced Edition/game/"},
        SourceCase{"GogLinuxFolderOfTheOriginal",
                   {{"GOG Games/Baldur's Gate/game/chitin.key", kKey}},
                   {},
                   "GOG Games/Baldur's Gate/game/"},
        SourceCase{
            "WinePrefixWithOnlyGogsKey",
            {{".wine/system.reg",
              kHeader + kGogKeyLine + R"("path"="C:\\GOG Games\\Baldur's Gate Enhanced Edition")" + "\n"},
             {".wine/drive_c/GOG Games/Baldur's Gate Enhanced Edition/chitin.key", kKey}},
            {{".wine/dosdevices/c:", "../drive_c"}},
            ".wine/drive_c/GOG Games/Baldur's Gate Enhanced Edition/"},
        SourceCase{"RegistryFolderWithoutCatalogueYieldsToSteam",
                   {{".wine/system.reg", kHeader + kGameKeyLine + R"("Path"="C:\\BG\\")" + "\n"},
                    {".wine/drive_c/BG/Dialog.tlk", ""},
                    {kSteamGame + "chitin.key", kKey}},
                   {{".wine/dosdevices/c:", "../drive_c"}},
                   kSteamGame},
        SourceCase{"RegistryFolderIsTheFallback",
                   {{".wine/system.reg", kHeader + kGameKeyLine + R"("Path"="C:\\BG\\")" + "\n"},
                    {".wine/drive_c/BG/Dialog.tlk", ""},
                    {"GOG Games/Baldur's Gate/game/Dialog.tlk", ""}},
                   {{".wine/dosdevices/c:", "../drive_c"}},
                   ".wine/drive_c/BG/"}),
    qm::test::CaseName{});

TEST_F(GameFolderTest, DefaultPrefixWithTheGameWinsOverLaunchers) {
    makeFolders("Games/BG");
    writeBytes(m_prefix / "drive_c/Games/BG/chitin.key", "KEY V1  ");
    storePath(R"("C:\\Games\\BG\\")");
    TempDir home;
    ScopedEnv homeVariable("HOME");
    homeVariable.set(home.path().string());
    fs::create_directories(home / "Games/other/drive_c");
    writeBytes(home / "Games/other/system.reg", "WINE REGISTRY Version 2\n");
    EXPECT_EQ(qm::discoverGameFolder(), driveC() + "/Games/BG/");
}

// Discovery asks the request the program watches, between the places it looks.
TEST_F(GameFolderTest, StopRequestEndsDiscovery) {
    qm::StopRequest stop;
    stop.request();
    qm::watchForStop(&stop);
    EXPECT_THROW(qm::discoverGameFolder(), qm::Interrupted);
    qm::watchForStop(nullptr);
    EXPECT_NO_THROW(qm::discoverGameFolder());
}

TEST(MapWinePath, PrefixWithoutDosdevicesGivesEmpty) {
    TempDir prefix;
    EXPECT_EQ(qm::mapWinePath(prefix.path(), "C:\\Games\\BG\\"), "");
}

TEST(MapWinePath, DriveLetterAloneIsTheDriveFolder) {
    TempDir prefix;
    fs::create_directories(prefix / "drive_c");
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
    EXPECT_EQ(qm::mapWinePath(prefix.path(), "C:"), (prefix.path() / "drive_c").string());
}

} // namespace

#endif
