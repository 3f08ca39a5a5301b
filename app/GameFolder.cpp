#include "GameFolder.h"

#include "GameSources.h"
#include "HostPath.h"
#include "Interrupt.h"
#include "Registry.h"
#include "Text.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <set>
#include <system_error>
#include <utility>

namespace qm {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

bool holdsCatalogue(HostPaths& paths, const std::string& folder) {
    bool found = false;
    const fs::path key = paths.map(folder + "chitin.key", &found);
    std::error_code ec;
    return found && fs::is_regular_file(key, ec);
}

std::vector<GameCandidate> gather(const std::optional<std::string>& commandLineFolder, bool stopAtChoice,
                                  const DiscoveryWarning& warn) {
    using namespace discovery;
    Candidates list(stopAtChoice, warn);
    fromCommandLine(list, commandLineFolder);
    if (!list.done())
        fromEnvironment(list);
    if (list.done())
        return list.take();
    // Homes and prefixes are looked up only when no folder was given.
    const Places places = findPlaces();
    using Source = void (*)(Candidates&, const Places&);
    for (const Source source :
         {fromGameRegistry, fromGogRegistry, fromSteam, fromGogFolders, fromBeamdog, fromCurrentFolder}) {
        if (list.done())
            break;
        source(list, places);
    }
    return list.take();
}

} // namespace

namespace discovery {

bool Candidates::add(std::string source, std::string folder, GameCandidate::Use use) {
    stopIfRequested();
    if (folder.find('\0') != std::string::npos) {
        warn(source + ": a folder name holds a NUL byte; passed over");
        return true;
    }
    const bool hasCatalogue = holdsCatalogue(m_paths, folder);
    m_list.push_back({std::move(source), std::move(folder), hasCatalogue, use});
    m_done = m_stopAtChoice && (hasCatalogue || use == GameCandidate::Use::Given);
    return !m_done;
}

void Candidates::warn(const std::string& message) const {
    if (m_warn)
        m_warn(message);
}

Places findPlaces() {
    Places places;
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        places.home = home;
#ifndef _WIN32
    places.defaultPrefix = winePrefix();
    const fs::path defaultIdentity = folderIdentity(places.defaultPrefix);
    std::set<fs::path> seen;
    for (fs::path& prefix : launcherPrefixes(places.home)) {
        stopIfRequested();
        fs::path id = folderIdentity(prefix);
        if ((!places.defaultPrefix.empty() && id == defaultIdentity) || !seen.insert(std::move(id)).second)
            continue;
        places.launchers.push_back(std::move(prefix));
    }
#endif
    return places;
}

fs::path folderIdentity(const fs::path& folder) {
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(folder, ec);
    return ec ? folder.lexically_normal() : canonical;
}

#ifdef _WIN32
std::string folderText(const fs::path& folder) {
    const std::u8string utf8 = fs::path(folder).make_preferred().u8string();
    return withFolderSeparator(utf8ToCp1252(std::string(utf8.begin(), utf8.end())));
}
fs::path pathFromUtf8(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}
#else
std::string folderText(const fs::path& folder) {
    return withFolderSeparator(folder.string());
}
fs::path pathFromUtf8(const std::string& utf8) {
    return fs::path(utf8);
}
#endif

} // namespace discovery

std::string withFolderSeparator(std::string folder) {
    return withTrailingSeparator(std::move(folder), kSeparator);
}

void warnOnStandardError(const std::string& message) {
    std::string line = "quillmere: warning: ";
    for (const char c : message) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            line += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
        } else {
            line += c;
        }
    }
    std::cerr << line << '\n';
}

std::vector<GameCandidate> gameFolderCandidates(const std::optional<std::string>& commandLineFolder,
                                                const DiscoveryWarning& warn) {
    return gather(commandLineFolder, false, warn);
}

std::size_t chosenCandidate(const std::vector<GameCandidate>& candidates) {
    using Use = GameCandidate::Use;
    const auto first = [&candidates](auto test) {
        return static_cast<std::size_t>(std::find_if(candidates.begin(), candidates.end(), test) -
                                        candidates.begin());
    };
    if (const std::size_t given = first([](const GameCandidate& c) { return c.use == Use::Given; });
        given < candidates.size())
        return given;
    if (const std::size_t found = first([](const GameCandidate& c) { return c.hasCatalogue; });
        found < candidates.size())
        return found;
    return first([](const GameCandidate& c) { return c.use == Use::Fallback; });
}

std::string discoverGameFolder(const std::optional<std::string>& commandLineFolder,
                               const DiscoveryWarning& warn) {
    const std::vector<GameCandidate> candidates = gather(commandLineFolder, true, warn);
    const std::size_t chosen = chosenCandidate(candidates);
    return chosen < candidates.size() ? candidates[chosen].folder : std::string();
}

std::string discoverGameFolder() {
    return discoverGameFolder(std::nullopt);
}

} // namespace qm
