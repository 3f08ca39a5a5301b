#include "GameSources.h"
#include "Registry.h"
#include "Text.h"

namespace qm::discovery {

// GOG's value names the folder without its closing backslash.
void fromGogRegistry(Candidates& list, [[maybe_unused]] const Places& places) {
#ifdef _WIN32
    for (std::size_t index = kFirstGogValue; index < kRegistryValues.size(); ++index) {
        std::string stored;
        readregvalue(kHkeyLocalMachine, kRegistryValues[index].keyPath, kRegistryValues[index].valueName,
                     stored);
        if (!stored.empty() && !list.add("GOG registry", withFolderSeparator(stored)))
            return;
    }
#else
    for (const std::filesystem::path& prefix : winePrefixes(places)) {
        for (std::size_t index = kFirstGogValue; index < kRegistryValues.size(); ++index) {
            std::string stored = prefixValue(places, prefix, index);
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
