#include "GameFolder.h"

#include "HostPath.h"
#include "Registry.h"
#include "Text.h"

#include <cstdlib>
#include <system_error>

namespace qm {

namespace fs = std::filesystem;

namespace {

// Where the game's installer records its folder, among the DirectPlay lobby applications.
constexpr const char* kGameKey = "SOFTWARE\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate";
constexpr const char* kGameValue = "Path";

#ifdef _WIN32
constexpr char kSeparator = '\\';
bool endsWithSeparator(std::string_view folder) {
    return !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
}
#else
constexpr char kSeparator = '/';
bool endsWithSeparator(std::string_view folder) {
    return !folder.empty() && folder.back() == '/';
}
#endif

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Wine names its drive links "c:", "z:"; a letter of either case finds a link spelt in either.
fs::path driveLink(const fs::path& prefix, char letter) {
    const fs::path devices = prefix / "dosdevices";
    const std::string name{letter, ':'};
    std::error_code ec;
    for (fs::directory_iterator it(devices, ec), end; !ec && it != end; it.increment(ec)) {
        if (equalsIgnoreCase(it->path().filename().string(), name))
            return it->path();
    }
    return {};
}

} // namespace

std::string mapWinePath(const fs::path& prefix, std::string_view windowsPath) {
    if (windowsPath.size() < 2 || windowsPath[1] != ':' || !isAsciiLetter(windowsPath[0]))
        return {};
    const fs::path link = driveLink(prefix, windowsPath[0]);
    if (link.empty())
        return {};
    std::error_code ec;
    const fs::path drive = fs::canonical(link, ec);
    if (ec || !fs::is_directory(drive, ec))
        return {};
    // The registry text is in the ANSI code page; host names are UTF-8.
    const std::string rest = cp1252ToUtf8(windowsPath.substr(2));
    if (rest.empty())
        return drive.string();
    return hostPath(drive.string() + "/" + rest).string();
}

std::string discoverGameFolder() {
    if (const char* dir = std::getenv("QUILLMERE_GAME_DIR"); dir != nullptr && *dir != '\0') {
        std::string folder = dir;
        if (!endsWithSeparator(folder))
            folder += kSeparator;
        return folder;
    }
    // Only the text counts: a value of another type succeeds but leaves it empty.
    std::string stored;
    readregvalue(kHkeyLocalMachine, kGameKey, kGameValue, stored);
    if (stored.empty())
        return {};
#ifdef _WIN32
    return stored;
#else
    return mapWinePath(winePrefix(), stored);
#endif
}

} // namespace qm
