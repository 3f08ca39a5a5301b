#include "HostPath.h"

#include "FileError.h"
#include "Text.h"

#include <algorithm>
#include <system_error>
#ifndef _WIN32
#include <dirent.h>
#endif

namespace qm {

namespace fs = std::filesystem;

namespace {

// The system reads a path up to its first NUL, so one holding a NUL (a registry value can) would name
// another file than it shows.
void refuseNul(std::string_view gamePath) {
    if (gamePath.find('\0') != std::string_view::npos)
        throw FileError(BadFileName, "a path holds a NUL byte", std::string(gamePath));
}

// A name that within() places inside a folder must stay one name there.
void refuseOtherFolder(std::string_view gameName) {
    refuseNul(gameName);
    if (gameName.empty() || gameName == "." || gameName == ".." ||
        gameName.find_first_of("\\/") != std::string_view::npos)
        throw FileError(BadFileName, "an output name is not one name in its folder", std::string(gameName));
}

} // namespace

#ifdef _WIN32

namespace {

// Paths go through UTF-8 so that no narrow conversion of the C library's locale gets in between.
fs::path fromUtf8(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

} // namespace

// Windows already resolves names without regard to case; game text is in the ANSI code page.
fs::path HostPaths::map(std::string_view gamePath, bool* exists, PathText) {
    refuseNul(gamePath);
    const fs::path path = fromUtf8(cp1252ToUtf8(gamePath));
    if (exists != nullptr) {
        std::error_code ec;
        *exists = fs::exists(path, ec);
    }
    return path;
}
fs::path HostPaths::within(const fs::path& hostFolder, std::string_view gameName, bool* exists) {
    refuseOtherFolder(gameName);
    const fs::path path = hostFolder / fromUtf8(cp1252ToUtf8(gameName));
    if (exists != nullptr) {
        std::error_code ec;
        *exists = fs::exists(fs::symlink_status(path, ec));
    }
    return path;
}
void HostPaths::noteCreated(const fs::path&) {}
std::string displayPath(const fs::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

#else

namespace {

// Appends a component with a separator where one is needed.
std::string join(const std::string& parent, const std::string& name) {
    std::string path = parent;
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += name;
    return path;
}

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

// FNV-1a over the upper-cased name.
std::uint64_t fingerprint(std::string_view name) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : name)
        hash = (hash ^ static_cast<unsigned char>(upperAscii(c))) * 1099511628211ull;
    return hash != 0 ? hash : 1;
}

// Calls `each` with every name in a host folder but "." and "..". Read with readdir: a folder of tens of
// thousands of files is listed once per run, and a path object per name would cost more than the listing.
template <typename Each> void forEachName(const std::string& hostDir, Each&& each) {
    if (DIR* dir = ::opendir(hostDir.empty() ? "." : hostDir.c_str())) {
        while (const dirent* d = ::readdir(dir)) {
            const std::string_view name(d->d_name);
            if (name != "." && name != "..")
                each(name);
        }
        ::closedir(dir);
    }
}

} // namespace

void HostPaths::Names::add(std::string name) {
    std::string upper = asciiUpper(name);
    const auto [it, inserted] = folded.try_emplace(std::move(upper), name);
    if (!inserted && it->second != name)
        otherCases.insert(std::move(name));
}

bool HostPaths::Names::hasExact(const std::string& name, const std::string& upper) const {
    const auto it = folded.find(upper);
    return it != folded.end() && (it->second == name || otherCases.count(name) != 0);
}

HostPaths::Listing& HostPaths::listing(const std::string& hostDir) {
    auto [it, inserted] = m_listings.try_emplace(hostDir);
    if (inserted) {
        Listing& folder = it->second;
        forEachName(hostDir, [&folder](std::string_view name) { folder.add(fingerprint(name)); });
    }
    return it->second;
}

void HostPaths::Listing::add(std::uint64_t print) {
    if (2 * (count + 1) > fingerprints.size()) {
        std::vector<std::uint64_t> old(2 * fingerprints.size());
        old.swap(fingerprints);
        count = 0;
        for (const std::uint64_t p : old)
            if (p != 0)
                add(p);
    }
    const std::size_t mask = fingerprints.size() - 1;
    for (std::size_t at = print & mask;; at = (at + 1) & mask) {
        if (fingerprints[at] == print)
            return;
        if (fingerprints[at] == 0) {
            fingerprints[at] = print;
            ++count;
            return;
        }
    }
}

bool HostPaths::Listing::mayHold(std::string_view name) const {
    const std::uint64_t print = fingerprint(name);
    const std::size_t mask = fingerprints.size() - 1;
    for (std::size_t at = print & mask; fingerprints[at] != 0; at = (at + 1) & mask)
        if (fingerprints[at] == print)
            return true;
    return false;
}

const HostPaths::Names& HostPaths::names(const std::string& hostDir, Listing& listing) {
    if (!listing.names) {
        listing.names.emplace();
        forEachName(hostDir, [&](std::string_view name) { listing.names->add(std::string(name)); });
    }
    return *listing.names;
}

bool HostPaths::resolve(const std::string& parent, const std::string& component, std::string& resolved) {
    // A folder listed before answers without touching the disk; it learns of files this mapper created.
    auto cached = m_listings.find(parent);
    if (cached == m_listings.end()) {
        if (exists(join(parent, component))) {
            resolved = join(parent, component);
            return true;
        }
        cached = m_listings.find(parent);
    }
    Listing& folder = cached != m_listings.end() ? cached->second : listing(parent);
    if (!folder.mayHold(component)) {
        resolved = join(parent, component);
        return false;
    }
    const Names& names = this->names(parent, folder);
    const std::string upper = asciiUpper(component);
    if (names.hasExact(component, upper)) {
        resolved = join(parent, component);
        return true;
    }
    if (const auto found = names.folded.find(upper); found != names.folded.end()) {
        resolved = join(parent, found->second);
        return true;
    }
    resolved = join(parent, component);
    return false;
}

fs::path HostPaths::map(std::string_view gamePath, bool* exists, PathText text) {
    refuseNul(gamePath);
    const auto hostText = [text](std::string_view raw) {
        return text == PathText::HostPrefixed && isValidUtf8(raw) ? std::string(raw) : cp1252ToUtf8(raw);
    };
    // A host-prefixed path's host folder runs to its last "/", and a backslash there is part of a name, as
    // Linux allows; only the game-style parts behind it use the backslash as a separator.
    const std::size_t hostEnd = text == PathText::HostPrefixed ? gamePath.rfind('/') : std::string_view::npos;
    const auto nextSeparator = [gamePath, hostEnd](std::size_t from) {
        return hostEnd != std::string_view::npos && from <= hostEnd ? gamePath.find('/', from)
                                                                    : gamePath.find_first_of("\\/", from);
    };
    // Split off the last component; the folders before it are resolved once per mapper.
    // The last separator of either kind lies at or behind the host folder's last "/".
    const std::size_t cut = gamePath.find_last_of("\\/");
    const std::string_view folderPart =
        cut == std::string_view::npos ? std::string_view() : gamePath.substr(0, cut + 1);
    const std::string_view last = cut == std::string_view::npos ? gamePath : gamePath.substr(cut + 1);
    const std::string folderKey = (text == PathText::GameOnly ? "g:" : "h:") + std::string(folderPart);

    std::string result;
    bool found = true;
    if (const auto known = m_folders.find(folderKey); known != m_folders.end()) {
        result = known->second;
    } else {
        std::size_t i = 0;
        if (!folderPart.empty() &&
            (folderPart[0] == '/' || (folderPart[0] == '\\' && hostEnd == std::string_view::npos))) {
            result.assign(1, '/');
            i = 1;
        }
        while (i < folderPart.size()) {
            std::size_t end = nextSeparator(i);
            if (end == std::string_view::npos || end > folderPart.size())
                end = folderPart.size();
            const std::string_view raw = folderPart.substr(i, end - i);
            // The host folder's names are the host's bytes, whatever their encoding: only game text is
            // converted.
            const bool inHostFolder = hostEnd != std::string_view::npos && i <= hostEnd;
            i = end + 1;
            if (raw.empty())
                continue;
            const std::string component = inHostFolder ? std::string(raw) : hostText(raw);
            if (!found || component == "." || component == "..") {
                result = join(result, component);
                continue;
            }
            std::string next;
            found = resolve(result, component, next);
            result = std::move(next);
        }
        if (found)
            m_folders.emplace(folderKey, result);
    }
    if (!last.empty()) {
        const std::string component = hostText(last);
        if (!found || component == "." || component == "..") {
            result = join(result, component);
        } else {
            std::string next;
            found = resolve(result, component, next);
            result = std::move(next);
        }
    } else if (!result.empty() && result.back() != '/') {
        // A trailing separator marks a folder; keep it so the caller's meaning survives.
        result += '/';
    }
    if (exists != nullptr)
        *exists = found;
    return fs::path(result);
}

fs::path HostPaths::within(const fs::path& hostFolder, std::string_view gameName, bool* exists) {
    refuseOtherFolder(gameName);
    // The folder's text as map() returned it, without a trailing "/", is the key its listing is kept under.
    std::string folder = hostFolder.native();
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    std::string resolved;
    const bool found = resolve(folder, cp1252ToUtf8(gameName), resolved);
    if (exists != nullptr)
        *exists = found;
    return fs::path(resolved);
}

void HostPaths::noteCreated(const fs::path& hostPath) {
    // Split as join() built it: the folder is the text before the last "/", "/" itself for the root.
    const std::string& path = hostPath.native();
    const std::size_t cut = path.rfind('/');
    const std::string dir = cut == std::string::npos ? std::string() : cut == 0 ? "/" : path.substr(0, cut);
    if (const auto it = m_listings.find(dir); it != m_listings.end()) {
        const std::string_view name = std::string_view(path).substr(cut == std::string::npos ? 0 : cut + 1);
        it->second.add(fingerprint(name));
        if (it->second.names)
            it->second.names->add(std::string(name));
    }
}

std::string displayPath(const fs::path& path) {
    return path.string();
}

#endif

fs::path hostPath(std::string_view gamePath, PathText text) {
    HostPaths paths;
    return paths.map(gamePath, nullptr, text);
}

} // namespace qm
