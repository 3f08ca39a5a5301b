#include "Artwork.h"
#include "Dialogs.h"
#include "Fonts.h"
#include "FrmMain.h"
#include "GameFolder.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace {

constexpr const char* kUsage = "usage: quillmere [--lang LOCALE] [GAME_FOLDER]\n";

constexpr const char* kHelp =
    "usage: quillmere [--lang LOCALE] [GAME_FOLDER]\n"
    "\n"
    "Lists the resource archives of a Baldur's Gate installation and extracts their files.\n"
    "\n"
    "  GAME_FOLDER   the game folder; without it the first of these whose folder holds chitin.key:\n"
    "                QUILLMERE_GAME_DIR (used as given); the registry value of the original game (on Linux\n"
    "                in the Wine prefix $WINEPREFIX or ~/.wine, then in the prefixes of Lutris, Heroic,\n"
    "                Bottles, PlayOnLinux and Steam's Proton); GOG's registry keys, in the same places;\n"
    "                Steam's libraries; ~/GOG Games/*/game; Beamdog's folder (Windows); the current\n"
    "                folder. quillmere-cli games shows them all\n"
    "  --lang LOCALE the Enhanced Edition's language for item names (de_DE); before QUILLMERE_LANG\n"
    "  --help        this text\n"
    "  --version     the program's name and version\n"
    "\n"
    "The Enhanced Edition's item names come from lang/LOCALE/dialog.tlk: the language is\n"
    "--lang, else QUILLMERE_LANG, else the game's own choice in Baldur.lua, weidu.conf's lang_dir, en_US or "
    "the\n"
    "first language the game has.\n"
    "\n"
    "Extracted files land in the current folder.\n";

} // namespace

// The main window is the start-up object: its load finds the game folder and lists the archives before
// the window is shown.
int main(int argc, char** argv) {
    // Answered before the toolkit starts, so they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("quillmere " QUILLMERE_VERSION_TEXT);
            return 0;
        }
    }
#ifdef SIGXFSZ
    // A file-size limit then fails the write (error 61) instead of ending the program.
    signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral(QUILLMERE_APP_TITLE));
    if (qm::fonts::loadBundled(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"))) {
        // What the windows do not letter themselves takes the system's fonts, by kind of widget: under Wine
        // Qt found none it could draw there and lettered the menus in the blackletter face.
        for (const char* kind : {"QMenuBar", "QMenu", "QMessageBox", "QStatusBar", "QTipLabel"})
            QApplication::setFont(qm::fonts::standard(), kind);
    }
    QApplication::setApplicationVersion(QStringLiteral(QUILLMERE_VERSION_TEXT));
    QApplication::setWindowIcon(qm::artwork::programIcon());

    // The toolkit has taken its own options out of argv; what is left is ours, read as the command line
    // reads its own.
    std::optional<std::string> gameFolder;
    std::optional<std::string> language;
    const auto usageError = [](const std::string& what) {
        std::fprintf(stderr, "quillmere: %s\n%s", what.c_str(), kUsage);
        return 2;
    };
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--lang" || arg.rfind("--lang=", 0) == 0)) {
            if (arg == "--lang" && i + 1 >= argc)
                return usageError("--lang needs a LOCALE");
            language = arg == "--lang" ? std::string(argv[++i]) : arg.substr(7);
            if (language->empty())
                return usageError("--lang needs a LOCALE");
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (gameFolder) {
            return usageError("only one GAME_FOLDER");
        } else {
            gameFolder = qm::withFolderSeparator(arg);
        }
    }

    QtDialogs dialogs;
    FrmMain window(dialogs, gameFolder, language);
    window.show();
    return QApplication::exec();
}
