#include "GameSources.h"
#include "HostPath.h"
#include "KeyValues.h"
#include "Registry.h"

#include <algorithm>
#include <system_error>

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

// The libraries that a Steam folder's libraryfolders.vdf lists: numbered entries holding the path
// themselves (the old form) or in a block's "path" (today's). Nothing when the file is missing or damaged.
std::vector<fs::path> listedLibraries(const fs::path& steam) {
    std::vector<fs::path> libraries;
    const auto file = readKeyValuesFile(steam / "steamapps/libraryfolders.vdf", kMaxSteamFile);
    const KeyValue* root = file ? findKey(*file, "libraryfolders") : nullptr;
    if (root == nullptr || !root->isBlock)
        return libraries;
    for (const KeyValue& entry : root->block) {
        if (entry.key.empty() ||
            !std::all_of(entry.key.begin(), entry.key.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue; // "TimeNextStatsReport", "ContentStatsID" and the like
        const KeyValue* path = entry.isBlock ? findKey(entry.block, "path") : &entry;
        if (path == nullptr || path->isBlock)
            continue;
        if (fs::path library = pathFromUtf8(path->text); library.is_absolute())
            libraries.push_back(std::move(library));
    }
    return libraries;
}

// The folder the manifest names, if it is one plain name below steamapps/common.
std::string installDir(const fs::path& library) {
    const auto manifest = readKeyValuesFile(library / kManifest, kMaxSteamFile);
    const KeyValue* app = manifest ? findKey(*manifest, "AppState") : nullptr;
    const KeyValue* dir = app != nullptr && app->isBlock ? findKey(app->block, "installdir") : nullptr;
    if (dir == nullptr || dir->isBlock || dir->text.empty() || dir->text == "." || dir->text == ".." ||
        dir->text.find_first_of("/\\:") != std::string::npos)
        return kDefaultInstallDir;
    return dir->text;
}

} // namespace

// Every Steam folder is a library, and so is each one its libraryfolders.vdf lists; a library reached
// twice (~/.steam/steam is a link to ~/.local/share/Steam) is asked once.
void fromSteam(Candidates& list, const Places& places) {
    std::vector<fs::path> libraries;
    std::vector<fs::path> seen;
    const auto addLibrary = [&libraries, &seen](const fs::path& library) {
        fs::path identity = folderIdentity(library);
        if (std::find(seen.begin(), seen.end(), identity) != seen.end())
            return;
        seen.push_back(std::move(identity));
        libraries.push_back(library);
    };
    for (const fs::path& steam : steamFolders(places)) {
        addLibrary(steam);
        for (const fs::path& library : listedLibraries(steam))
            addLibrary(library);
    }
    for (const fs::path& library : libraries)
        if (!list.add("Steam", folderText(library / "steamapps/common" / pathFromUtf8(installDir(library)))))
            return;
}

} // namespace qm::discovery
