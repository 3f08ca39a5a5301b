#include "GameSources.h"
#include "HostPath.h"
#include "Interrupt.h"
#include "KeyValues.h"
#include "Registry.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <unordered_set>
#include <utility>

namespace qm::discovery {

namespace fs = std::filesystem;

namespace {

// Steam's files are a few KB; anything far larger is not Steam's.
constexpr std::uintmax_t kMaxSteamFile = std::uintmax_t{1} << 20;

// The game's number in Steam, and the folder its depot installs into.
constexpr const char* kManifest = "steamapps/appmanifest_228280.acf";
constexpr const char* kDefaultInstallDir = "Baldur's Gate Enhanced Edition";

std::vector<fs::path> steamFolders([[maybe_unused]] const Places& places) {
    std::vector<fs::path> folders;
#ifdef _WIN32
    std::string steamPath;
    readregvalue(kHkeyCurrentUser, "Software\\Valve\\Steam", "SteamPath", steamPath);
    if (!steamPath.empty())
        folders.push_back(hostPath(steamPath));
#else
    if (places.home.empty())
        return folders;
    for (const char* below : {".local/share/Steam", ".steam/steam", ".steam/debian-installation",
                              ".var/app/com.valvesoftware.Steam/.local/share/Steam",
                              ".var/app/com.valvesoftware.Steam/data/Steam"})
        folders.push_back(places.home / below);
#endif
    std::error_code ec;
    std::erase_if(folders, [&ec](const fs::path& folder) { return !fs::is_directory(folder, ec); });
    return folders;
}

// A name in Steam's files that no host folder can have: the system reads a path up to its first NUL.
bool holdsNul(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

// The libraries that a Steam folder's libraryfolders.vdf lists: numbered entries holding the path
// themselves (the old form) or in a block's "path" (today's). Nothing when the file is missing or damaged;
// a path holding a NUL byte is passed over with a warning.
std::vector<fs::path> listedLibraries(const Candidates& list, const fs::path& steam) {
    std::vector<fs::path> libraries;
    const fs::path vdf = steam / "steamapps/libraryfolders.vdf";
    const auto file = readKeyValuesFile(vdf, kMaxSteamFile);
    const KeyValue* root = file ? findKey(*file, "libraryfolders") : nullptr;
    if (root == nullptr || !root->isBlock)
        return libraries;
    bool warned = false;
    for (const KeyValue& entry : root->block) {
        stopIfRequested();
        if (entry.key.empty() ||
            !std::all_of(entry.key.begin(), entry.key.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue; // "TimeNextStatsReport", "ContentStatsID" and the like
        const KeyValue* path = entry.isBlock ? findKey(entry.block, "path") : &entry;
        if (path == nullptr || path->isBlock)
            continue;
        if (holdsNul(path->text)) {
            if (!std::exchange(warned, true))
                list.warn("Steam: " + displayPath(vdf) + ": a library path holds a NUL byte; passed over");
            continue;
        }
        if (fs::path library = pathFromUtf8(path->text); library.is_absolute())
            libraries.push_back(std::move(library));
    }
    return libraries;
}

// The folder the manifest names, if it is one plain name below steamapps/common; nothing when the name
// holds a NUL byte, which names no folder, with a warning.
std::optional<std::string> installDir(const Candidates& list, const fs::path& library) {
    const fs::path file = library / kManifest;
    const auto manifest = readKeyValuesFile(file, kMaxSteamFile);
    const KeyValue* app = manifest ? findKey(*manifest, "AppState") : nullptr;
    const KeyValue* dir = app != nullptr && app->isBlock ? findKey(app->block, "installdir") : nullptr;
    if (dir == nullptr || dir->isBlock || dir->text.empty() || dir->text == "." || dir->text == ".." ||
        dir->text.find_first_of("/\\:") != std::string::npos)
        return kDefaultInstallDir;
    if (holdsNul(dir->text)) {
        list.warn("Steam: " + displayPath(file) + ": the installdir holds a NUL byte; passed over");
        return std::nullopt;
    }
    return dir->text;
}

} // namespace

// Every Steam folder is a library, and so is each one its libraryfolders.vdf lists; a library reached
// twice (~/.steam/steam is a link to ~/.local/share/Steam) is asked once. A file may list a hundred
// thousand libraries, so the ones seen are kept for look-up in constant time.
void fromSteam(Candidates& list, const Places& places) {
    std::vector<fs::path> libraries;
    std::unordered_set<fs::path::string_type> seen;
    const auto addLibrary = [&libraries, &seen](const fs::path& library) {
        stopIfRequested();
        if (seen.insert(folderIdentity(library).native()).second)
            libraries.push_back(library);
    };
    for (const fs::path& steam : steamFolders(places)) {
        addLibrary(steam);
        for (const fs::path& library : listedLibraries(list, steam))
            addLibrary(library);
    }
    for (const fs::path& library : libraries) {
        const std::optional<std::string> dir = installDir(list, library);
        if (dir && !list.add("Steam", folderText(library / "steamapps/common" / pathFromUtf8(*dir))))
            return;
    }
}

} // namespace qm::discovery
