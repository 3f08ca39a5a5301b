#include "Command.h"
#include "Escape.h"
#include "FileError.h"
#include "GameFolder.h"
#include "GameLanguage.h"
#include "HostPath.h"
#include "Interrupt.h"
#include "Sound.h"
#include "Text.h"

#include <array>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using qm::cli::UsageError;

constexpr const char* kUsage =
    "usage: quillmere-cli [--game DIR] [--lang LOCALE] [-C DIR] (list | games | extract ARCHIVE | "
    "files ARCHIVE [WHAT...] | pick ARCHIVE WHAT... | archives | resources [WHAT...] | get WHAT...)";

constexpr const char* kHelp = R"(Lists and extracts the resource archives of a Baldur's Gate installation.

  list                  the supported archives of the game's catalogue, as the main window lists them
  extract ARCHIVE       every file of ARCHIVE into the folder named after it, with ARCHIVE.log, here
  files ARCHIVE [WHAT...]
                        one line per file: index, name, offset, size, type description, item name;
                        control codes and backslashes are escaped (\n, \t, \r, \\, \xNN), and the
                        bidirectional controls U+202A-U+202E and U+2066-U+2069 as \u202E
  pick ARCHIVE WHAT...  the chosen files into WorkDir, each once and in list order; prints each path
  games                 every folder where the game is looked for, in order, one per line: "*" on the
                        one used, the source, the folder, and whether it holds the catalogue chitin.key
  archives              every archive of chitin.key in its order, then each DLC's: index, name as the
                        catalogue stores it, resources, size, the file found (or "-"), the catalogue
  resources [WHAT...]   every resource once, as the game loads it (override/, then the DLC, then the
                        archives), sorted by name: name, type, size, source, archive
  get WHAT...           the copy the game loads of each matching resource into WorkDir; prints each path

ARCHIVE is a listed archive, or any archive of the catalogue by its file name (AR0010.BIF) or by its name
as `archives` shows it. WHAT is a 0-based index (files, pick), a name as listed (SW1H01.ITM) or a shell
pattern ('RING*', '*.WAV'; *, ? and [...]), letter case ignored; a WHAT that matches nothing is a usage
error.

  --game DIR            the game folder; without it the first of these whose folder holds chitin.key:
                        QUILLMERE_GAME_DIR (used as given); the registry value of the original game (on
                        Linux in the Wine prefix $WINEPREFIX or ~/.wine, then in the prefixes of Lutris,
                        Heroic, Bottles, PlayOnLinux and Steam's Proton); GOG's registry keys, in the same
                        places; Steam's libraries; ~/GOG Games/*/game; Beamdog's folder (Windows); the
                        current folder. When none holds it, the original's registry folder, else the
                        current folder
  --lang LOCALE         the Enhanced Edition's language (en_US, de_DE, ...): item names come from
                        lang/LOCALE/dialog.tlk. Without it QUILLMERE_LANG, then the game's own choice
                        in Baldur.lua, then lang_dir of weidu.conf, then en_US, then the first language
                        the game has. A Dialog.tlk in the game folder itself (the original) always wins
  -C DIR                run as if started in DIR: a relative --game and every output are taken from there
  --json                with list, files, games, archives and resources: a JSON array of objects
  --type EXT            with resources and get: only resources of that type (ITM, 2DA, ...)
  --all-copies          with resources: the hidden copies too, marked "hidden"
  --decrypt             with extract, pick and get: an encrypted text table (its first bytes FF FF) is
                        written as plain text; without it every file is written as stored
  --wav                 with extract, pick and get: each sound (.WAV) is written as a playable PCM RIFF
                        WAVE file, 16-bit, at its own rate and channels, instead of as stored (WAVC, ACM,
                        Ogg Vorbis); names and the log stay the same. A sound that cannot be decoded is
                        written as stored and named on stderr. The decoder is the module
                        quillmere-sound.so (quillmere-sound.dll), loaded only then: the file that
                        QUILLMERE_SOUND_MODULE names, else the one beside the program, else the
                        package's own in its library folder; without it --wav fails before writing
  --help, -h            this text
  --version             the program's name and version

Archives missing from the game folder are looked for in lang/LOCALE/, on its CD1 to CD6 folders and
where the CDn: aliases of Baldur.ini point. A DLC is a zip in dlc/ or in the game folder, or a folder
dlc/NAME/, that holds mod.key.

Exit status: 0 success, 1 failure, 2 usage error.
)";

// A WHAT longer than this is no name or pattern of a game file; a pattern's cost grows with its length.
constexpr std::size_t kMaxWordBytes = 4096;

// What each command takes: its words, the options that apply to it, whether it reads the game.
struct CommandEntry {
    std::string_view name;
    qm::cli::Command run;
    std::size_t minWords;
    std::size_t maxWords;
    bool readsGame;
    bool wav, json, decrypt, type, allCopies;
};
constexpr std::size_t kAny = SIZE_MAX;
constexpr std::array<CommandEntry, 8> kCommands = {{
    {"list", qm::cli::listCommand, 0, 0, true, false, true, false, false, false},
    {"games", qm::cli::gamesCommand, 0, 0, false, false, true, false, false, false},
    {"extract", qm::cli::extractCommand, 1, 1, true, true, false, true, false, false},
    {"files", qm::cli::filesCommand, 1, kAny, true, false, true, false, false, false},
    {"pick", qm::cli::pickCommand, 2, kAny, true, true, false, true, false, false},
    {"archives", qm::cli::archivesCommand, 0, 0, true, false, true, false, false, false},
    {"resources", qm::cli::resourcesCommand, 0, kAny, true, false, true, false, true, true},
    {"get", qm::cli::getCommand, 1, kAny, true, true, false, true, true, false},
}};

// The value of an option that takes one, as "--game DIR" or "--game=DIR"; empty values are usage errors.
std::string optionValue(const std::vector<std::string>& args, std::size_t& i, std::string_view name,
                        const char* needs) {
    std::string value;
    if (args[i] == name) {
        if (i + 1 >= args.size())
            throw UsageError{std::string(name) + " needs " + needs};
        value = args[++i];
    } else {
        value = args[i].substr(name.size() + 1);
    }
    if (value.empty())
        throw UsageError{std::string(name) + " needs " + needs + ", not an empty word"};
    return value;
}

bool isOption(const std::string& arg, std::string_view name) {
    return arg == name || (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=');
}

// -C: the rest of the run stands in `folder`, which must be one; a missing folder is 76.
void enterFolder(const std::string& folder) {
    const auto path = qm::hostPath(folder);
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec))
        throw qm::FileError(qm::PathNotFound, qm::displayPath(path));
    std::filesystem::current_path(path, ec);
    if (ec)
        throw qm::errorFromErrno(ec.value(), qm::displayPath(path));
}

int run(const std::vector<std::string>& args, qm::cli::Streams& streams, const qm::StopRequest& stop) {
    qm::cli::Request request;
    request.stop = &stop;
    std::optional<std::string> lang;
    std::optional<std::string> startIn;
    std::optional<std::string> alone; // --help or --version
    std::vector<std::string> rest;
    // Options may stand anywhere among the words; after "--" every word is one of the command's.
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!options || arg.size() < 2 || arg[0] != '-') {
            rest.push_back(arg);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "--help" || arg == "-h" || arg == "--version") {
            alone = arg;
        } else if (arg == "--wav") {
            request.wav = true;
        } else if (arg == "--json") {
            request.json = true;
        } else if (arg == "--decrypt") {
            request.decrypt = true;
        } else if (arg == "--all-copies") {
            request.allCopies = true;
        } else if (isOption(arg, "--type")) {
            request.type = optionValue(args, i, "--type", "a resource type, such as ITM");
        } else if (arg == "-C") {
            startIn = optionValue(args, i, "-C", "a folder");
        } else if (isOption(arg, "--game")) {
            request.gameOption = optionValue(args, i, "--game", "a folder");
        } else if (isOption(arg, "--lang")) {
            // "en_US/" names the folder en_US, and messages spell it so.
            lang = qm::withoutTrailingSeparators(optionValue(args, i, "--lang", "a language, such as en_US"));
            if (lang->empty())
                throw UsageError{"--lang needs a language, such as en_US"};
        } else {
            throw UsageError{"unknown option " + arg};
        }
    }
    if (alone) {
        if (!rest.empty())
            throw UsageError{*alone + " stands alone, without a command"};
        if (*alone == "--version")
            streams.out.write("quillmere-cli " QUILLMERE_VERSION_TEXT "\n");
        else
            streams.out.write(std::string(kUsage) + "\n\n" + kHelp);
        return 0;
    }
    if (rest.empty())
        throw UsageError{"no command given"};
    const std::string& name = rest[0];
    const CommandEntry* command = nullptr;
    for (const CommandEntry& entry : kCommands)
        if (entry.name == name)
            command = &entry;
    if (command == nullptr)
        throw UsageError{"unknown command " + name};
    // An option that the command does not take is named with the commands that do take it.
    const auto refuse = [command](bool asked, bool CommandEntry::*takes, const char* option) {
        if (!asked || command->*takes)
            return;
        std::vector<std::string_view> takers;
        for (const CommandEntry& entry : kCommands)
            if (entry.*takes)
                takers.push_back(entry.name);
        std::string list;
        for (std::size_t i = 0; i < takers.size(); ++i)
            list += std::string(i == 0                   ? ""
                                : i + 1 == takers.size() ? " and "
                                                         : ", ") +
                    std::string(takers[i]);
        throw UsageError{std::string(option) + " goes with " + list + " only"};
    };
    refuse(request.wav, &CommandEntry::wav, "--wav");
    refuse(request.json, &CommandEntry::json, "--json");
    refuse(request.decrypt, &CommandEntry::decrypt, "--decrypt");
    refuse(request.type.has_value(), &CommandEntry::type, "--type");
    refuse(request.allCopies, &CommandEntry::allCopies, "--all-copies");
    request.words.assign(rest.begin() + 1, rest.end());
    if (request.words.size() < command->minWords || request.words.size() > command->maxWords)
        throw UsageError{"wrong arguments for " + name};
    for (const std::string& word : request.words)
        if (word.size() > kMaxWordBytes)
            throw UsageError{"a WHAT of more than " + std::to_string(kMaxWordBytes) + " bytes names no file"};
    if (startIn)
        enterFolder(*startIn);
    if (command->readsGame) {
        const std::string BGpath =
            request.gameOption ? qm::withFolderSeparator(*request.gameOption) : qm::discoverGameFolder();
        qm::cli::requireCatalogue(BGpath, streams.err);
        request.game = {BGpath, qm::gameLanguage(BGpath, lang)};
        if (lang && !request.game.lang.empty() && !qm::equalsIgnoreCase(*lang, request.game.lang))
            streams.err << "quillmere-cli: warning: the game has no lang/" << qm::cli::escapeField(*lang)
                        << "/dialog.tlk; the names come from lang/" << qm::cli::escapeField(request.game.lang)
                        << "/dialog.tlk\n";
    }
    return command->run(request, streams);
}

// Only the signal handler reaches these two without an argument: the run is handed the request.
volatile std::sig_atomic_t stopSignal = 0;
qm::StopRequest signalStop;

extern "C" void onStopSignal(int signal) {
    stopSignal = signal;
    signalStop.request();
}

// Ctrl-C, SIGTERM and a closing terminal (SIGHUP) stop the run before the next chunk of data: the file
// being written is removed, the log holds whole lines, and the exit status is 128 + the signal. A second
// one ends the program at once.
void stopOnSignals() {
#ifdef _WIN32
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#else
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
#endif
}

int interruptedStatus() {
    std::cerr << "quillmere-cli: interrupted\n";
    return 128 + static_cast<int>(stopSignal);
}

} // namespace

int main(int argc, char** argv) {
#ifdef SIGXFSZ
    // A file-size limit then fails the write (error 61) instead of ending the program.
    signal(SIGXFSZ, SIG_IGN);
#endif
    stopOnSignals();
    qm::watchForStop(&signalStop);
    qm::cli::Output& output = qm::cli::Output::standard();
    qm::cli::Streams streams{output, std::cerr};
    int status = 0;
    try {
        status = run(std::vector<std::string>(argv + 1, argv + argc), streams, signalStop);
        output.check();
        if (signalStop.requested())
            return interruptedStatus();
    } catch (const qm::Interrupted&) {
        output.flush();
        return interruptedStatus();
    } catch (const UsageError& e) {
        std::cerr << "quillmere-cli: " << qm::cli::escapeField(e.message) << '\n' << kUsage << '\n';
        return 2;
    } catch (const qm::SoundUnavailable& e) {
        output.flush();
        std::cerr << "quillmere-cli: error: " << qm::cli::escapeField(e.what()) << '\n';
        return 1;
    } catch (const qm::cli::Output::Failed&) {
        std::cerr << "quillmere-cli: error: standard output: " << output.reason() << '\n';
        return 1;
    } catch (const qm::FileError& e) {
        output.flush();
        // Paths can hold anything a registry value or a file name held: no raw control byte reaches the
        // terminal.
        std::cerr << "quillmere-cli: error " << e.number() << ": " << qm::cli::escapeField(e.description());
        if (!e.path().empty())
            std::cerr << " (" << qm::cli::escapeField(e.path()) << ")";
        std::cerr << '\n';
        return 1;
    }
    return status;
}
