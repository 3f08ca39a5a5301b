#include "ArchiveLocation.h"
#include "ByteReader.h"
#include "Catalogue.h"
#include "Extract.h"
#include "FileError.h"
#include "GameFolder.h"
#include "GameLanguage.h"
#include "HostPath.h"
#include "Selection.h"
#include "Text.h"

#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
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
#include <unistd.h>
#endif

namespace {

constexpr const char* kUsage =
    "usage: quillmere-cli [--game DIR] [--lang LOCALE] [-C DIR] (list | extract ARCHIVE | "
    "files ARCHIVE [WHAT...] | pick ARCHIVE WHAT...)";

constexpr const char* kHelp = R"(Lists and extracts the resource archives of a Baldur's Gate installation.

  list                  the supported archives of the game's catalogue, as the main window lists them
  extract ARCHIVE       every file of ARCHIVE into the folder named after it, with ARCHIVE.log, here
  files ARCHIVE [WHAT...]
                        one line per file: index, name, offset, size, type description, item name;
                        control codes and backslashes are escaped (\n, \t, \r, \\, \xNN)
  pick ARCHIVE WHAT...  the chosen files into WorkDir, each once and in list order; prints each path

WHAT is a 0-based index, a file's name as listed (SW1H01.ITM) or a shell pattern ('RING*', '*.WAV';
*, ? and [...]), letter case ignored; a WHAT that matches nothing is a usage error.

  --game DIR            the game folder; without it QUILLMERE_GAME_DIR, then the registry value of the
                        game is asked (on Linux in the Wine prefix $WINEPREFIX or ~/.wine, then in the
                        prefixes of Lutris, Heroic, Bottles, PlayOnLinux and Steam's Proton), else the
                        current folder is used
  --lang LOCALE         the Enhanced Edition's language (en_US, de_DE, ...): item names come from
                        lang/LOCALE/dialog.tlk. Without it QUILLMERE_LANG, then the game's own choice
                        in Baldur.lua, then lang_dir of weidu.conf, then en_US, then the first language
                        the game has. A Dialog.tlk in the game folder itself (the original) always wins
  -C DIR                run as if started in DIR: a relative --game and every output are taken from there
  --help, -h            this text
  --version             the program's name and version

Archives missing from the game folder are looked for in lang/LOCALE/, on its CD1 to CD6 folders and
where the CDn: aliases of Baldur.ini point.

Exit status: 0 success, 1 failure, 2 usage error.
)";

struct UsageError {
    std::string message;
};

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
// and every other control code and the backslash are escaped ("\n", "\r", "\t", "\\", "\xNN"), so no
// name from the game can start a line or a column of its own, or reach the terminal raw.
std::string escapeField(const std::string& text) {
    std::string result;
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
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            result += hex;
        } else {
            result += static_cast<char>(c);
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
        std::cout << out(name) << '\n';
    return 0;
}

int runExtract(const Game& game, const std::string& archive) {
    const qm::SelectionState selection = chooseArchive(game, archive);
    ProgressBar bar;
    qm::ExtractCallbacks callbacks;
    callbacks.progress = [&bar](float value) { bar.set(value); };
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
        line += std::to_string(i) + '\t' + out(escapeField(file.text)) + '\t' +
                std::to_string(file.dataOffset) + '\t' + std::to_string(file.dataSize) + '\t' +
                escapeField(qm::describeEnding(file.text)) + '\t' + escapeField(name) + '\n';
        std::cout << line;
    }
    return 0;
}

int runPick(const Game& game, const std::string& archive, const std::vector<std::string>& words) {
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
    callbacks.written = [&bar](const std::string&, const std::filesystem::path& path) {
        bar.finish();
        std::cout << qm::displayPath(path.generic_string()) << '\n';
    };
    qm::extractSelected(selection, texts, callbacks);
    return 0;
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

int main(int argc, char** argv) {
#ifdef SIGXFSZ
    // A file-size limit then fails the write (error 61) instead of ending the program.
    signal(SIGXFSZ, SIG_IGN);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    std::optional<std::string> game;
    std::optional<std::string> lang;
    std::optional<std::string> startIn;
    std::vector<std::string> rest;
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--help" || args[i] == "-h") {
                std::cout << kUsage << "\n\n" << kHelp;
                return 0;
            }
            if (args[i] == "--version") {
                std::cout << "quillmere-cli " QUILLMERE_VERSION_TEXT "\n";
                return 0;
            }
            if (args[i] == "-C" && rest.empty()) {
                if (i + 1 >= args.size())
                    throw UsageError{"-C needs a folder"};
                startIn = args[++i];
                continue;
            }
            if (args[i] == "--game") {
                if (i + 1 >= args.size())
                    throw UsageError{"--game needs a folder"};
                game = args[++i];
            } else if (args[i].rfind("--game=", 0) == 0) {
                game = args[i].substr(7);
            } else if (args[i] == "--lang") {
                if (i + 1 >= args.size() || args[i + 1].empty())
                    throw UsageError{"--lang needs a language, such as en_US"};
                lang = args[++i];
            } else if (args[i].rfind("--lang=", 0) == 0) {
                if (args[i].size() == 7)
                    throw UsageError{"--lang needs a language, such as en_US"};
                lang = args[i].substr(7);
            } else if (rest.empty() && args[i].rfind("--", 0) == 0) {
                throw UsageError{"unknown option " + args[i]};
            } else {
                rest.push_back(args[i]);
            }
        }
        if (rest.empty())
            throw UsageError{"no command given"};
        const std::string& command = rest[0];
        const bool takesArchive = command == "extract" || command == "files" || command == "pick";
        if (command == "list" ? rest.size() != 1
                              : !takesArchive || rest.size() < (command == "pick" ? 3u : 2u) ||
                                    (command == "extract" && rest.size() != 2))
            throw UsageError{command == "list" || takesArchive ? "wrong arguments for " + command
                                                               : "unknown command " + command};
        if (startIn)
            enterFolder(*startIn);
        const std::string BGpath = game ? qm::withFolderSeparator(*game) : qm::discoverGameFolder();
        if (command == "list")
            return runList(BGpath);
        const Game chosen{BGpath, qm::gameLanguage(BGpath, lang)};
        if (lang && !chosen.lang.empty() && !qm::equalsIgnoreCase(*lang, chosen.lang))
            std::cerr << "quillmere-cli: warning: the game has no lang/" << escapeField(*lang)
                      << "/dialog.tlk; the names come from lang/" << chosen.lang << "/dialog.tlk\n";
        if (command == "extract")
            return runExtract(chosen, rest[1]);
        if (command == "files")
            return runFiles(chosen, rest[1], std::vector<std::string>(rest.begin() + 2, rest.end()));
        return runPick(chosen, rest[1], std::vector<std::string>(rest.begin() + 2, rest.end()));
    } catch (const UsageError& e) {
        std::cerr << "quillmere-cli: " << e.message << '\n' << kUsage << '\n';
        return 2;
    } catch (const qm::FileError& e) {
        std::cout.flush();
        // Paths can hold anything a registry value or a file name held: no raw control byte reaches the
        // terminal.
        std::cerr << "quillmere-cli: error " << e.number() << ": " << escapeField(e.description());
        if (!e.path().empty())
            std::cerr << " (" << escapeField(e.path()) << ")";
        std::cerr << '\n';
        return 1;
    }
}
