#include "GameLanguage.h"

#include "HostPath.h"
#include "Text.h"
#include "WholeFile.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <shlobj.h>
#include <windows.h>
#endif

namespace qm {

namespace fs = std::filesystem;

namespace {

// Baldur.lua and weidu.conf are a few KB; anything far larger is not the game's.
constexpr std::uintmax_t kMaxSettingsFile = std::uintmax_t{1} << 20;

std::string readSettingsFile(const fs::path& path) {
    return readSmallFile(path, kMaxSettingsFile).value_or(std::string());
}

// A language names one folder: nothing that could climb out of lang\ or reach another drive.
bool plausibleLanguage(std::string_view lang) {
    return !lang.empty() && lang.size() <= 32 && std::all_of(lang.begin(), lang.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-';
    });
}

// The edition's user folder, where the game writes Baldur.lua.
fs::path luaFile() {
    constexpr const char* kUserFolder = "Baldur's Gate - Enhanced Edition";
#ifdef _WIN32
    wchar_t documents[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, documents) != S_OK)
        return {};
    return fs::path(documents) / kUserFolder / "Baldur.lua";
#else
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/')
        return fs::path(data) / kUserFolder / "Baldur.lua";
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0')
        return {};
    return fs::path(home) / ".local/share" / kUserFolder / "Baldur.lua";
#endif
}

// lang_dir of weidu.conf ("lang_dir = de_de"), the language the game's mods were installed for.
std::string weiduLanguage(const std::string& BGpath) {
    bool found = false;
    const fs::path conf = HostPaths().map(BGpath + "weidu.conf", &found);
    if (!found)
        return {};
    const std::string text = readSettingsFile(conf);
    std::string lang;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        const std::string line = trim(std::string_view(text).substr(from, end - from));
        from = end + 1;
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos && equalsIgnoreCase(trim(line.substr(0, equals)), "lang_dir"))
            lang = trim(line.substr(equals + 1));
    }
    return lang;
}

bool holdsTable(const std::string& BGpath, const std::string& lang) {
    if (!plausibleLanguage(lang))
        return false;
    bool found = false;
    const fs::path table = HostPaths().map(BGpath + "lang\\" + lang + "\\dialog.tlk", &found);
    std::error_code ec;
    return found && fs::is_regular_file(table, ec);
}

// The lang\ folders that hold a table, in sorted order, as spelt on disk.
std::vector<std::string> languagesOnDisk(const std::string& BGpath) {
    std::vector<std::string> found;
    bool exists = false;
    const fs::path lang = HostPaths().map(BGpath + "lang", &exists);
    if (!exists)
        return found;
    std::error_code ec;
    for (fs::directory_iterator it(lang, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (holdsTable(BGpath, name))
            found.push_back(name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace

std::string luaLanguage(const std::string& luaText) {
    // SetPrivateProfileString('Language','Text','de_DE'); either quote, blanks anywhere between.
    std::string lang;
    std::vector<std::string> args;
    std::size_t from = 0;
    while ((from = luaText.find("SetPrivateProfileString", from)) != std::string::npos) {
        std::size_t pos = luaText.find_first_not_of(" \t", from + 23);
        from += 23;
        if (pos == std::string::npos || luaText[pos] != '(')
            continue;
        ++pos;
        args.clear();
        while (args.size() < 3) {
            pos = luaText.find_first_not_of(" \t,", pos);
            if (pos == std::string::npos || (luaText[pos] != '\'' && luaText[pos] != '"'))
                break;
            const std::size_t close = luaText.find(luaText[pos], pos + 1);
            const std::size_t lineEnd = luaText.find('\n', pos);
            if (close == std::string::npos || close > lineEnd)
                break;
            args.push_back(luaText.substr(pos + 1, close - pos - 1));
            pos = close + 1;
        }
        if (args.size() == 3 && equalsIgnoreCase(args[0], "Language") && equalsIgnoreCase(args[1], "Text"))
            lang = args[2];
    }
    return lang;
}

std::string gameLanguage(const std::string& BGpath, const std::optional<std::string>& requested) {
    // A folder given as "en_US/" names the folder en_US.
    std::vector<std::string> candidates;
    if (requested)
        candidates.push_back(withoutTrailingSeparators(*requested));
    else if (const char* variable = std::getenv("QUILLMERE_LANG"); variable != nullptr && *variable != '\0')
        candidates.push_back(withoutTrailingSeparators(variable));
    candidates.push_back(luaLanguage(readSettingsFile(luaFile())));
    candidates.push_back(weiduLanguage(BGpath));
    candidates.emplace_back("en_US");
    for (const std::string& lang : candidates)
        if (holdsTable(BGpath, lang))
            return lang;
    const std::vector<std::string> onDisk = languagesOnDisk(BGpath);
    return onDisk.empty() ? std::string() : onDisk.front();
}

} // namespace qm
