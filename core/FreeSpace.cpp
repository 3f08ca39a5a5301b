#include "FreeSpace.h"

#include "FileError.h"
#include "HostPath.h"

#include <cstdio>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/statvfs.h>
#endif

namespace qm {

namespace fs = std::filesystem;

namespace {

FreeSpaceQuery& currentQuery() {
    static FreeSpaceQuery query = hostFreeSpace;
    return query;
}

} // namespace

std::int64_t hostFreeSpace(const fs::path& folder) {
#ifdef _WIN32
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr))
        return -1;
    return static_cast<std::int64_t>(available.QuadPart);
#else
    struct statvfs st {};
    if (::statvfs(folder.c_str(), &st) != 0)
        return -1;
    // What an unprivileged writer may use; the blocks kept for the superuser do not count.
    return static_cast<std::int64_t>(st.f_bavail) * static_cast<std::int64_t>(st.f_frsize);
#endif
}

FreeSpaceQuery replaceFreeSpaceQuery(FreeSpaceQuery query) {
    return std::exchange(currentQuery(), std::move(query));
}

std::string readableSize(std::int64_t bytes) {
    if (bytes < 1000)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1000.0;
    std::size_t unit = 0;
    // Rounded to one decimal, 999.95 would read 1000.0: move up a unit before that.
    while (value >= 999.95 && unit + 1 < std::size(kUnits)) {
        value /= 1000.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

void requireFreeSpace(const fs::path& output, std::int64_t needed) {
    if (needed <= 0)
        return;
    // The output folder may not exist yet: its file system is that of the nearest folder above it.
    fs::path folder = output.empty() ? fs::path(".") : output;
    std::error_code ec;
    while (!fs::is_directory(folder, ec)) {
        const fs::path parent = folder.parent_path();
        if (parent.empty() || parent == folder) {
            folder = ".";
            break;
        }
        folder = parent;
    }
    const std::int64_t free = currentQuery()(folder);
    if (free < 0 || needed <= free)
        return;
    std::string need = readableSize(needed);
    std::string have = readableSize(free);
    if (need == have) { // too close to tell apart when rounded
        need = std::to_string(needed) + " bytes";
        have = std::to_string(free) + " bytes";
    }
    throw FileError(DiskFull, "not enough free space: needs " + need + ", " + have + " free",
                    displayPath(output));
}

} // namespace qm
