// The command line's promises, checked around every command: the game folder's files stay byte for byte
// as they were, and nothing appears outside the current folder. The program runs as a child process,
// on a demo game and on a game whose files are hostile.
#include "FolderState.h"
#include "GameBuilder.h"
#include "Sound.h"
#include "SoundBuilder.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using qm::build::BifBuilder;
using qm::build::KeyBuilder;
using qm::build::TlkBuilder;
using qm::test::CaseName;
using qm::test::folderState;
using qm::test::FolderState;
using qm::test::readBytes;
using qm::test::TempDir;

namespace {

struct CliRun {
    int status = -1; // exit status, or 128 + the signal that ended the program
    std::string out;
    std::string err;
};

// Where the child's standard output goes: a file, a full disk, nowhere (closed), or a pipe whose reader is
// gone while SIGPIPE is ignored.
enum class Stdout { File, FullDisk, Closed, BrokenPipe };

// Runs quillmere-cli in `cwd` with its output in files of a folder outside the watched tree. The child
// starts with SIGXFSZ at its default, so only the program's own handling keeps it alive at a size limit.
// With `asNobody`, a child of root runs as the user nobody, for whom permissions count.
CliRun runCli(const fs::path& cwd, const std::vector<std::string>& args,
              std::optional<rlim_t> fileSizeLimit = {}, bool asNobody = false,
              Stdout stdoutKind = Stdout::File) {
    static TempDir outputs;
    const fs::path outPath = outputs / "stdout";
    const fs::path errPath = outputs / "stderr";
    std::vector<std::string> argvText = {QUILLMERE_CLI};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(argvText.size() + 1);
    for (std::string& arg : argvText)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (stdoutKind == Stdout::BrokenPipe && pipe(pipeFds) != 0)
        return {};
    close(pipeFds[0]);
    const pid_t child = fork();
    if (child == 0) {
        const int out = stdoutKind == Stdout::FullDisk ? open("/dev/full", O_WRONLY)
                        : stdoutKind == Stdout::BrokenPipe
                            ? pipeFds[1]
                            : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(120);
        if (stdoutKind == Stdout::Closed)
            close(1);
        if (stdoutKind == Stdout::BrokenPipe)
            std::signal(SIGPIPE, SIG_IGN);
        if (asNobody && getuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(122);
        if (chdir(cwd.c_str()) != 0)
            _exit(120);
        std::signal(SIGXFSZ, SIG_DFL);
        if (fileSizeLimit) {
            rlimit rl{};
            getrlimit(RLIMIT_FSIZE, &rl);
            rl.rlim_cur = *fileSizeLimit;
            setrlimit(RLIMIT_FSIZE, &rl);
        }
        execv(argv[0], argv.data());
        _exit(121);
    }
    close(pipeFds[1]);
    int status = 0;
    waitpid(child, &status, 0);
    CliRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = stdoutKind == Stdout::File ? readBytes(outPath) : std::string();
    run.err = readBytes(errPath);
    return run;
}

// A game folder and a current folder side by side; the game is either the demo game or one whose
// archives are each hostile in their own way.
class Sandbox {
public:
    Sandbox() {
        fs::create_directories(game());
        fs::create_directories(work());
        fs::create_directories(m_root / "outside");
    }
    fs::path game() const { return m_root / "game"; }
    fs::path work() const { return m_root / "work"; }
    fs::path root() const { return m_root.path(); }

    void writeHostileGame() {
        KeyBuilder key;
        for (const char* name :
             {"data\\ITEMS.BIF", "data\\CREATURE.BIF", "data\\SPELLS.BIF", "data\\CHASOUND.BIF"})
            key.addArchive(name);
        // ITEMS: names that climb, name drives and devices, carry control codes and 8-bit characters.
        BifBuilder items;
        const std::vector<std::string> names = {"..\\..\\UP", "/etc/pw", "C:\\AUX", "\x01\x1B\x7F",
                                                "\xE9p\xE9"};
        for (std::size_t i = 0; i < names.size(); ++i) {
            key.addResource(names[i], 1005, static_cast<std::int16_t>(i), 240);
            std::string data = "ITM V1  " + std::string(8, '\0');
            data[12] = static_cast<char>(i);
            items.add(1005, data);
        }
        // CREATURE: a count far beyond its table.
        BifBuilder creatures;
        key.addResource("BEAST", 1009, 0, 608);
        creatures.add(1009, "CRE V1.0");
        creatures.setFileEntryCount(std::numeric_limits<std::int32_t>::max());
        // SPELLS: its second file's data start before the archive.
        BifBuilder spells;
        key.addResource("SPARK", 1006, 0, 800);
        key.addResource("GLOOM", 1006, 1, 800);
        spells.add(1006, "SPL V1  ");
        spells.add(1006, "SPL V1  ").dataOffset = -100;
        qm::build::writeFile(game() / "chitin.key", key.bytes());
        qm::build::writeFile(game() / "data" / "ITEMS.BIF", items.bytes());
        qm::build::writeFile(game() / "data" / "CREATURE.BIF", creatures.bytes());
        qm::build::writeFile(game() / "data" / "SPELLS.BIF", spells.bytes());
        // CHASOUND: cut inside its header.
        qm::build::writeFile(game() / "data" / "CHASOUND.BIF", "BIFF");
        // The string table's lengths run wild.
        TlkBuilder tlk;
        tlk.add("Quill");
        tlk.entry(tlk.add("Lantern")).stringLength = 0x8000;
        tlk.entry(tlk.add("Buckler")).stringLength = 0x7FFF;
        qm::build::writeFile(game() / "Dialog.tlk", tlk.bytes());
    }

    // Runs one command from a fresh current folder and checks the promises around it.
    // `link` (a name in the current folder) is planted there first, pointing at `linkTarget` (relative to
    // the sandbox: into the game folder, or outside the current folder).
    // `realFolder`, when given, is made there as a real folder beside the link.
    CliRun runChecked(const std::vector<std::string>& command, std::optional<rlim_t> fileSizeLimit = {},
                      const std::string& link = {}, const std::string& linkTarget = {},
                      const std::string& realFolder = {}) {
        for (const auto& entry : fs::directory_iterator(work()))
            fs::remove_all(entry.path());
        if (!realFolder.empty())
            fs::create_directory(work() / realFolder);
        if (!link.empty())
            fs::create_symlink(m_root / linkTarget, work() / link);
        const FolderState gameBefore = folderState(game());
        const FolderState outsideBefore = folderState(m_root.path(), work());
        std::vector<std::string> args = {"--game", game().string()};
        args.insert(args.end(), command.begin(), command.end());
        CliRun run = runCli(work(), args, fileSizeLimit);
        EXPECT_EQ(folderState(game()), gameBefore) << "the game folder changed";
        EXPECT_EQ(folderState(m_root.path(), work()), outsideBefore) << "written outside the current folder";
        return run;
    }

private:
    TempDir m_root;
};

struct CommandCase {
    const char* name;
    bool hostile; // the hostile game, else the demo game
    std::vector<std::string> command;
    int status;
    std::string stderrHas; // a part of the report, empty for none
    std::string link = {}; // a link planted in the current folder first, and where it points
    std::string linkTarget = {};
    std::string realFolder = {}; // a real folder made beside the link first
};

// Cases show their names in test reports.
void PrintTo(const CommandCase& c, std::ostream* os) {
    *os << c.name;
}

class CliGuarantees : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CliGuarantees, GameFolderUntouchedAndNothingWrittenOutside) {
    const CommandCase& c = GetParam();
    Sandbox s;
    if (c.hostile)
        s.writeHostileGame();
    else
        qm::build::writeDemoGame(s.game(), 3);
    const CliRun run = s.runChecked(c.command, {}, c.link, c.linkTarget, c.realFolder);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.stderrHas.empty()) {
        EXPECT_EQ(run.err, "");
    } else {
        EXPECT_NE(run.err.find(c.stderrHas), std::string::npos) << run.err;
    }
    // A report about an entry's data names the archive and the entry, not the output file.
    if (run.err.find("the file's data") != std::string::npos) {
        EXPECT_NE(run.err.find(".BIF, entry "), std::string::npos) << run.err;
    }
}

const std::string kFourArchives = "CHASOUND.BIF\nCREATURE.BIF\nITEMS.BIF\nSPELLS.BIF\n";

const std::string kTablePastTheEnd = "error 62: the file table runs past the end of the archive";
const std::string kDataBeforeTheStart = "error 63: the file's data start before the archive";
const std::string kCutHeader = "error 62: the archive ends inside its header";
const std::string kLinkedFolder = "error 75: an output folder is a symbolic link";

INSTANTIATE_TEST_SUITE_P(
    Commands, CliGuarantees,
    ::testing::Values(
        CommandCase{"DemoList", false, {"list"}, 0, ""},
        CommandCase{"DemoFiles", false, {"files", "ITEMS.BIF"}, 0, ""},
        CommandCase{"DemoExtract", false, {"extract", "CREATURE.BIF"}, 0, ""},
        CommandCase{"DemoPick", false, {"pick", "spells.bif", "0", "2"}, 0, ""},
        CommandCase{"HostileList", true, {"list"}, 0, ""},
        CommandCase{"HostileNamesFiles", true, {"files", "ITEMS.BIF"}, 0, ""},
        CommandCase{"HostileNamesExtract", true, {"extract", "ITEMS.BIF"}, 0, ""},
        CommandCase{"HostileNamesPick", true, {"pick", "ITEMS.BIF", "0", "1", "2", "3", "4"}, 0, ""},
        CommandCase{"HugeCountFiles", true, {"files", "CREATURE.BIF"}, 1, kTablePastTheEnd},
        CommandCase{"HugeCountExtract", true, {"extract", "CREATURE.BIF"}, 1, kTablePastTheEnd},
        CommandCase{"HugeCountPick", true, {"pick", "CREATURE.BIF", "0"}, 1, kTablePastTheEnd},
        CommandCase{"NegativeOffsetFiles", true, {"files", "SPELLS.BIF"}, 0, ""},
        CommandCase{"NegativeOffsetExtract", true, {"extract", "SPELLS.BIF"}, 1, kDataBeforeTheStart},
        CommandCase{"NegativeOffsetPick", true, {"pick", "SPELLS.BIF", "0", "1"}, 1, kDataBeforeTheStart},
        CommandCase{"CutHeaderFiles", true, {"files", "CHASOUND.BIF"}, 1, kCutHeader},
        CommandCase{"CutHeaderExtract", true, {"extract", "CHASOUND.BIF"}, 1, kCutHeader},
        CommandCase{"CutHeaderPick", true, {"pick", "CHASOUND.BIF", "0"}, 1, kCutHeader},
        // Links planted in the current folder: an output folder that is one, in any letter case, is
        // refused; an old log that is one is replaced, never followed.
        CommandCase{"LinkedArchiveFolderExtract",
                    false,
                    {"extract", "CREATURE.BIF"},
                    1,
                    kLinkedFolder,
                    "creature",
                    "game/data"},
        CommandCase{
            "LinkedWorkDirPick", false, {"pick", "spells.bif", "0"}, 1, kLinkedFolder, "WorkDir", "outside"},
        // A real folder does not vouch for a link beside it that differs only in letter case.
        CommandCase{"RealWorkDirBesideLinkedWorkdirPick",
                    false,
                    {"pick", "CHASOUND.BIF", "0", "1"},
                    1,
                    kLinkedFolder + " (workdir)",
                    "workdir",
                    "outside",
                    "WorkDir"},
        CommandCase{"RealArchiveFolderBesideLinkedOneExtract",
                    false,
                    {"extract", "CREATURE.BIF"},
                    1,
                    kLinkedFolder + " (creature)",
                    "creature",
                    "outside",
                    "CREATURE"},
        CommandCase{"DanglingLinkAsLogExtract",
                    false,
                    {"extract", "CREATURE.BIF"},
                    0,
                    "",
                    "CREATURE.log",
                    "outside/missing"},
        CommandCase{"LinkBesideTheOutputFiles",
                    true,
                    {"pick", "ITEMS.BIF", "0", "1"},
                    0,
                    "",
                    "elsewhere",
                    "outside"}),
    CaseName());

// A game folder without its catalogue, or with one cut short, is never a silent success.
TEST(CliGuaranteesOutput, MissingOrCutCatalogueIsReported) {
    struct Row {
        const char* name;
        std::optional<std::size_t>
            keep; // bytes of chitin.key kept, none: no file; SIZE_MAX: cut in its resources
        std::vector<std::string> command;
        int status;
        std::string errHas;
    };
    const std::vector<Row> rows = {
        {"NoCatalogueList", std::nullopt, {"list"}, 1, "error 53: no chitin.key in "},
        {"NoCataloguePick", std::nullopt, {"pick", "ITEMS.BIF", "0"}, 1, "error 53: no chitin.key in "},
        {"EmptyCatalogue", 0, {"list"}, 1, "error 62: the catalogue ends inside its header"},
        {"CutInTheArchiveTable", 200, {"list"}, 0, "the archive table holds 14 of its 144 entries"},
        {"CutInTheResourceTable",
         SIZE_MAX,
         {"extract", "SPELLS.BIF"},
         0,
         "the resource table holds 5 of its "},
    };
    for (const Row& row : rows) {
        Sandbox s;
        qm::build::writeDemoGame(s.game(), 3);
        const fs::path key = s.game() / "chitin.key";
        std::string bytes = readBytes(key);
        fs::remove(key);
        if (row.keep) {
            const auto tableAt = static_cast<std::size_t>(static_cast<unsigned char>(bytes[20])) |
                                 static_cast<std::size_t>(static_cast<unsigned char>(bytes[21])) << 8;
            bytes.resize(*row.keep == SIZE_MAX ? tableAt + 5 * 14 + 3 : *row.keep);
            qm::build::writeFile(key, bytes);
        }
        const FolderState gameBefore = folderState(s.game());
        const CliRun run = runCli(s.work(), [&] {
            std::vector<std::string> args = {"--game", s.game().string()};
            args.insert(args.end(), row.command.begin(), row.command.end());
            return args;
        }());
        EXPECT_EQ(run.status, row.status) << row.name << ": " << run.err;
        EXPECT_NE(run.err.find(row.errHas), std::string::npos) << row.name << ": " << run.err;
        EXPECT_EQ(folderState(s.game()), gameBefore) << row.name;
    }
}

// A data folder that may not be searched is 70 naming that folder, not a missing archive; a registry
// value holding a NUL names no folder; control bytes and bidirectional controls of a path reach the
// terminal escaped.
TEST(CliGuaranteesOutput, ErrorsNameTheFolderThatFailedAndNoRawControlBytes) {
    Sandbox s;
    qm::build::writeDemoGame(s.game(), 1);
    const auto all = fs::perms::all;
    fs::permissions(s.root(), all);
    fs::permissions(s.work(), all);
    fs::permissions(s.game() / "data", fs::perms::none);
    const CliRun refused = runCli(s.work(), {"--game", s.game().string(), "extract", "ITEMS.BIF"}, {}, true);
    fs::permissions(s.game() / "data", all);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              "quillmere-cli: error 70: Permission denied (" + (s.game() / "data").string() + ")\n");

    const fs::path prefix = s.root() / "prefix";
    qm::build::writeFile(
        prefix / "system.reg",
        "WINE REGISTRY Version 2\n\n[Software\\\\Microsoft\\\\DirectPlay\\\\Applications\\\\"
        "Baldur's Gate] 1\n\"Path\"=hex(1):43,00,3a,00,5c,00,42,00,47,00,00,00,78,00,5c,00,00,00\n");
    fs::create_directories(prefix / "drive_c");
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
    qm::test::ScopedEnv winePrefix("WINEPREFIX");
    winePrefix.set(prefix.string());
    qm::test::ScopedEnv gameDir("QUILLMERE_GAME_DIR");
    gameDir.unset();
    // The value names no folder, so the current folder is the game folder, which has no catalogue.
    const CliRun viaRegistry = runCli(s.work(), {"list"});
    EXPECT_EQ(viaRegistry.status, 1) << viaRegistry.err;
    EXPECT_EQ(viaRegistry.out + viaRegistry.err, "quillmere-cli: error 53: no chitin.key in .\n");
    // U+202E, a right-to-left override, would reorder the rest of the line.
    const CliRun run = runCli(s.work(), {"-C", (s.root() / "no\x01where\xE2\x80\xAE").string(), "list"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("error 76: Path not found (" + s.root().string() + "/no\\x01where\\u202E)"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(std::count_if(run.err.begin(), run.err.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\n'; }),
              0);
}

// Without --game the game is found by itself, here in GOG's registry key of a Wine prefix; `games` shows
// every source's folder in order, the one used marked, a Steam library reached through ~/.steam/steam
// only once.
TEST(CliGames, ListsEachSourcesFolderInOrderAndMarksTheOneUsed) {
    Sandbox s;
    const fs::path home = s.root() / "home";
    const std::string h = home.string();
    qm::build::writeFile(home / ".wine/system.reg",
                         "WINE REGISTRY Version 2\n\n"
                         "[Software\\\\Microsoft\\\\DirectPlay\\\\Applications\\\\Baldur's Gate] 1\n"
                         "\"Path\"=\"C:\\\\BG\\\\\"\n"
                         "[Software\\\\GOG.com\\\\Games\\\\1207666353] 1\n"
                         "\"path\"=\"C:\\\\GOG Games\\\\BGEE\"\n");
    fs::create_directories(home / ".wine/dosdevices");
    fs::create_directories(home / ".wine/drive_c/BG");
    fs::create_directory_symlink("../drive_c", home / ".wine/dosdevices/c:");
    qm::build::writeDemoGame(home / ".wine/drive_c/GOG Games/BGEE", 1);
    const std::string steamGame = h + "/.local/share/Steam/steamapps/common/Baldur's Gate Enhanced Edition/";
    qm::build::writeFile(steamGame + "chitin.key", "KEY V1  ");
    fs::create_directories(home / ".steam");
    fs::create_directory_symlink("../.local/share/Steam", home / ".steam/steam");
    qm::build::writeFile(home / "GOG Games/Baldur's Gate Enhanced Edition/game/CHITIN.KEY", "KEY V1  ");
    qm::test::ScopedEnv homeVariable("HOME");
    homeVariable.set(h);
    qm::test::ScopedEnv winePrefix("WINEPREFIX");
    winePrefix.unset();
    qm::test::ScopedEnv gameDir("QUILLMERE_GAME_DIR");
    gameDir.unset();

    const std::string rest = "\tSteam\t" + steamGame + "\tcatalogue\n" + "\tGOG folder\t" + h +
                             "/GOG Games/Baldur's Gate Enhanced Edition/game/\tcatalogue\n" +
                             "\tcurrent folder\t.\tno catalogue\n";
    const std::string registry = "\tregistry in " + h + "/.wine\t" + h + "/.wine/drive_c/BG/\tno catalogue\n";
    const std::string gog =
        "\tGOG registry in " + h + "/.wine\t" + h + "/.wine/drive_c/GOG Games/BGEE/\tcatalogue\n";
    const CliRun games = runCli(s.work(), {"games"});
    EXPECT_EQ(games.status, 0) << games.err;
    EXPECT_EQ(games.out, registry + "*" + gog + rest);
    const CliRun given = runCli(s.work(), {"--game", s.game().string(), "games"});
    EXPECT_EQ(given.out,
              "*\tcommand line\t" + s.game().string() + "/\tno catalogue\n" + registry + gog + rest);
    const CliRun list = runCli(s.work(), {"list"});
    EXPECT_EQ(list.out, "CHASOUND.BIF\nCREATURE.BIF\nITEMS.BIF\nSPELLS.BIF\n") << list.err;
}

// Words that choose files (indexes, list texts, patterns), -C and --version, as a user types them.
struct WordsCase {
    const char* name;
    std::vector<std::string> args; // after --game; "@" stands for the second folder
    int status;
    std::string out;    // the whole standard output
    std::string errHas; // a part of the report, empty for none
    Stdout stdoutKind = Stdout::File;
};

void PrintTo(const WordsCase& c, std::ostream* os) {
    *os << c.name;
}

class CliWords : public ::testing::TestWithParam<WordsCase> {};

TEST_P(CliWords, ChooseEachFileOnceInListOrder) {
    const WordsCase& c = GetParam();
    Sandbox s;
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    BifBuilder items;
    const std::vector<std::pair<const char*, std::int16_t>> files = {
        {"SW1H01", 1005}, {"RING01", 1005}, {"BOOM", 4}, {"RING02", 1005}};
    for (std::size_t i = 0; i < files.size(); ++i) {
        key.addResource(files[i].first, files[i].second, static_cast<std::int16_t>(i), 240);
        items.add(files[i].second, std::string("ITM V1  ") + std::string(8, '\0'));
    }
    qm::build::writeFile(s.game() / "chitin.key", key.bytes());
    qm::build::writeFile(s.game() / "data" / "ITEMS.BIF", items.bytes());
    const fs::path second = s.root() / "second";
    fs::create_directories(second);

    std::vector<std::string> args = {"--game", s.game().string()};
    for (const std::string& arg : c.args)
        args.push_back(arg == "@"          ? second.string()
                       : arg == "@missing" ? (second / "missing").string()
                                           : arg);
    const FolderState gameBefore = folderState(s.game());
    const CliRun run = runCli(s.work(), args, {}, false, c.stdoutKind);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.out, c.out);
    if (c.errHas.empty()) {
        EXPECT_EQ(run.err, "");
    } else {
        EXPECT_NE(run.err.find(c.errHas), std::string::npos) << run.err;
    }
    EXPECT_EQ(folderState(s.game()), gameBefore);
    // A failed standard output stops the run after the file it could not name; other failures write
    // nothing.
    if (c.status != 0 && c.stdoutKind == Stdout::File) {
        EXPECT_TRUE(fs::is_empty(s.work())) << "nothing written";
        EXPECT_TRUE(fs::is_empty(second)) << "nothing written";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Words, CliWords,
    ::testing::Values(
        WordsCase{"Index", {"pick", "ITEMS.BIF", "3"}, 0, "WorkDir/RING02.ITM\n", ""},
        WordsCase{"ListTextAnyCase", {"pick", "items.bif", "sw1h01.itm"}, 0, "WorkDir/SW1H01.ITM\n", ""},
        WordsCase{"PatternInListOrder",
                  {"pick", "ITEMS.BIF", "ring*"},
                  0,
                  "WorkDir/RING01.ITM\nWorkDir/RING02.ITM\n",
                  ""},
        WordsCase{"OverlapsWrittenOnce",
                  {"pick", "ITEMS.BIF", "3", "*.ITM", "R?NG0[1-2].*"},
                  0,
                  "WorkDir/SW1H01.ITM\nWorkDir/RING01.ITM\nWorkDir/RING02.ITM\n",
                  ""},
        WordsCase{
            "NoMatchWritesNothing", {"pick", "ITEMS.BIF", "0", "NOPE*"}, 2, "", "no file matches NOPE*"},
        WordsCase{"IndexPastTheList", {"pick", "ITEMS.BIF", "4"}, 2, "", "no file matches 4"},
        WordsCase{"FilesFilterKeepsIndexes",
                  {"files", "ITEMS.BIF", "*.WAV"},
                  0,
                  "2\tBOOM.WAV\t116\t16\tSounds Files,\\nNot yet playable\t\n",
                  ""},
        WordsCase{
            "StartInAnotherFolder", {"-C", "@", "pick", "ITEMS.BIF", "0"}, 0, "WorkDir/SW1H01.ITM\n", ""},
        WordsCase{"StartInAMissingFolder",
                  {"-C", "@missing", "extract", "ITEMS.BIF"},
                  1,
                  "",
                  "error 76: Path not found"},
        WordsCase{"Version", {"--version"}, 0, "quillmere-cli " QUILLMERE_VERSION_TEXT "\n", ""},
        // Options anywhere among the words, "--" ending them, --help only on its own.
        WordsCase{
            "OptionsAfterTheCommand", {"pick", "ITEMS.BIF", "0", "-C", "@"}, 0, "WorkDir/SW1H01.ITM\n", ""},
        WordsCase{"DashWordIsAnOption", {"pick", "ITEMS.BIF", "-odd.ITM"}, 2, "", "unknown option -odd.ITM"},
        WordsCase{"DashWordAfterDashDash",
                  {"--", "pick", "ITEMS.BIF", "-odd.ITM"},
                  2,
                  "",
                  "no file matches -odd.ITM in ITEMS.BIF"},
        WordsCase{"HelpAmongTheWords", {"pick", "ITEMS.BIF", "--help"}, 2, "", "--help stands alone"},
        WordsCase{"EmptyGameFolder", {"--game", "", "list"}, 2, "", "--game needs a folder"},
        WordsCase{"OverlongWord", {"pick", "ITEMS.BIF", std::string(4097, '[')}, 2, "", "4096 bytes"},
        // Standard output that cannot be written is a failure, whatever the command.
        WordsCase{
            "ListToAFullDisk", {"list"}, 1, "", "error: standard output: No space left", Stdout::FullDisk},
        WordsCase{"VersionToAFullDisk", {"--version"}, 1, "", "standard output: No space", Stdout::FullDisk},
        WordsCase{"FilesToAClosedOutput",
                  {"files", "ITEMS.BIF"},
                  1,
                  "",
                  "standard output: Bad file descriptor",
                  Stdout::Closed},
        WordsCase{"PickToABrokenPipe",
                  {"pick", "ITEMS.BIF", "0", "1"},
                  1,
                  "",
                  "standard output: Broken pipe",
                  Stdout::BrokenPipe}),
    CaseName());

TEST(CliGuaranteesOutput, HostileNamesLandInsideTheFolderMadeSafe) {
    Sandbox s;
    s.writeHostileGame();
    EXPECT_EQ(s.runChecked({"list"}).out, kFourArchives);
    EXPECT_EQ(s.runChecked({"extract", "ITEMS.BIF"}).status, 0);
    std::set<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(s.work()))
        written.insert(fs::relative(entry.path(), s.work()).generic_string());
    EXPECT_EQ(written,
              (std::set<std::string>{"ITEMS", "ITEMS.log", "ITEMS/.._.._UP.ITM", "ITEMS/_etc_pw.ITM",
                                     "ITEMS/C__AUX.ITM", "ITEMS/___.ITM", "ITEMS/\xC3\xA9p\xC3\xA9.ITM"}));
    const CliRun files = s.runChecked({"files", "ITEMS.BIF"});
    EXPECT_EQ(files.status, 0);
    // Item names from the wild string table: string 0 is whole, the lengths after it run off the table.
    EXPECT_NE(files.out.find("\tItems Definitions files\tQuill\n"), std::string::npos) << files.out;
}

TEST(CliGuaranteesOutput, ItemNamesCannotForgeRowsOrReachTheTerminalRaw) {
    Sandbox s;
    s.writeHostileGame();
    TlkBuilder tlk;
    tlk.add("Quill\n999\tEVIL.ITM\t0\t0\tx\r\x1B[2J\\\x9D");
    qm::build::writeFile(s.game() / "Dialog.tlk", tlk.bytes());
    const CliRun files = s.runChecked({"files", "ITEMS.BIF"});
    EXPECT_EQ(files.status, 0);
    EXPECT_EQ(std::count(files.out.begin(), files.out.end(), '\n'), 5) << "one line per file: " << files.out;
    EXPECT_EQ(files.out.find('\x1B'), std::string::npos) << "no raw control code";
    // 0x9D is one of the code page's five undefined bytes: the C1 control U+009D.
    EXPECT_NE(files.out.find("\tQuill\\n999\\tEVIL.ITM\\t0\\t0\\tx\\r\\x1B[2J\\\\\\x9D\n"), std::string::npos)
        << files.out;
}

// Ctrl-C, SIGTERM or a closing terminal's SIGHUP during pick and extract: the file being written is
// finished or removed, never left half; every file written is printed (pick) or logged (extract); the
// status tells the signal.
TEST(CliGuaranteesOutput, AStopSignalLeavesExactlyTheWholeFilesItReported) {
    Sandbox s;
    qm::build::DemoOptions options;
    options.bulkArchive = "ITEMS";
    options.bulkFileCount = 20000;
    qm::build::writeDemoGame(s.game(), options);
    for (const auto& [signal, command] :
         {std::pair{SIGINT, std::vector<std::string>{"pick", "ITEMS.BIF", "*"}},
          std::pair{SIGTERM, std::vector<std::string>{"extract", "ITEMS.BIF"}},
          std::pair{SIGHUP, std::vector<std::string>{"extract", "ITEMS.BIF"}}}) {
        for (const auto& entry : fs::directory_iterator(s.work()))
            fs::remove_all(entry.path());
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        std::vector<std::string> argvText = {QUILLMERE_CLI, "--game", s.game().string(), "-C",
                                             s.work().string()};
        argvText.insert(argvText.end(), command.begin(), command.end());
        std::vector<char*> argv;
        for (std::string& arg : argvText)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            dup2(pipeFds[1], 1);
            close(pipeFds[0]);
            execv(argv[0], argv.data());
            _exit(121);
        }
        close(pipeFds[1]);
        // The first path printed, or the log begun, says the run is under way.
        std::string out;
        char buffer[4096];
        const fs::path log = s.work() / "ITEMS.log";
        if (signal == SIGINT) {
            const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
            ASSERT_GT(got, 0);
            out.assign(buffer, static_cast<std::size_t>(got));
        } else {
            while (!fs::exists(log) || fs::file_size(log) == 0)
                usleep(1000);
        }
        kill(child, signal);
        for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
            out.append(buffer, static_cast<std::size_t>(got));
        close(pipeFds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        const fs::path folder = s.work() / (signal == SIGINT ? "WorkDir" : "ITEMS");
        std::size_t files = 0;
        for (const auto& entry : fs::directory_iterator(folder)) {
            EXPECT_EQ(entry.path().string().find(".quillmere-part"), std::string::npos);
            ++files;
        }
        const std::string listed = signal == SIGINT ? out : readBytes(log);
        EXPECT_EQ(static_cast<std::size_t>(std::count(listed.begin(), listed.end(), '\n')), files);
        EXPECT_LT(files, 20000u) << "the run was stopped";
    }
}

TEST(CliGuaranteesOutput, AFileSizeLimitIsReportedAs61NotASignal) {
    Sandbox s;
    // The eighth file of each demo archive holds 131070 bytes.
    qm::build::writeDemoGame(s.game(), 8);
    const CliRun run = s.runChecked({"extract", "ITEMS.BIF"}, 100000);
    EXPECT_EQ(run.status, 1) << "status 128 + " << SIGXFSZ << " means the signal ended the program";
    EXPECT_NE(run.err.find("error 61: Disk full"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::exists(s.work() / "ITEMS.log"));
}

// `file`'s description of a file, as a user would check it.
std::string describedBy(const fs::path& path) {
    const std::string command = "file -b '" + path.string() + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string text;
    char buffer[256];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        text += buffer;
    if (pipe != nullptr)
        pclose(pipe);
    return text;
}

TEST(CliWav, SoundsBecomePcmFilesUnderTheSameNamesAndTheRestStaysAsStored) {
    Sandbox s;
    qm::build::writeDemoGame(s.game());
    const fs::path stored = s.work() / "stored";
    const fs::path playable = s.work() / "playable";
    fs::create_directories(stored);
    fs::create_directories(playable);
    const std::string game = s.game().string();
    const CliRun plain = runCli(stored, {"--game", game, "extract", "CHASOUND.BIF"});
    const CliRun wav = runCli(playable, {"extract", "CHASOUND.BIF", "--game", game, "--wav"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(wav.status, 0) << wav.err;
    EXPECT_EQ(readBytes(playable / "CHASOUND.log"), readBytes(stored / "CHASOUND.log"));
    int converted = 0, kept = 0;
    for (const auto& entry : fs::directory_iterator(stored / "CHASOUND")) {
        const std::string name = entry.path().filename().string();
        const std::string before = readBytes(entry.path());
        const std::string after = readBytes(playable / "CHASOUND" / name);
        try {
            const qm::Pcm expected = qm::decodeSound(before);
            const qm::Pcm written = qm::decodeSound(after);
            EXPECT_EQ(after.substr(0, 4), "RIFF") << name;
            EXPECT_EQ(written.samples, expected.samples) << name;
            EXPECT_EQ(written.channels, expected.channels) << name;
            EXPECT_NE(describedBy(playable / "CHASOUND" / name).find("WAVE audio, Microsoft PCM, 16 bit"),
                      std::string::npos)
                << name;
            ++converted;
        } catch (const qm::SoundError&) {
            EXPECT_EQ(after, before) << name;
            EXPECT_NE(wav.err.find(name), std::string::npos) << wav.err;
            ++kept;
        }
    }
    EXPECT_GT(converted, 0);
    EXPECT_GT(kept, 0) << "the demo's sounds too small for a tone stay as stored";
    EXPECT_TRUE(std::none_of(fs::directory_iterator(playable / "CHASOUND"), fs::directory_iterator(),
                             [](const auto& e) { return e.path().extension() == ".quillmere-part"; }));

    // pick prints the same paths; other commands and archives take no --wav.
    const CliRun picked = runCli(playable, {"--game", game, "pick", "--wav", "CHASOUND.BIF", "1"});
    EXPECT_EQ(picked.status, 0) << picked.err;
    EXPECT_EQ(picked.out.substr(0, 8), "WorkDir/");
    const CliRun files = runCli(playable, {"--game", game, "files", "--wav", "CHASOUND.BIF"});
    EXPECT_EQ(files.status, 2);
    EXPECT_NE(files.err.find("--wav goes with extract, pick and get only"), std::string::npos) << files.err;
}

// Without a decoder that loads, --wav fails before it writes anything and says why; nothing else asks for
// the decoder.
TEST(CliWav, WithoutTheDecoderFailsBeforeWritingAnything) {
    Sandbox s;
    qm::build::writeDemoGame(s.game());
    qm::build::writeFile(s.root() / "text.so", "no library\n");
    qm::test::ScopedEnv module("QUILLMERE_SOUND_MODULE");
    for (const fs::path& path : {s.root() / "missing.so", s.root() / "text.so"}) {
        module.set(path.string());
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"extract", "--wav", "CHASOUND.BIF"},
              std::vector<std::string>{"pick", "--wav", "CHASOUND.BIF", "1"}}) {
            const CliRun run = s.runChecked(command);
            EXPECT_EQ(run.status, 1) << run.err;
            EXPECT_NE(run.err.find("quillmere-cli: error: sound decoding is not available: " + path.string() +
                                   ": "),
                      std::string::npos)
                << run.err;
            EXPECT_TRUE(fs::is_empty(s.work()));
        }
    }
    EXPECT_EQ(s.runChecked({"extract", "CHASOUND.BIF"}).status, 0);
}

// A disk that fills while a sound is converted leaves its stored copy whole, and pick prints it.
TEST(CliWav, AFullDiskMidConversionLeavesTheStoredCopyPrinted) {
    Sandbox s;
    KeyBuilder key;
    key.addArchive("data\\CHASOUND.BIF");
    BifBuilder bif;
    const std::string sound = qm::build::wavcFile(qm::build::tone(1, 22050, 22050, 440.0), 1, 22050);
    key.addResource("HELLO", 4, 0, 1136);
    bif.add(4, sound);
    qm::build::writeFile(s.game() / "chitin.key", key.bytes());
    qm::build::writeFile(s.game() / "data" / "CHASOUND.BIF", bif.bytes());
    const rlim_t pcm = qm::wavFileSize(22050);
    ASSERT_LT(sound.size() + 1000, pcm);
    const CliRun run = s.runChecked({"pick", "--wav", "CHASOUND.BIF", "0"}, (sound.size() + pcm) / 2);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("error 61"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "WorkDir/HELLO.WAV\n");
    EXPECT_EQ(readBytes(s.work() / "WorkDir" / "HELLO.WAV"), sound);
}

} // namespace
