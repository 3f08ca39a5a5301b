#pragma once

#include "Output.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace qm {
class ByteReader;
struct SelectionState;
struct GameResource;
class StopRequest;
class GameResources;
} // namespace qm

namespace qm::cli {

// A command line that cannot be carried out as written: exit status 2 with the usage line.
struct UsageError {
    std::string message;
};

// The game folder and its language, found once for the run.
struct Game {
    std::string BGpath; // with its trailing separator, or empty for the current folder
    std::string lang;
};

// What one run asks of a command: the options parsed, the command's own words.
struct Request {
    Game game;
    std::optional<std::string> gameOption; // --game as given (games lists the sources)
    std::vector<std::string> words;        // after the command's name
    bool wav = false;
    bool json = false;
    bool decrypt = false;
    bool allCopies = false;
    std::optional<std::string> type;   // --type EXT
    const StopRequest* stop = nullptr; // set by the signal handler; extraction looks at it between chunks
};

// Where a command writes: its results to `out`, warnings to `err`.
struct Streams {
    Output& out;
    std::ostream& err;
};

using Command = int (*)(const Request&, Streams&);

int listCommand(const Request& request, Streams& streams);
int gamesCommand(const Request& request, Streams& streams);
int extractCommand(const Request& request, Streams& streams);
int filesCommand(const Request& request, Streams& streams);
int pickCommand(const Request& request, Streams& streams);
int archivesCommand(const Request& request, Streams& streams);
int resourcesCommand(const Request& request, Streams& streams);
int getCommand(const Request& request, Streams& streams);

// The selection of ARCHIVE: one of the listed archives by its list text, else any archive of the
// catalogue by its file name (AR0010.BIF) or by its name as `archives` shows it (data/AR0010.BIF), letter
// case ignored. A name the game lacks is a usage error.
SelectionState chooseArchive(const Game& game, const std::string& archive);

// The game's catalogue must be there for every command that reads it: a missing one is 53, one cut inside
// its header 62. Tables cut short are reported on `err`, and the run goes on with what they hold.
void requireCatalogue(const std::string& BGpath, std::ostream& err);

// What turns each written output (its game-style path) into the form the options ask for: decrypted text
// tables, PCM sounds. Empty when nothing is asked. A file that cannot be converted stays as written and is
// named on `err`. With --wav the sound decoder is loaded here, before anything is written: without one the
// run fails with SoundUnavailable.
std::function<void(const std::string&)> outputConverter(const Request& request, std::ostream& err);

// One output as stored: its data in an open archive (0-based offset) and its file name.
struct StoredOutput {
    ByteReader* archive = nullptr;
    std::int64_t offset = 0;
    std::int64_t size = 0;
    std::string name;
};

// With --wav, before anything is written: fails with 61 when the outputs do not fit in the free space of
// `folder` (a game-style path) with each sound counted at the size of the PCM file its header declares
// (within five minutes), plus `otherBytes` (a log). Does nothing without --wav, where extraction's own check
// of the stored sizes holds.
void requireWavSpace(const Request& request, const std::string& folder,
                     const std::vector<StoredOutput>& outputs, std::int64_t otherBytes);

class ProgressBar;

// An output of pick or get once it is whole: converted by `convert` (when set), then its path printed,
// then a stop asked for meanwhile taken. A conversion that fails (a full disk) leaves the stored copy
// whole: its path is printed before the failure goes on.
void printWritten(const std::function<void(const std::string&)>& convert, const std::string& gamePath,
                  const std::filesystem::path& path, ProgressBar& bar, Streams& streams);

// Warnings of the game's layers, one line each on `err`.
std::function<void(const std::string&)> warnings(std::ostream& err);

// What the request's words and --type accept, to read no more of the game than they name; empty when they
// accept everything.
std::function<bool(const std::string& resRef, std::uint16_t type)> wantedBy(const Request& request);

// The resources the request's words and --type name, in name order; a word that names nothing is a usage
// error.
std::vector<GameResource> chosenResources(const GameResources& game, const Request& request, bool allCopies);

// Redraws a bar on stderr when it is a terminal; quiet otherwise.
class ProgressBar {
public:
    ProgressBar();
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    void set(float percent);
    void finish();

private:
    bool m_enabled;
    bool m_drawn = false;
    int m_last = -1;
};

} // namespace qm::cli
