#include "GameSources.h"
#include "Registry.h"

namespace qm::discovery {

namespace {

// Where the game's installer records its folder, among the DirectPlay lobby applications.
constexpr const char* kGameKey = "SOFTWARE\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate";
constexpr const char* kGameValue = "Path";

} // namespace

// The value names the folder with its closing separator, as the game's own start-up takes it. The
// registry's folder (the default prefix's on Linux) is the fallback when no source finds a catalogue.
void fromGameRegistry(Candidates& list, [[maybe_unused]] const Places& places) {
#ifdef _WIN32
    // Only the text counts: a value of another type succeeds but leaves it empty.
    std::string stored;
    readregvalue(kHkeyLocalMachine, kGameKey, kGameValue, stored);
    if (!stored.empty())
        list.add("registry", stored, GameCandidate::Use::Fallback);
#else
    for (const std::filesystem::path& prefix : winePrefixes(places)) {
        const std::string stored = prefixValue(prefix, kGameKey, kGameValue);
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
