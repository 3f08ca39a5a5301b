#include "GameSources.h"
#include "Registry.h"
#include "Text.h"

#include <array>

namespace qm::discovery {

namespace {

// GOG Galaxy and GOG's offline installers record each game below its product number.
constexpr std::array<const char*, 2> kGogKeys = {
    "SOFTWARE\\GOG.com\\Games\\1207658886", // Baldur's Gate
    "SOFTWARE\\GOG.com\\Games\\1207666353", // Baldur's Gate: Enhanced Edition
};
constexpr const char* kGogValue = "path";

} // namespace

// GOG's value names the folder without its closing backslash.
void fromGogRegistry(Candidates& list, [[maybe_unused]] const Places& places) {
#ifdef _WIN32
    for (const char* key : kGogKeys) {
        std::string stored;
        readregvalue(kHkeyLocalMachine, key, kGogValue, stored);
        if (!stored.empty() && !list.add("GOG registry", withFolderSeparator(stored)))
            return;
    }
#else
    for (const std::filesystem::path& prefix : winePrefixes(places)) {
        for (const char* key : kGogKeys) {
            std::string stored = prefixValue(prefix, key, kGogValue);
            if (stored.empty())
                continue;
            const std::string folder = mapWinePath(prefix, withTrailingSeparator(stored, '\\'));
            if (!folder.empty() && !list.add("GOG registry in " + prefix.string(), folder))
                return;
        }
    }
#endif
}

} // namespace qm::discovery
