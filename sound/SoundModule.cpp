// The decoder module, loaded the first time a sound is decoded: FFmpeg's hundred-odd libraries cost every
// start of the programs otherwise, whether a sound is decoded or not.
#include "Sound.h"
#include "SoundModuleApi.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include "Endian.h"

#include <dlfcn.h>
#include <fstream>
#include <iterator>
#endif

namespace qm {

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr const char* kModuleName = "quillmere-sound.dll";
#else
constexpr const char* kModuleName = "quillmere-sound.so";
#endif

fs::path programFolder() {
#ifdef _WIN32
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return fs::path(path).parent_path();
#else
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).parent_path();
#endif
}

// Beside the program (the build tree, the Windows zip), then the package's private library folder as seen
// from the program's folder, then as installed.
std::vector<fs::path> candidates() {
    std::vector<fs::path> paths;
    const fs::path folder = programFolder();
    if (!folder.empty()) {
        paths.push_back(folder / kModuleName);
#ifdef QUILLMERE_SOUND_LIBDIR
        paths.push_back(folder / ".." / QUILLMERE_SOUND_LIBDIR / "quillmere" / kModuleName);
#endif
    }
#ifdef QUILLMERE_SOUND_FULL_LIBDIR
    paths.push_back(fs::path(QUILLMERE_SOUND_FULL_LIBDIR) / "quillmere" / kModuleName);
#endif
    return paths;
}

#ifndef _WIN32
// dlopen maps a library's segments where its program headers place them in the file, and touching a
// segment that the file no longer holds ends the process (SIGBUS): a module cut short is refused before.
// Anything that is not a little-endian ELF file is left to dlopen to judge.
std::optional<std::string> cutShort(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto file = endian::asBytes(bytes.data(), bytes.size());
    if (bytes.size() < 64 || bytes.compare(0, 4, "\177ELF") != 0 || bytes[5] != 1)
        return std::nullopt;
    const bool wide = bytes[4] == 2; // ELFCLASS64
    const auto load64 = [&](std::uint64_t at) {
        return at + 8 > file.size() ? ~std::uint64_t{0}
                                    : std::uint64_t{endian::loadU32(file, at)} |
                                          (std::uint64_t{endian::loadU32(file, at + 4)} << 32);
    };
    const std::uint64_t table = wide ? load64(32) : endian::loadU32(file, 28);
    const std::uint64_t entrySize = endian::loadU16(file, wide ? 54 : 42);
    const std::uint64_t entries = endian::loadU16(file, wide ? 56 : 44);
    const std::uint64_t need = table + entrySize * entries;
    if (table > file.size() || need > file.size() || entrySize < (wide ? 56u : 32u))
        return "the file is cut short: it ends at " + std::to_string(file.size()) +
               " bytes, inside its headers";
    for (std::uint64_t i = 0; i < entries; ++i) {
        const std::uint64_t at = table + i * entrySize;
        if (endian::loadU32(file, at) != 1) // PT_LOAD
            continue;
        const std::uint64_t offset = wide ? load64(at + 8) : endian::loadU32(file, at + 4);
        const std::uint64_t size = wide ? load64(at + 32) : endian::loadU32(file, at + 16);
        if (offset > file.size() || size > file.size() - offset)
            return "the file is cut short: it ends at " + std::to_string(file.size()) +
                   " bytes, before the end of its code and data";
    }
    return std::nullopt;
}
#endif

// A loaded module and its table; the library stays loaded while the object lives.
class Module {
public:
    explicit Module(const fs::path& path) : m_name(path.string()) {
#ifdef _WIN32
        m_handle = LoadLibraryW(path.c_str());
        if (m_handle == nullptr)
            throw SoundUnavailable(m_name,
                                   "cannot be loaded (Windows error " + std::to_string(GetLastError()) + ")");
        // A FARPROC of another signature: copied, as no cast between function types passes the warnings.
        const FARPROC found = GetProcAddress(m_handle, QUILLMERE_SOUND_ENTRY);
        QuillmereSoundApiFunction entry = nullptr;
        static_assert(sizeof entry == sizeof found);
        std::memcpy(&entry, &found, sizeof entry);
#else
        if (const std::optional<std::string> why = cutShort(path))
            throw SoundUnavailable(m_name, *why);
        m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (m_handle == nullptr)
            throw SoundUnavailable(m_name, withoutName(dlerror()));
        const auto entry =
            reinterpret_cast<QuillmereSoundApiFunction>(dlsym(m_handle, QUILLMERE_SOUND_ENTRY));
#endif
        if (entry == nullptr) {
            release();
            throw SoundUnavailable(m_name, std::string("it has no entry point ") + QUILLMERE_SOUND_ENTRY);
        }
        m_api = entry(QUILLMERE_SOUND_API_VERSION);
        if (m_api == nullptr || m_api->version != QUILLMERE_SOUND_API_VERSION || m_api->decode == nullptr ||
            m_api->freePcm == nullptr) {
            release();
            throw SoundUnavailable(m_name, "it does not offer version " +
                                               std::to_string(QUILLMERE_SOUND_API_VERSION) +
                                               " of its interface");
        }
    }
    ~Module() {
        release();
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    const QuillmereSoundApi& api() const {
        return *m_api;
    }

private:
    // dlerror names the file first; the message names it once.
    std::string withoutName(const char* error) const {
        std::string text = error != nullptr ? error : "cannot be loaded";
        if (text.rfind(m_name + ": ", 0) == 0)
            text.erase(0, m_name.size() + 2);
        return text;
    }
    void release() {
#ifdef _WIN32
        if (m_handle != nullptr)
            FreeLibrary(m_handle);
#else
        if (m_handle != nullptr)
            dlclose(m_handle);
#endif
        m_handle = nullptr;
    }

    std::string m_name;
#ifdef _WIN32
    HMODULE m_handle = nullptr;
#else
    void* m_handle = nullptr;
#endif
    const QuillmereSoundApi* m_api = nullptr;
};

std::unique_ptr<Module> openDefault() {
    if (const char* named = std::getenv("QUILLMERE_SOUND_MODULE"); named != nullptr && *named != '\0') {
        std::error_code ec;
        if (!fs::exists(named, ec))
            throw SoundUnavailable(named, "no such file");
        return std::make_unique<Module>(named);
    }
    const std::vector<fs::path> paths = candidates();
    for (const fs::path& path : paths) {
        std::error_code ec;
        if (fs::exists(path, ec))
            return std::make_unique<Module>(path);
    }
    if (paths.empty())
        throw SoundUnavailable(kModuleName, "the program's folder is unknown");
    std::string elsewhere;
    for (std::size_t i = 1; i < paths.size(); ++i)
        elsewhere += (i == 1 ? ", nor in " : ", ") + paths[i].lexically_normal().parent_path().string();
    throw SoundUnavailable(paths[0].string(), "not found" + elsewhere);
}

// Loaded once and kept to the end of the process; a failure is asked again next time, so that a module
// put in place meanwhile is found.
const QuillmereSoundApi& decoder() {
    static std::mutex mutex;
    static std::unique_ptr<Module> module;
    const std::lock_guard<std::mutex> lock(mutex);
    if (!module)
        module = openDefault();
    return module->api();
}

} // namespace

SoundUnavailable::SoundUnavailable(const std::string& module, const std::string& reason)
    : SoundError("sound decoding is not available: " + module + ": " + reason) {}

void requireSoundDecoder() {
    decoder();
}

void probeSoundModule(const std::string& path) {
    const Module module(path);
}

Pcm decodeSound(std::span<const std::byte> bytes, std::size_t maxSamples) {
    const QuillmereSoundApi& api = decoder();
    QuillmerePcm out{};
    char error[512] = {};
    if (api.decode(bytes.data(), bytes.size(), maxSamples, &out, error, sizeof error) != 0)
        throw SoundError(error[0] != '\0' ? error : "the decoder failed");
    Pcm pcm;
    pcm.channels = out.channels;
    pcm.rate = out.rate;
    try {
        pcm.samples.assign(out.samples, out.samples + out.count);
    } catch (...) {
        api.freePcm(&out);
        throw;
    }
    api.freePcm(&out);
    return pcm;
}

Pcm decodeSound(const std::string& bytes, std::size_t maxSamples) {
    return decodeSound(std::as_bytes(std::span(bytes.data(), bytes.size())), maxSamples);
}

} // namespace qm
