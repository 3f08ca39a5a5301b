#include "FolderState.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <system_error>

namespace qm::test {

namespace fs = std::filesystem;

namespace {

// FNV-1a over the file's bytes: enough to tell a changed file from an unchanged one.
std::string digest(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    std::uint64_t size = 0;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 0x100000001b3ULL;
            ++size;
        }
    }
    char text[40];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return "file " + std::to_string(size) + " " + text;
}

} // namespace

FolderState folderState(const fs::path& root, const fs::path& skip) {
    FolderState state;
    for (fs::recursive_directory_iterator it(root), end; it != end; ++it) {
        const std::string relative = fs::relative(it->path(), root).generic_string();
        std::error_code ec;
        if (it->is_symlink(ec)) {
            state[relative] = "link " + fs::read_symlink(it->path(), ec).string();
        } else if (it->is_directory(ec)) {
            state[relative] = "dir";
            if (!skip.empty() && fs::equivalent(it->path(), skip, ec))
                it.disable_recursion_pending();
        } else {
            state[relative] = digest(it->path());
        }
    }
    return state;
}

int openFileCount() {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

} // namespace qm::test
