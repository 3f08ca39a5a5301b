#include "ArchiveLocation.h"
#include "ByteReader.h"
#include "Catalogue.h"
#include "Extract.h"
#include "FileError.h"
#include "GameFolder.h"
#include "HostPath.h"
#include "Selection.h"
#include "Text.h"

#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

constexpr const char* kUsage = "usage: quillmere-cli [--game DIR] (list | extract ARCHIVE | files ARCHIVE | "
                               "pick ARCHIVE INDEX...)";

constexpr const char* kHelp = R"(Lists and extracts the resource archives of a Baldur's Gate installation.

  list                  the supported archives of the game's catalogue, as the main window lists them
  extract ARCHIVE       every file of ARCHIVE into the folder named after it, with ARCHIVE.log, here
  files ARCHIVE         one line per file: index, name, offset, size, type description, item name
  pick ARCHIVE INDEX... the files of those 0-based indexes into WorkDir; prints each written path

  --game DIR            the game folder; without it QUILLMERE_GAME_DIR, then the registry value of the
                        game is asked (on Linux in the Wine prefix $WINEPREFIX or ~/.wine, then in the
                        prefixes of Lutris, Heroic, Bottles, PlayOnLinux and Steam's Proton), else the
                        current folder is used

Archives missing from the game folder are looked for on its CD1 to CD6 folders and where the CDn:
aliases of Baldur.ini point.

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

// The list's own spelling of ARCHIVE, matched with letter case ignored.
qm::SelectionState chooseArchive(const std::string& BGpath, const std::string& archive) {
    auto names = qm::listbifs(BGpath);
    qm::sortArchiveNames(names);
    const std::string wanted = qm::utf8ToCp1252(archive);
    for (const auto& name : names)
        if (qm::equalsIgnoreCase(name, wanted))
            return qm::selectArchive(BGpath, name);
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

int runList(const std::string& BGpath) {
    auto names = qm::listbifs(BGpath);
    qm::sortArchiveNames(names);
    for (const auto& name : names)
        std::cout << out(name) << '\n';
    return 0;
}

int runExtract(const std::string& BGpath, const std::string& archive) {
    const qm::SelectionState selection = chooseArchive(BGpath, archive);
    ProgressBar bar;
    qm::ExtractCallbacks callbacks;
    callbacks.progress = [&bar](float value) { bar.set(value); };
    qm::extractArchive(selection, callbacks);
    return 0;
}

int runFiles(const std::string& BGpath, const std::string& archive) {
    const qm::SelectionState selection = chooseArchive(BGpath, archive);
    const qm::ArchiveListing listing = qm::listArchive(selection, {});
    const bool items = qm::asciiUpper(selection.targetfile) == "ITEMS";
    std::optional<qm::ByteReader> bif;
    std::optional<qm::StringTable> strings;
    if (items) {
        bif.emplace(qm::locateArchive(selection), qm::ByteReader::kRandomAccessBuffer);
        strings.emplace(BGpath);
    }
    std::string line;
    for (std::size_t i = 0; i < listing.files.size(); ++i) {
        const qm::ListedFile& file = listing.files[i];
        std::string name;
        if (items)
            name = strings->get(qm::readEntryDetails(*bif, static_cast<int>(i)).nameIndex);
        line.clear();
        line += std::to_string(i) + '\t' + out(escapeField(file.text)) + '\t' +
                std::to_string(file.dataOffset) + '\t' + std::to_string(file.dataSize) + '\t' +
                escapeField(qm::describeEnding(file.text)) + '\t' + out(escapeField(name)) + '\n';
        std::cout << line;
    }
    return 0;
}

int runPick(const std::string& BGpath, const std::string& archive,
            const std::vector<std::string>& indexArgs) {
    const qm::SelectionState selection = chooseArchive(BGpath, archive);
    const qm::ArchiveListing listing = qm::listArchive(selection, {});
    std::set<int> picked;
    for (const auto& arg : indexArgs) {
        int index = -1;
        const auto [end, ec] = std::from_chars(arg.data(), arg.data() + arg.size(), index);
        if (ec != std::errc() || end != arg.data() + arg.size() || index < 0 ||
            static_cast<std::size_t>(index) >= listing.files.size())
            throw UsageError{std::string("no file of index ").append(arg).append(" in ").append(archive)};
        picked.insert(index);
    }
    std::vector<std::string> texts;
    texts.reserve(listing.files.size());
    for (const auto& file : listing.files)
        texts.push_back(file.text);
    ProgressBar bar;
    qm::PickCallbacks callbacks;
    callbacks.isChecked = [&picked](int i) { return picked.count(i) != 0; };
    callbacks.uncheck = [&picked](int i) { picked.erase(i); };
    callbacks.progress = [&bar](float value) { bar.set(value); };
    callbacks.written = [&bar](const std::string& path) {
        bar.finish();
        std::cout << qm::displayPath(qm::hostPath(path, qm::PathText::GameOnly).generic_string()) << '\n';
    };
    qm::extractSelected(selection, texts, callbacks);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
#ifdef SIGXFSZ
    // A file-size limit then fails the write (error 61) instead of ending the program.
    signal(SIGXFSZ, SIG_IGN);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    std::optional<std::string> game;
    std::vector<std::string> rest;
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--help" || args[i] == "-h") {
                std::cout << kUsage << "\n\n" << kHelp;
                return 0;
            }
            if (args[i] == "--game") {
                if (i + 1 >= args.size())
                    throw UsageError{"--game needs a folder"};
                game = args[++i];
            } else if (args[i].rfind("--game=", 0) == 0) {
                game = args[i].substr(7);
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
                              : !takesArchive || (command == "pick" ? rest.size() < 3 : rest.size() != 2))
            throw UsageError{command == "list" || takesArchive ? "wrong arguments for " + command
                                                               : "unknown command " + command};
        const std::string BGpath = game ? qm::withFolderSeparator(*game) : qm::discoverGameFolder();
        if (command == "list")
            return runList(BGpath);
        if (command == "extract")
            return runExtract(BGpath, rest[1]);
        if (command == "files")
            return runFiles(BGpath, rest[1]);
        return runPick(BGpath, rest[1], std::vector<std::string>(rest.begin() + 2, rest.end()));
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
