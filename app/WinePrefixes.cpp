#include "GameSources.h"
#include "Interrupt.h"
#include "Registry.h"

#include <algorithm>
#include <system_error>

namespace qm {

namespace fs = std::filesystem;

namespace {

// The folders just below `parent` that hold a registry file, in sorted order; `below` is appended to each
// child first (Steam keeps the prefix in the child's "pfx" folder). A missing or unreadable folder has
// none.
void addPrefixes(std::vector<fs::path>& prefixes, const fs::path& parent, const char* below = nullptr) {
    std::error_code ec;
    std::vector<fs::path> found;
    for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
        stopIfRequested();
        const fs::path prefix = below != nullptr ? it->path() / below : it->path();
        if (fs::is_regular_file(prefix / "system.reg", ec))
            found.push_back(prefix);
    }
    std::sort(found.begin(), found.end());
    prefixes.insert(prefixes.end(), found.begin(), found.end());
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

namespace discovery {

std::vector<fs::path> winePrefixes(const Places& places) {
    std::vector<fs::path> prefixes;
    if (!places.defaultPrefix.empty())
        prefixes.push_back(places.defaultPrefix);
    prefixes.insert(prefixes.end(), places.launchers.begin(), places.launchers.end());
    return prefixes;
}

const std::string& prefixValue(const Places& places, const fs::path& prefix, std::size_t index) {
    auto found = places.prefixValues.find(prefix);
    if (found == places.prefixValues.end())
        found = places.prefixValues
                    .emplace(prefix, readWineRegistryTexts(prefix / "system.reg",
                                                           {kRegistryValues.begin(), kRegistryValues.end()}))
                    .first;
    return found->second.at(index);
}

} // namespace discovery

} // namespace qm
