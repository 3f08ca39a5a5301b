#include "ArchiveLocation.h"
#include "ByteReader.h"
#include "Catalogue.h"
#include "Extract.h"
#include "FileError.h"
#include "GameFolder.h"
#include "GameLanguage.h"
#include "HostPath.h"
#include "Interrupt.h"
#include "Selection.h"
#include "Text.h"
#ifdef QUILLMERE_HAVE_SOUND
#include "Sound.h"
#endif

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr const char* kUsage =
    "usage: quillmere-cli [--game DIR] [--lang LOCALE] [-C DIR] (list | extract [--wav] ARCHIVE | "
    "files ARCHIVE [WHAT...] | pick [--wav] ARCHIVE WHAT... | games)";

constexpr const char* kHelp = R"(Lists and extracts the resource archives of a Baldur's Gate installation.

  list                  the supported archives of the game's catalogue, as the main window lists them
  extract ARCHIVE       every file of ARCHIVE into the folder named after it, with ARCHIVE.log, here
  files ARCHIVE [WHAT...]
                        one line per file: index, name, offset, size, type description, item name;
                        control codes and backslashes are escaped (\n, \t, \r, \\, \xNN)
  pick ARCHIVE WHAT...  the chosen files into WorkDir, each once and in list order; prints each path
  games                 every folder where the game is looked for, in order, one per line: "*" on the
                        one used, the source, the folder, and whether it holds the catalogue chitin.key

WHAT is a 0-based index, a file's name as listed (SW1H01.ITM) or a shell pattern ('RING*', '*.WAV';
*, ? and [...]), letter case ignored; a WHAT that matches nothing is a usage error.

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
  --wav                 with extract and pick: each sound (.WAV) is written as a playable PCM RIFF WAVE
                        file, 16-bit, at its own rate and channels, instead of as stored (WAVC, ACM,
                        Ogg Vorbis); names and the log stay the same. A sound that cannot be decoded is
                        written as stored and named on stderr
  --help, -h            this text
  --version             the program's name and version

Archives missing from the game folder are looked for in lang/LOCALE/, on its CD1 to CD6 folders and
where the CDn: aliases of Baldur.ini point.

Exit status: 0 success, 1 failure, 2 usage error.
)";

#ifdef QUILLMERE_HAVE_SOUND
constexpr const char* kBuildNote = "";
#else
constexpr const char* kBuildNote = "\n--wav is not available in this build: it has no sound decoder.\n";
#endif

struct UsageError {
    std::string message;
};

// A WHAT longer than this is no name or pattern of a game file; a pattern's cost grows with its length.
constexpr std::size_t kMaxWordBytes = 4096;

// Standard output, checked: a write or flush that fails is remembered, the run stops at the next check,
// and the program reports it instead of success. A closed standard output fails every write; its
// descriptor is taken by /dev/null so that no file the program opens lands on it.
class StandardOutput {
public:
    struct Failed {};

    StandardOutput() {
#ifndef _WIN32
        if (fcntl(1, F_GETFD) == -1 && errno == EBADF) {
            m_error = EBADF;
            const int null = open("/dev/null", O_WRONLY);
            if (null >= 0 && null != 1)
                close(null);
        }
#endif
    }
    void write(std::string_view text) {
        if (m_error == 0 && !text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
            m_error = errno != 0 ? errno : EIO;
    }
    void flush() {
        if (m_error == 0 && std::fflush(stdout) != 0)
            m_error = errno != 0 ? errno : EIO;
    }
    // Flushes and throws Failed when anything failed.
    void check() {
        flush();
        if (m_error != 0)
            throw Failed{};
    }
    std::string reason() const {
        return std::strerror(m_error);
    }

private:
    int m_error = 0;
};

StandardOutput& standardOutput() {
    static StandardOutput output;
    return output;
}

// Game text is Windows-1252; the terminal gets UTF-8.
std::string out(const std::string& gameText) {
    return qm::cp1252ToUtf8(gameText);
}

// Redraws a bar on stderr when it is a terminal; quiet otherwise.
class ProgressBar {
public:
    ProgressBar() : m_enabled(isatty(fileno(stderr)) != 0) {}
    ~ProgressBar() { finish(); }
    void set(float percent) {
        if (!m_enabled)
            return;
        const int whole = std::clamp(static_cast<int>(percent), 0, 100);
        if (whole == m_last)
            return;
        m_last = whole;
        const int filled = whole * 30 / 100;
        std::fprintf(stderr, "\r[%.*s%.*s] %3d%%", filled, "##############################", 30 - filled,
                     "                              ", whole);
        std::fflush(stderr);
        m_drawn = true;
    }
    void finish() {
        if (m_drawn)
            std::fprintf(stderr, "\r%42s\r", "");
        m_drawn = false;
    }

private:
    bool m_enabled;
    bool m_drawn = false;
    int m_last = -1;
};

// The game folder and its language, found once for the run.
struct Game {
    std::string BGpath;
    std::string lang;
};

// The list's own spelling of ARCHIVE, matched with letter case ignored.
qm::SelectionState chooseArchive(const Game& game, const std::string& archive) {
    auto names = qm::listbifs(game.BGpath);
    qm::sortArchiveNames(names);
    const std::string wanted = qm::utf8ToCp1252(archive);
    for (const auto& name : names)
        if (qm::equalsIgnoreCase(name, wanted))
            return qm::selectArchive(game.BGpath, name, game.lang);
    throw UsageError{"archive not in the list: " + archive};
}

// One file is one line of `files`, whatever its texts hold: a description's CR LF line break is "\n",
// and every other control code (C0, DEL and C1) and the backslash are escaped ("\n", "\r", "\t", "\\",
// "\xNN"), as is every byte that is not part of valid UTF-8, so no name from the game can start a line or
// a column of its own, or reach the terminal raw. `text` is UTF-8.
std::string escapeField(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    const auto hex = [&result](unsigned value) {
        char digits[5];
        std::snprintf(digits, sizeof digits, "\\x%02X", value);
        result += digits;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            result += "\\n";
            ++i;
        } else if (c == '\n') {
            result += "\\n";
        } else if (c == '\r') {
            result += "\\r";
        } else if (c == '\t') {
            result += "\\t";
        } else if (c == '\\') {
            result += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            hex(c);
        } else if (c < 0x80) {
            result += static_cast<char>(c);
        } else {
            const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (length == 1 || i + length > text.size() || !qm::isValidUtf8(text.substr(i, length))) {
                hex(c);
            } else if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
                hex(static_cast<unsigned char>(text[i + 1])); // U+0080 to U+009F, the C1 controls
                ++i;
            } else {
                result.append(text.substr(i, length));
                i += length - 1;
            }
        }
    }
    return result;
}

// The set of a bracket expression at the start of `p` ("[...]", "!" or "^" first negates; ranges a-z):
// whether `c` is in it, and where the expression ends. An unclosed "[" is an ordinary character.
bool inBracket(std::string_view p, char c, std::size_t& length) {
    std::size_t i = 1;
    const bool negated = i < p.size() && (p[i] == '!' || p[i] == '^');
    if (negated)
        ++i;
    bool matched = false;
    const std::size_t first = i;
    for (; i < p.size() && (p[i] != ']' || i == first); ++i) {
        if (i + 2 < p.size() && p[i + 1] == '-' && p[i + 2] != ']') {
            matched = matched || (qm::upperAscii(p[i]) <= qm::upperAscii(c) &&
                                  qm::upperAscii(c) <= qm::upperAscii(p[i + 2]));
            i += 2;
        } else {
            matched = matched || qm::upperAscii(p[i]) == qm::upperAscii(c);
        }
    }
    if (i >= p.size()) {
        length = 0;
        return false;
    }
    length = i + 1;
    return matched != negated;
}

// Shell-style matching with letter case ignored: "*" any run, "?" any one character, "[...]" a set.
bool matchesPattern(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0;
    std::size_t starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
            continue;
        }
        if (p < pattern.size()) {
            std::size_t length = 1;
            bool step = false;
            if (pattern[p] == '[') {
                step = inBracket(pattern.substr(p), text[t], length);
                if (length == 0) {
                    length = 1;
                    step = text[t] == '[';
                }
            } else {
                step = pattern[p] == '?' || qm::upperAscii(pattern[p]) == qm::upperAscii(text[t]);
            }
            if (step) {
                p += length;
                ++t;
                continue;
            }
        }
        if (starP == std::string_view::npos)
            return false;
        p = starP + 1;
        t = ++starT;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// The entries that the words name, in list order, or every entry when there are no words: a word is a
// 0-based index, or a list text or pattern matched against every list text. A word that names nothing is
// a usage error.
std::vector<std::size_t> chosenEntries(const qm::ArchiveListing& listing,
                                       const std::vector<std::string>& words, const std::string& archive) {
    std::vector<bool> chosen(listing.files.size(), words.empty());
    for (const auto& word : words) {
        bool any = false;
        std::size_t index = 0;
        const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), index);
        if (!word.empty() && ec == std::errc() && end == word.data() + word.size()) {
            any = index < listing.files.size();
            if (any)
                chosen[index] = true;
        } else {
            const std::string pattern = qm::utf8ToCp1252(word);
            for (std::size_t i = 0; i < listing.files.size(); ++i)
                if (matchesPattern(pattern, listing.files[i].text)) {
                    chosen[i] = true;
                    any = true;
                }
        }
        if (!any)
            throw UsageError{"no file matches " + word + " in " + archive};
    }
    std::vector<std::size_t> entries;
    for (std::size_t i = 0; i < chosen.size(); ++i)
        if (chosen[i])
            entries.push_back(i);
    return entries;
}

int runList(const std::string& BGpath) {
    auto names = qm::listbifs(BGpath);
    qm::sortArchiveNames(names);
    for (const auto& name : names)
        standardOutput().write(escapeField(out(name)) + '\n');
    return 0;
}

// Every folder discovery looks at, so a user can see why it chose the one it uses. Folders are host text
// (the code page on Windows) with control codes and backslashes escaped as `files` escapes names; "." is
// the current folder.
int runGames(const std::optional<std::string>& game) {
    const std::vector<qm::GameCandidate> candidates = qm::gameFolderCandidates(game);
    const std::size_t chosen = qm::chosenCandidate(candidates);
    const auto text = [](const std::string& hostText) {
#ifdef _WIN32
        return escapeField(out(hostText));
#else
        return escapeField(hostText);
#endif
    };
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const qm::GameCandidate& c = candidates[i];
        std::string row = i == chosen ? "*\t" : "\t";
        row += text(c.source);
        row += '\t';
        row += c.folder.empty() ? std::string(".") : text(c.folder);
        row += c.hasCatalogue ? "\tcatalogue\n" : "\tno catalogue\n";
        standardOutput().write(row);
    }
    return 0;
}

#ifdef QUILLMERE_HAVE_SOUND
// --wav: a sound output, once whole, is replaced by its PCM form, written beside it and renamed over it
// as the extraction writes its own files. A sound that does not decode stays as stored and is named on
// stderr; a failure to write the PCM file is the run's failure.
constexpr std::uintmax_t kMaxSoundFileBytes = 64u << 20;

void writeNewFile(const std::filesystem::path& path, const std::string& bytes) {
#ifdef _WIN32
    std::FILE* file = _wfopen(path.c_str(), L"wbx");
#else
    // Never through a link that stands at the name: the name is new or the open fails.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    std::FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (fd >= 0 && file == nullptr)
        close(fd);
#endif
    if (file == nullptr)
        throw qm::errorFromErrno(errno, qm::displayPath(path));
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int err = errno;
    if (std::fclose(file) != 0 || !written)
        throw qm::errorFromErrno(written ? errno : err, qm::displayPath(path));
}

void convertSound(const std::string& gamePath) {
    if (gamePath.size() < 4 || qm::asciiUpper(gamePath.substr(gamePath.size() - 4)) != ".WAV")
        return;
    const std::filesystem::path path = qm::hostPath(gamePath, qm::PathText::GameOnly);
    const auto keep = [&path](const std::string& why) {
        std::cerr << "quillmere-cli: warning: " << escapeField(qm::displayPath(path))
                  << ": not a sound this program decodes (" << escapeField(why) << "); written as stored\n";
    };
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxSoundFileBytes)
        return keep(ec ? ec.message() : "larger than any sound");
    std::ifstream in(path, std::ios::binary);
    const std::string stored{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof())
        throw qm::FileError(qm::PathFileAccessError, qm::displayPath(path));
    std::string pcm;
    try {
        pcm = qm::wavFile(qm::decodeSound(stored));
    } catch (const qm::SoundError& e) {
        return keep(e.what());
    }
    std::filesystem::path part = path;
    part += ".quillmere-part";
    std::filesystem::remove(part, ec);
    try {
        writeNewFile(part, pcm);
        std::filesystem::rename(part, path);
    } catch (const std::filesystem::filesystem_error& e) {
        std::filesystem::remove(part, ec);
        throw qm::errorFromErrno(e.code().value(), qm::displayPath(path));
    } catch (...) {
        std::filesystem::remove(part, ec);
        throw;
    }
}
#endif

// The function that turns each written output into its playable form, or none without --wav.
std::function<void(const std::string&)> outputConverter(bool wav) {
#ifdef QUILLMERE_HAVE_SOUND
    if (wav)
        return convertSound;
#endif
    (void)wav;
    return {};
}

int runExtract(const Game& game, const std::string& archive, bool wav) {
    const qm::SelectionState selection = chooseArchive(game, archive);
    ProgressBar bar;
    qm::ExtractCallbacks callbacks;
    callbacks.progress = [&bar](float value) { bar.set(value); };
    // A stop asked for meanwhile takes effect once the file being written is whole.
    callbacks.written = [convert = outputConverter(wav)](const std::string& path) {
        if (convert)
            convert(path);
        qm::stopIfRequested();
    };
    qm::extractArchive(selection, callbacks);
    return 0;
}

int runFiles(const Game& game, const std::string& archive, const std::vector<std::string>& words) {
    const qm::SelectionState selection = chooseArchive(game, archive);
    const qm::ArchiveListing listing = qm::listArchive(selection, {});
    const std::vector<std::size_t> shown = chosenEntries(listing, words, archive);
    const bool items = qm::asciiUpper(selection.targetfile) == "ITEMS";
    std::optional<qm::ByteReader> bif;
    std::optional<qm::StringTable> strings;
    if (items) {
        bif.emplace(qm::locateArchive(selection), qm::ByteReader::kRandomAccessBuffer);
        strings.emplace(game.BGpath, game.lang);
    }
    std::string line;
    for (const std::size_t i : shown) {
        const qm::ListedFile& file = listing.files[i];
        std::string name;
        if (items)
            name = strings->text(qm::readEntryDetails(*bif, static_cast<int>(i)).nameIndex);
        line.clear();
        line += std::to_string(i) + '\t' + escapeField(out(file.text)) + '\t' +
                std::to_string(file.dataOffset) + '\t' + std::to_string(file.dataSize) + '\t' +
                escapeField(qm::describeEnding(file.text)) + '\t' + escapeField(name) + '\n';
        standardOutput().write(line);
    }
    return 0;
}

int runPick(const Game& game, const std::string& archive, const std::vector<std::string>& words, bool wav) {
    const qm::SelectionState selection = chooseArchive(game, archive);
    const qm::ArchiveListing listing = qm::listArchive(selection, {});
    std::set<int> picked;
    for (const std::size_t i : chosenEntries(listing, words, archive))
        picked.insert(static_cast<int>(i));
    std::vector<std::string> texts;
    texts.reserve(listing.files.size());
    for (const auto& file : listing.files)
        texts.push_back(file.text);
    ProgressBar bar;
    qm::PickCallbacks callbacks;
    callbacks.isChecked = [&picked](int i) { return picked.count(i) != 0; };
    callbacks.uncheck = [&picked](int i) { picked.erase(i); };
    callbacks.progress = [&bar](float value) { bar.set(value); };
    // Each path is printed as soon as its file is whole, so an interrupted run has printed exactly the
    // files it wrote; a path that cannot be printed stops the run.
    const auto convert = outputConverter(wav);
    callbacks.written = [&bar, &convert](const std::string& gamePath, const std::filesystem::path& path) {
        if (convert)
            convert(gamePath);
        bar.finish();
        standardOutput().write(escapeField(qm::displayPath(path.generic_string())) + '\n');
        standardOutput().check();
        qm::stopIfRequested();
    };
    qm::extractSelected(selection, texts, callbacks);
    return 0;
}

// The game's catalogue must be there for every command that reads it: a missing one is 53, one cut
// inside its header 62. Tables cut short are reported, and the run goes on with what they hold.
void requireCatalogue(const std::string& BGpath) {
    const qm::CatalogueShape shape = qm::inspectCatalogue(BGpath);
    const std::string folder = qm::displayPath(qm::hostPath(BGpath.empty() ? "." : BGpath));
    if (!shape.found)
        throw qm::FileError(qm::FileNotFound, "no chitin.key in " + folder, "");
    const std::string key = qm::displayPath(qm::hostPath(BGpath + "chitin.key"));
    if (!shape.headerWhole)
        throw qm::FileError(qm::InputPastEndOfFile, "the catalogue ends inside its header", key);
    const auto warn = [&key](const char* table, std::uint64_t held, std::uint32_t count) {
        std::cerr << "quillmere-cli: warning: " << escapeField(key) << ": the " << table << " holds " << held
                  << " of its " << count << " entries; the rest of the file is missing\n";
    };
    if (shape.archivesHeld < shape.archiveCount)
        warn("archive table", shape.archivesHeld, shape.archiveCount);
    if (shape.resourcesHeld < shape.resourceCount)
        warn("resource table", shape.resourcesHeld, shape.resourceCount);
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

} // namespace

namespace {

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

int run(const std::vector<std::string>& args) {
    std::optional<std::string> game;
    std::optional<std::string> lang;
    std::optional<std::string> startIn;
    std::optional<std::string> alone; // --help or --version
    bool wav = false;
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
            wav = true;
        } else if (arg == "-C") {
            startIn = optionValue(args, i, "-C", "a folder");
        } else if (isOption(arg, "--game")) {
            game = optionValue(args, i, "--game", "a folder");
        } else if (isOption(arg, "--lang")) {
            lang = optionValue(args, i, "--lang", "a language, such as en_US");
        } else {
            throw UsageError{"unknown option " + arg};
        }
    }
    if (alone) {
        if (!rest.empty())
            throw UsageError{*alone + " stands alone, without a command"};
        if (*alone == "--version")
            standardOutput().write("quillmere-cli " QUILLMERE_VERSION_TEXT "\n");
        else
            standardOutput().write(std::string(kUsage) + "\n\n" + kHelp + kBuildNote);
        return 0;
    }
    if (rest.empty())
        throw UsageError{"no command given"};
    const std::string& command = rest[0];
#ifndef QUILLMERE_HAVE_SOUND
    if (wav)
        throw UsageError{"--wav is not available in this build: it has no sound decoder"};
#endif
    if (wav && command != "extract" && command != "pick")
        throw UsageError{"--wav goes with extract and pick only"};
    if (command == "games") {
        if (rest.size() != 1)
            throw UsageError{"wrong arguments for games"};
        if (startIn)
            enterFolder(*startIn);
        return runGames(game);
    }
    const bool takesArchive = command == "extract" || command == "files" || command == "pick";
    if (command == "list" ? rest.size() != 1
                          : !takesArchive || rest.size() < (command == "pick" ? 3u : 2u) ||
                                (command == "extract" && rest.size() != 2))
        throw UsageError{command == "list" || takesArchive ? "wrong arguments for " + command
                                                           : "unknown command " + command};
    for (std::size_t i = 2; i < rest.size(); ++i)
        if (rest[i].size() > kMaxWordBytes)
            throw UsageError{"a WHAT of more than " + std::to_string(kMaxWordBytes) + " bytes names no file"};
    if (startIn)
        enterFolder(*startIn);
    const std::string BGpath = game ? qm::withFolderSeparator(*game) : qm::discoverGameFolder();
    requireCatalogue(BGpath);
    if (command == "list")
        return runList(BGpath);
    const Game chosen{BGpath, qm::gameLanguage(BGpath, lang)};
    if (lang && !chosen.lang.empty() && !qm::equalsIgnoreCase(*lang, chosen.lang))
        std::cerr << "quillmere-cli: warning: the game has no lang/" << escapeField(*lang)
                  << "/dialog.tlk; the names come from lang/" << escapeField(chosen.lang) << "/dialog.tlk\n";
    if (command == "extract")
        return runExtract(chosen, rest[1], wav);
    if (command == "files")
        return runFiles(chosen, rest[1], std::vector<std::string>(rest.begin() + 2, rest.end()));
    return runPick(chosen, rest[1], std::vector<std::string>(rest.begin() + 2, rest.end()), wav);
}

} // namespace

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal) {
    stopSignal = signal;
    qm::requestStop();
}

// Ctrl-C and SIGTERM stop the run at the next piece of data, as a failure would: the file being written
// is removed, the log holds whole lines, and the exit status is 128 + the signal. A second one ends the
// program at once.
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
    StandardOutput& output = standardOutput();
    int status = 0;
    try {
        status = run(std::vector<std::string>(argv + 1, argv + argc));
        output.check();
        if (qm::stopRequested())
            return interruptedStatus();
    } catch (const qm::Interrupted&) {
        output.flush();
        return interruptedStatus();
    } catch (const UsageError& e) {
        std::cerr << "quillmere-cli: " << escapeField(e.message) << '\n' << kUsage << '\n';
        return 2;
    } catch (const StandardOutput::Failed&) {
        std::cerr << "quillmere-cli: error: standard output: " << output.reason() << '\n';
        return 1;
    } catch (const qm::FileError& e) {
        output.flush();
        // Paths can hold anything a registry value or a file name held: no raw control byte reaches the
        // terminal.
        std::cerr << "quillmere-cli: error " << e.number() << ": " << escapeField(e.description());
        if (!e.path().empty())
            std::cerr << " (" << escapeField(e.path()) << ")";
        std::cerr << '\n';
        return 1;
    }
    return status;
}
