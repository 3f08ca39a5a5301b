#include "ArchiveLocation.h"

#include "HostPath.h"
#include "Text.h"
#include "WholeFile.h"
#include "WinePath.h"

#include <optional>
#include <sstream>
#include <system_error>

namespace qm {

namespace fs = std::filesystem;

namespace {

// Baldur.ini is a few KB; a larger file is not the game's.
constexpr std::uintmax_t kMaxIniSize = std::uintmax_t{1} << 20;

// A Windows folder in one spelling: "\" separators, ASCII upper case, one separator at its end.
std::string folded(std::string_view windowsPath) {
    std::string text = asciiUpper(windowsPath);
    for (char& c : text)
        if (c == '/')
            c = '\\';
    if (!text.empty() && text.back() != '\\')
        text += '\\';
    return text;
}

bool isRegularFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// The values of the [Alias] section by key ("CD1:", "HD0:"), keys upper-cased; later lines win.
std::vector<std::pair<std::string, std::string>> readAliases(const std::string& BGpath) {
    std::vector<std::pair<std::string, std::string>> aliases;
    bool found = false;
    const fs::path ini = HostPaths().map(BGpath + "Baldur.ini", &found);
    const std::optional<std::string> contents = found ? readSmallFile(ini, kMaxIniSize) : std::nullopt;
    if (!contents)
        return aliases;
    std::istringstream in(*contents);
    std::string line;
    bool inAlias = false;
    while (std::getline(in, line)) {
        const std::string text = trim(line);
        if (text.starts_with('[')) {
            inAlias = equalsIgnoreCase(text, "[Alias]");
            continue;
        }
        const std::size_t equals = text.find('=');
        if (inAlias && equals != std::string::npos)
            aliases.emplace_back(asciiUpper(trim(text.substr(0, equals))), trim(text.substr(equals + 1)));
    }
    return aliases;
}

std::string aliasValue(const std::vector<std::pair<std::string, std::string>>& aliases,
                       const std::string& key) {
    std::string value;
    for (const auto& [name, text] : aliases)
        if (name == key)
            value = text;
    return value;
}

} // namespace

std::vector<std::string> archiveFolders(const std::string& BGpath, const std::string& lang) {
    std::vector<std::string> folders;
    // The Enhanced Edition keeps the archives of spoken and written text per language.
    if (!lang.empty())
        folders.push_back(BGpath + "lang\\" + lang + "\\");
    const auto aliases = readAliases(BGpath);
    const std::string home = folded(aliasValue(aliases, "HD0:"));
#ifndef _WIN32
    bool prefixLooked = false;
    fs::path prefix;
#endif
    for (int n = 1; n <= 6; ++n) {
        const std::string value = aliasValue(aliases, "CD" + std::to_string(n) + ":");
        for (std::size_t from = 0; from <= value.size();) {
            const std::size_t to = std::min(value.find(';', from), value.size());
            const std::string path = trim(std::string_view(value).substr(from, to - from));
            from = to + 1;
            if (path.empty())
                continue;
            if (home.size() > 1 && folded(path).starts_with(home)) {
                folders.push_back(BGpath + withTrailingSeparator(path.substr(home.size()), '\\'));
                continue;
            }
#ifdef _WIN32
            folders.push_back(withTrailingSeparator(path, '\\'));
#else
            if (!prefixLooked) {
                prefix = enclosingWinePrefix(hostPath(BGpath.empty() ? "." : BGpath));
                prefixLooked = true;
            }
            if (prefix.empty())
                continue;
            if (std::string mapped = mapWinePath(prefix, path); !mapped.empty())
                folders.push_back(mapped.back() == '/' ? mapped : mapped + '/');
#endif
        }
    }
    for (int n = 1; n <= 6; ++n)
        folders.push_back(BGpath + "CD" + std::to_string(n) + "\\");
    return folders;
}

fs::path locateArchive(const SelectionState& selection) {
    const std::string relative = selection.targetdir + selection.targetfile + ".bif";
    bool found = false;
    const fs::path primary = HostPaths().map(selection.BGpath + relative, &found);
    if (found && isRegularFile(primary))
        return primary;
    for (const std::string& folder : archiveFolders(selection.BGpath, selection.lang)) {
        const fs::path candidate = HostPaths().map(folder + relative, &found);
        if (found && isRegularFile(candidate))
            return candidate;
    }
    return primary;
}

} // namespace qm
