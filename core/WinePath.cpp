#include "WinePath.h"

#include "HostPath.h"
#include "Text.h"

#include <algorithm>
#include <system_error>

namespace qm {

namespace fs = std::filesystem;

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Wine names its drive links "c:", "z:"; a letter of either case finds a link spelt in either.
fs::path driveLink(const fs::path& prefix, char letter) {
    const fs::path devices = prefix / "dosdevices";
    const std::string name{letter, ':'};
    std::error_code ec;
    for (fs::directory_iterator it(devices, ec), end; !ec && it != end; it.increment(ec)) {
        if (equalsIgnoreCase(it->path().filename().string(), name))
            return it->path();
    }
    return {};
}

} // namespace

std::string mapWinePath(const fs::path& prefix, std::string_view windowsPath) {
    // A NUL cannot be part of any path: such a value names no folder.
    if (windowsPath.size() < 2 || windowsPath[1] != ':' || !isAsciiLetter(windowsPath[0]) ||
        windowsPath.find('\0') != std::string_view::npos)
        return {};
    const fs::path link = driveLink(prefix, windowsPath[0]);
    if (link.empty())
        return {};
    std::error_code ec;
    const fs::path drive = fs::canonical(link, ec);
    if (ec || !fs::is_directory(drive, ec))
        return {};
    // The registry text is in the ANSI code page; host names are UTF-8. Both slashes separate Windows
    // folders, and the mapper takes the part behind the drive as host text.
    std::string rest = cp1252ToUtf8(windowsPath.substr(2));
    std::replace(rest.begin(), rest.end(), '\\', '/');
    if (rest.empty())
        return drive.string();
    return hostPath(drive.string() + "/" + rest).string();
}

fs::path enclosingWinePrefix(const fs::path& folder) {
    std::error_code ec;
    fs::path at = fs::absolute(folder, ec);
    if (ec)
        return {};
    for (;;) {
        if (fs::is_directory(at / "dosdevices", ec))
            return at;
        if (!at.has_relative_path())
            return {};
        at = at.parent_path();
    }
}

} // namespace qm
