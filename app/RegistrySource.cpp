#include "GameSources.h"
#include "Registry.h"

namespace qm::discovery {

// The value names the folder with its closing separator, as the game's own start-up takes it. The
// registry's folder (the default prefix's on Linux) is the fallback when no source finds a catalogue.
void fromGameRegistry(Candidates& list, [[maybe_unused]] const Places& places) {
#ifdef _WIN32
    const RegistryQuery& query = kRegistryValues[kGameValue];
    // Only the text counts: a value of another type succeeds but leaves it empty.
    std::string stored;
    readregvalue(kHkeyLocalMachine, query.keyPath, query.valueName, stored);
    if (!stored.empty())
        list.add("registry", stored, GameCandidate::Use::Fallback);
#else
    for (const std::filesystem::path& prefix : winePrefixes(places)) {
        const std::string& stored = prefixValue(places, prefix, kGameValue);
        const std::string folder = stored.empty() ? std::string() : mapWinePath(prefix, stored);
        if (folder.empty())
            continue;
        const bool isDefault = prefix == places.defaultPrefix;
        if (!list.add("registry in " + prefix.string(), folder,
                      isDefault ? GameCandidate::Use::Fallback : GameCandidate::Use::IfCatalogue))
            return;
    }
#endif
}

} // namespace qm::discovery
