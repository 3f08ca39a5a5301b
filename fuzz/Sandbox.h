#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace qm::fuzz {

// A private folder tree for one fuzzing process: <root>/outer/inner/game holds the game files of the
// current input and <root>/outer/inner/work is the current directory while the input runs. The levels
// above the work folder are there so that a path climbing out of it by one, two or three steps lands
// where check() looks.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::filesystem::path& game() const { return m_game; }
    // The game folder as BGpath holds it, with its trailing separator.
    std::string gamePrefix() const;

    // Makes the work folder current until check(), and replaces the game folder's files with these (paths
    // relative to the game folder, with their bytes) and folder links (relative path and link target), and
    // empties the work folder; then remembers everything outside the work folder as it is.
    void reset(const std::map<std::string, std::string>& gameFiles,
               const std::map<std::string, std::string>& gameLinks = {});
    // Aborts, naming the difference, when anything outside the work folder changed since reset(): an
    // entry added or removed anywhere in the tree, or a game file's bytes. Then returns to the folder
    // that was current before reset().
    void check() const;

private:
    std::map<std::string, std::string> scan() const;

    std::filesystem::path m_root;
    std::filesystem::path m_game;
    std::filesystem::path m_work;
    std::filesystem::path m_home;
    // Relative path -> "d" for a folder, "l" + target for a link, "f" + bytes for a file.
    std::map<std::string, std::string> m_before;
};

// How many file descriptors the process holds open, to find files left open after a failure.
int openFileCount();

// Stops the run with a report that libFuzzer counts as a crash.
[[noreturn]] void fail(const std::string& what);

// A catalogue and an archive from one input: byte 0 chooses the archive, bytes 1-2 (little-endian) are
// the catalogue's length, then come the catalogue's bytes and the archive's bytes take the rest.
struct GameInput {
    std::string archiveName; // "ITEMS", "CREATURE", "SPELLS" or "CHASOUND"
    bool lowerCaseOnDisk = false;
    std::string key;
    std::string bif;

    // The game folder's files: the catalogue, and the archive under the name the choice expects.
    std::map<std::string, std::string> gameFiles() const;
};
GameInput splitGameInput(const std::uint8_t* data, std::size_t size);
std::string joinGameInput(std::uint8_t selector, std::string_view key, std::string_view bif);

} // namespace qm::fuzz
