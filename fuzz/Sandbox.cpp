#include "Sandbox.h"

#include "Endian.h"
#include "Text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>
#include <unistd.h>

namespace qm::fuzz {

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        fail("cannot write " + path.string());
}

void emptyFolder(const fs::path& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(it->path(), ec);
    }
}

} // namespace

void fail(const std::string& what) {
    std::fprintf(stderr, "quillmere fuzz check failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

Sandbox::Sandbox() {
    std::random_device rd;
    m_root = fs::temp_directory_path() /
             ("quillmere-fuzz-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    m_game = m_root / "outer" / "inner" / "game";
    m_work = m_root / "outer" / "inner" / "work";
    fs::create_directories(m_game);
    fs::create_directories(m_work);
}

Sandbox::~Sandbox() {
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

std::string Sandbox::gamePrefix() const {
    return m_game.string() + "/";
}

void Sandbox::reset(const std::map<std::string, std::string>& gameFiles,
                    const std::map<std::string, std::string>& gameLinks) {
    emptyFolder(m_game);
    emptyFolder(m_work);
    for (const auto& [relative, bytes] : gameFiles)
        writeAll(m_game / relative, bytes);
    for (const auto& [relative, target] : gameLinks) {
        fs::create_directories((m_game / relative).parent_path());
        fs::create_directory_symlink(target, m_game / relative);
    }
    m_before = scan();
    m_home = fs::current_path();
    fs::current_path(m_work);
}

std::map<std::string, std::string> Sandbox::scan() const {
    std::map<std::string, std::string> tree;
    std::error_code ec;
    fs::recursive_directory_iterator it(m_root, ec);
    if (ec)
        fail("cannot list " + m_root.string());
    for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            fail("cannot list below " + m_root.string());
        // Lexically: fs::relative resolves every component of both paths through the file system.
        const std::string relative = it->path().lexically_relative(m_root).generic_string();
        if (it->path() == m_work) {
            it.disable_recursion_pending();
            tree[relative] = "d";
        } else if (it->is_symlink(ec)) {
            tree[relative] = "l" + fs::read_symlink(it->path(), ec).string();
        } else if (it->is_directory(ec)) {
            tree[relative] = "d";
        } else {
            tree[relative] = "f" + readAll(it->path());
        }
    }
    return tree;
}

void Sandbox::check() const {
    const auto after = scan();
    for (const auto& [path, state] : after) {
        const auto found = m_before.find(path);
        if (found == m_before.end())
            fail("written outside the current folder: " + path);
        if (found->second != state)
            fail("changed outside the current folder: " + path);
    }
    for (const auto& [path, state] : m_before)
        if (after.count(path) == 0)
            fail("removed outside the current folder: " + path);
    if (fs::current_path() != m_work)
        fail("the current folder changed");
    // libFuzzer names its corpus and artifacts relative to the folder it was started in.
    fs::current_path(m_home);
}

int openFileCount() {
    int count = 0;
    std::error_code ec;
    for (fs::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec))
        ++count;
    return count;
}

std::map<std::string, std::string> GameInput::gameFiles() const {
    const std::string onDisk =
        lowerCaseOnDisk ? "data/" + asciiLower(archiveName) + ".bif" : "data/" + archiveName + ".BIF";
    return {{"chitin.key", key}, {onDisk, bif}};
}

GameInput splitGameInput(const std::uint8_t* data, std::size_t size) {
    static constexpr std::array<const char*, 4> kNames = {"ITEMS", "CREATURE", "SPELLS", "CHASOUND"};
    GameInput input;
    const std::uint8_t selector = size > 0 ? data[0] : 0;
    input.archiveName = kNames[selector & 3];
    input.lowerCaseOnDisk = (selector & 4) != 0;
    const std::size_t keyLength = size >= 3 ? qm::endian::loadU16(qm::endian::asBytes(data, size), 1) : 0;
    const std::size_t rest = size >= 3 ? size - 3 : 0;
    const std::uint8_t* body = data + (size >= 3 ? 3 : size);
    const std::size_t taken = std::min(keyLength, rest);
    input.key.assign(body, body + taken);
    input.bif.assign(body + taken, body + rest);
    return input;
}

std::string joinGameInput(std::uint8_t selector, std::string_view key, std::string_view bif) {
    std::string out;
    out += static_cast<char>(selector);
    out += static_cast<char>(key.size() & 0xFF);
    out += static_cast<char>((key.size() >> 8) & 0xFF);
    out += key;
    out += bif;
    return out;
}

} // namespace qm::fuzz
