// The commands of quillmere-cli run in process, their output captured; the exit status, signals and
// standard output's failures are test_guarantees' (the program as a child process).
#include "Command.h"
#include "FileError.h"
#include "FreeSpace.h"
#include "GameBuilder.h"
#include "Sound.h"
#include "SoundBuilder.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace fs = std::filesystem;
using qm::test::CaseName;
using qm::test::CurrentDir;
using qm::test::TempDir;

namespace {

struct Ran {
    int status = 0;
    int error = 0; // the FileError that ended the command, as the program reports it with status 1
    std::string message;
    std::string out;
    std::string err;
};

// The Enhanced Edition's demo, written once for the suite: override/, the DLC zip and archives beyond the
// four listed ones.
class CliCommands : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_game = new TempDir();
        qm::build::DemoOptions options;
        options.layout = qm::build::DemoLayout::Ee;
        options.stringCount = 34000;
        qm::build::writeDemoGame(s_game->path(), options);
    }
    static void TearDownTestSuite() {
        delete s_game;
        s_game = nullptr;
    }

    Ran run(qm::cli::Command command, qm::cli::Request request, const std::string& game = {}) {
        request.game = {game.empty() ? s_game->prefix() : game, "en_US"};
        Ran ran;
        std::ostringstream err;
        qm::cli::Output out(ran.out);
        qm::cli::Streams streams{out, err};
        const CurrentDir here(m_work.path());
        try {
            ran.status = command(request, streams);
        } catch (const qm::FileError& e) {
            ran.status = 1;
            ran.error = e.number();
            ran.message = e.description();
        }
        ran.err = err.str();
        return ran;
    }
    // Runs `python3 -c script` on the text, which the script reads from the file named by argv[1].
    static int python(const std::string& script, const std::string& text, const TempDir& where) {
        const fs::path input = where / "input.json";
        qm::test::writeBytes(input, text);
        const fs::path code = where / "check.py";
        qm::test::writeBytes(code, script);
        const std::string command = "python3 '" + code.string() + "' '" + input.string() + "'";
        return std::system(command.c_str());
    }
    static bool hasPython() { return std::system("python3 -c '' 2>/dev/null") == 0; }

    static TempDir* s_game;
    TempDir m_work;
};

TempDir* CliCommands::s_game = nullptr;

qm::cli::Request words(std::vector<std::string> w) {
    qm::cli::Request request;
    request.words = std::move(w);
    return request;
}

TEST_F(CliCommands, JsonParsesWithPythonAndHoldsTheKeys) {
    if (!hasPython())
        GTEST_SKIP() << "python3 is not installed";
    struct Listing {
        const char* name;
        qm::cli::Command command;
        qm::cli::Request request;
        const char* keys;
    };
    qm::cli::Request json;
    json.json = true;
    qm::cli::Request files = words({"ITEMS.BIF"});
    files.json = true;
    const Listing listings[] = {
        {"list", qm::cli::listCommand, json, "name"},
        {"files", qm::cli::filesCommand, files, "index name offset size type description item"},
        {"archives", qm::cli::archivesCommand, json, "index name resources size path catalogue"},
        {"resources", qm::cli::resourcesCommand, json, "name type size source archive"},
    };
    for (const Listing& listing : listings) {
        SCOPED_TRACE(listing.name);
        const Ran ran = run(listing.command, listing.request);
        ASSERT_EQ(ran.status, 0);
        const std::string script = "import json, sys\n"
                                   "rows = json.load(open(sys.argv[1], encoding='utf-8'))\n"
                                   "keys = set('" +
                                   std::string(listing.keys) +
                                   "'.split())\n"
                                   "assert isinstance(rows, list) and rows, rows\n"
                                   "for row in rows:\n"
                                   "    assert keys <= set(row), (keys, row)\n";
        EXPECT_EQ(python(script, ran.out, m_work), 0) << ran.out.substr(0, 400);
    }
}

// --wav counts each sound at the PCM size its header declares: a sound of a few kB that declares two
// megabytes does not fit where its stored bytes would, and the run writes nothing.
TEST_F(CliCommands, WavCountsTheDeclaredSizeOfEachSoundBeforeWritingAnything) {
    try {
        qm::requireSoundDecoder();
    } catch (const qm::SoundUnavailable& e) {
        GTEST_SKIP() << e.what(); // the Windows build has no decoder module yet
    }
    const TempDir game;
    qm::build::KeyBuilder key;
    key.addArchive("data\\CHASOUND.BIF");
    qm::build::BifBuilder bif;
    std::string loud = qm::build::wavcFile(qm::build::tone(1, 22050, 1800, 440.0), 1, 22050);
    qm::build::storeU32(loud, 28 + 4, 1000000); // the ACM header's sample count
    key.addResource("LOUD", 4, 0, 0); // the archive's own position, which the whole game's layers read
    bif.add(4, loud);
    qm::build::writeFile(game / "chitin.key", key.bytes());
    qm::build::writeFile(game / "data" / "CHASOUND.BIF", bif.bytes());
    struct FreeSpaceOf {
        qm::FreeSpaceQuery host = qm::replaceFreeSpaceQuery([](const fs::path&) { return 1000000; });
        ~FreeSpaceOf() { qm::replaceFreeSpaceQuery(std::move(host)); }
    } const free;
    struct Row {
        const char* name;
        qm::cli::Command command;
        std::vector<std::string> words;
    };
    for (const Row& row : {Row{"extract", qm::cli::extractCommand, {"CHASOUND.BIF"}},
                           Row{"pick", qm::cli::pickCommand, {"CHASOUND.BIF", "0"}},
                           Row{"get", qm::cli::getCommand, {"LOUD.WAV"}}}) {
        SCOPED_TRACE(row.name);
        qm::cli::Request request = words(row.words);
        request.wav = true;
        const Ran wav = run(row.command, request, game.prefix());
        EXPECT_EQ(wav.error, qm::DiskFull) << wav.message;
        EXPECT_NE(wav.message.find("needs 2.0 MB"), std::string::npos) << wav.message;
        EXPECT_TRUE(fs::is_empty(m_work.path()));
        request.wav = false;
        EXPECT_EQ(run(row.command, request, game.prefix()).status, 0) << "the stored bytes fit";
        for (const auto& entry : fs::directory_iterator(m_work.path()))
            fs::remove_all(entry.path());
    }
}

TEST_F(CliCommands, GetWritesTheCopyTheGameLoadsByteForByte) {
    if (!hasPython())
        GTEST_SKIP() << "python3 is not installed";
    // The demo's catalogue names archives that are not on disk: their resources are the run's failure,
    // named once every other resource is written.
    const Ran ran = run(qm::cli::getCommand, words({"*"}));
    EXPECT_EQ(ran.error, qm::FileNotFound);
    EXPECT_NE(ran.message.find("data/DURYGO.BIF"), std::string::npos) << ran.message;
    EXPECT_NE(ran.out.find("WorkDir/"), std::string::npos);
    // A reader of its own, struct and zipfile: the layers, the catalogues and the archives' tables.
    const std::string command = "python3 '" QUILLMERE_TEST_SOURCE_DIR "/independent_reader.py' '" +
                                s_game->path().string() + "' en_US '" + (m_work / "WorkDir").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

struct UsageCase {
    std::string name;
    qm::cli::Command command;
    std::vector<std::string> words;
    std::string type;
};

class CliUsage : public CliCommands, public ::testing::WithParamInterface<UsageCase> {};

// A WHAT that matches nothing is a usage error, and nothing is written.
TEST_P(CliUsage, NamesWhatMatchesNothing) {
    const UsageCase& c = GetParam();
    qm::cli::Request request = words(c.words);
    if (!c.type.empty())
        request.type = c.type;
    EXPECT_THROW(run(c.command, request), qm::cli::UsageError);
    EXPECT_FALSE(fs::exists(m_work / "WorkDir"));
}

INSTANTIATE_TEST_SUITE_P(
    Words, CliUsage,
    ::testing::Values(UsageCase{"GetUnknownName", qm::cli::getCommand, {"NOSUCH.ITM"}, ""},
                      UsageCase{"GetPatternOfAnotherType", qm::cli::getCommand, {"*"}, "QQQ"},
                      UsageCase{"ResourcesUnknownPattern", qm::cli::resourcesCommand, {"ZZZZZZZZ*"}, ""},
                      UsageCase{
                          "FilesOfAnArchiveNotInTheCatalogue", qm::cli::filesCommand, {"NOSUCH.BIF"}, ""}),
    CaseName());

} // namespace
