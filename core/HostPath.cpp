#include "HostPath.h"

#include "Text.h"

#include <system_error>

namespace qm {

namespace fs = std::filesystem;

#ifdef _WIN32

// Windows already resolves names without regard to case; the narrow path is in the ANSI code page,
// which is what game text is.
fs::path HostPaths::map(std::string_view gamePath) { return fs::path(std::string(gamePath)); }
void HostPaths::noteCreated(const fs::path&) {}
std::string displayPath(const fs::path& path) { return path.string(); }

#else

namespace {

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

} // namespace

const HostPaths::Listing& HostPaths::listing(const std::string& hostDir) {
    auto [it, inserted] = m_listings.try_emplace(hostDir);
    if (inserted) {
        std::error_code ec;
        for (fs::directory_iterator d(hostDir.empty() ? "." : hostDir, ec), end; !ec && d != end;
             d.increment(ec)) {
            const std::string name = d->path().filename().string();
            it->second.try_emplace(asciiUpper(name), name);
        }
    }
    return it->second;
}

fs::path HostPaths::map(std::string_view gamePath) {
    std::string result;
    bool missing = false; // once a component is missing, nothing below it can exist
    std::size_t i = 0;
    if (!gamePath.empty() && (gamePath[0] == '\\' || gamePath[0] == '/')) {
        result = "/";
        i = 1;
    }
    while (i <= gamePath.size()) {
        std::size_t end = gamePath.find_first_of("\\/", i);
        if (end == std::string_view::npos)
            end = gamePath.size();
        const std::string_view raw = gamePath.substr(i, end - i);
        i = end + 1;
        if (raw.empty())
            continue;
        const std::string component = isValidUtf8(raw) ? std::string(raw) : cp1252ToUtf8(raw);
        const std::string parent = result;
        if (!result.empty() && result.back() != '/')
            result += '/';
        if (missing || component == "." || component == "..") {
            result += component;
            continue;
        }
        if (exists(result + component)) {
            result += component;
            continue;
        }
        const Listing& names = listing(parent);
        if (const auto found = names.find(asciiUpper(component)); found != names.end()) {
            result += found->second;
        } else {
            result += component;
            missing = true;
        }
    }
    // A trailing separator marks a folder; keep it so the caller's meaning survives.
    if (!gamePath.empty() && (gamePath.back() == '\\' || gamePath.back() == '/') && !result.empty() &&
        result.back() != '/')
        result += '/';
    return fs::path(result);
}

void HostPaths::noteCreated(const fs::path& hostPath) {
    std::string dir = hostPath.parent_path().string();
    if (const auto it = m_listings.find(dir); it != m_listings.end()) {
        const std::string name = hostPath.filename().string();
        it->second.try_emplace(asciiUpper(name), name);
    }
}

std::string displayPath(const fs::path& path) { return path.string(); }

#endif

fs::path hostPath(std::string_view gamePath) {
    HostPaths paths;
    return paths.map(gamePath);
}

} // namespace qm
