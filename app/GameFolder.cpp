#include "GameFolder.h"

#include "HostPath.h"
#include "Registry.h"
#include "Text.h"

#include <algorithm>
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

} // namespace

std::string withFolderSeparator(std::string folder) {
    if (!folder.empty() && !endsWithSeparator(folder))
        folder += kSeparator;
    return folder;
}

#ifndef _WIN32

namespace {

// The folders just below `parent` that hold a registry file, in sorted order; `below` is appended to each
// child first (Steam keeps the prefix in the child's "pfx" folder). A missing or unreadable folder has
// none.
void addPrefixes(std::vector<fs::path>& prefixes, const fs::path& parent, const char* below = nullptr) {
    std::error_code ec;
    std::vector<fs::path> found;
    for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path prefix = below != nullptr ? it->path() / below : it->path();
        if (fs::is_regular_file(prefix / "system.reg", ec))
            found.push_back(prefix);
    }
    std::sort(found.begin(), found.end());
    prefixes.insert(prefixes.end(), found.begin(), found.end());
}

bool holdsCatalogue(const std::string& folder) {
    bool found = false;
    const fs::path key = HostPaths().map(folder + "chitin.key", &found);
    std::error_code ec;
    return found && fs::is_regular_file(key, ec);
}

} // namespace

std::vector<fs::path> launcherPrefixes(const fs::path& home) {
    std::vector<fs::path> prefixes;
    if (home.empty())
        return prefixes;
    addPrefixes(prefixes, home / "Games");                         // Lutris
    addPrefixes(prefixes, home / "Games/Heroic/Prefixes");         // Heroic
    addPrefixes(prefixes, home / "Games/Heroic/Prefixes/default"); // Heroic, newer releases
    addPrefixes(prefixes, home / ".local/share/bottles/bottles");  // Bottles
    addPrefixes(prefixes, home / ".PlayOnLinux/wineprefix");       // PlayOnLinux
    for (const char* steam :
         {".steam/steam", ".local/share/Steam", ".var/app/com.valvesoftware.Steam/.local/share/Steam"})
        addPrefixes(prefixes, home / steam / "steamapps/compatdata", "pfx"); // Steam's Proton
    return prefixes;
}

#endif

std::string discoverGameFolder() {
    if (const char* dir = std::getenv("QUILLMERE_GAME_DIR"); dir != nullptr && *dir != '\0')
        return withFolderSeparator(dir);
    // Only the text counts: a value of another type succeeds but leaves it empty.
    std::string stored;
    readregvalue(kHkeyLocalMachine, kGameKey, kGameValue, stored);
#ifdef _WIN32
    return stored;
#else
    // The default prefix's folder is used even without a catalogue when no launcher's prefix has the
    // game, as the registry names it.
    const std::string primary = stored.empty() ? std::string() : mapWinePath(winePrefix(), stored);
    if (!primary.empty() && holdsCatalogue(primary))
        return primary;
    const char* home = std::getenv("HOME");
    for (const fs::path& prefix : launcherPrefixes(home != nullptr ? fs::path(home) : fs::path())) {
        if (!readWineRegistryValue(prefix / "system.reg", kGameKey, kGameValue, stored) || stored.empty())
            continue;
        if (std::string folder = mapWinePath(prefix, stored); !folder.empty() && holdsCatalogue(folder))
            return folder;
    }
    return primary;
#endif
}

} // namespace qm
