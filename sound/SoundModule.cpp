// The decoder module, loaded the first time a sound is decoded: FFmpeg's hundred-odd libraries cost every
// start of the programs otherwise, whether a sound is decoded or not.
#include "Endian.h"
#include "Sound.h"
#include "SoundModuleApi.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
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

// The loader maps a library's parts where its headers place them in the file, and touching a part that the
// file no longer holds ends the process (SIGBUS on Linux): a module cut short is refused before. Only the
// headers are read; anything but an ELF or PE file is left to the loader to judge.
std::string cutShortText(std::uint64_t size, const char* where) {
    return "the file is cut short: it ends at " + std::to_string(size) + " bytes, " + where;
}

std::optional<std::string> cutShortElf(std::span<const std::byte> file) {
    if (file.size() < 64 || std::to_integer<int>(file[5]) != 1) // little-endian only
        return std::nullopt;
    const bool wide = std::to_integer<int>(file[4]) == 2; // ELFCLASS64
    const auto load64 = [&](std::uint64_t at) {
        return at + 8 > file.size() ? ~std::uint64_t{0}
                                    : std::uint64_t{endian::loadU32(file, at)} |
                                          (std::uint64_t{endian::loadU32(file, at + 4)} << 32);
    };
    const std::uint64_t table = wide ? load64(32) : endian::loadU32(file, 28);
    const std::uint64_t entrySize = endian::loadU16(file, wide ? 54 : 42);
    const std::uint64_t entries = endian::loadU16(file, wide ? 56 : 44);
    if (table > file.size() || table + entrySize * entries > file.size() || entrySize < (wide ? 56u : 32u))
        return cutShortText(file.size(), "inside its headers");
    for (std::uint64_t i = 0; i < entries; ++i) {
        const std::uint64_t at = table + i * entrySize;
        if (endian::loadU32(file, at) != 1) // PT_LOAD
            continue;
        const std::uint64_t offset = wide ? load64(at + 8) : endian::loadU32(file, at + 4);
        const std::uint64_t size = wide ? load64(at + 32) : endian::loadU32(file, at + 16);
        if (offset > file.size() || size > file.size() - offset)
            return cutShortText(file.size(), "before the end of its code and data");
    }
    return std::nullopt;
}

// A PE file: the PE header's offset at 0x3C, there "PE\0\0" and the COFF header with the section count
// (+6) and the optional header's size (+20); the section table follows, 40 bytes a section, each with its
// data's size (+16) and offset (+20) in the file.
std::optional<std::string> cutShortPe(std::span<const std::byte> file) {
    if (file.size() < 0x40)
        return cutShortText(file.size(), "inside its headers");
    const std::uint64_t pe = endian::loadU32(file, 0x3C);
    if (pe + 24 > file.size())
        return cutShortText(file.size(), "inside its headers");
    if (endian::loadU32(file, pe) != 0x00004550u) // "PE\0\0"
        return std::nullopt;
    const std::uint64_t sections = endian::loadU16(file, pe + 6);
    const std::uint64_t table = pe + 24 + endian::loadU16(file, pe + 20);
    if (table + 40 * sections > file.size())
        return cutShortText(file.size(), "inside its headers");
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::uint64_t at = table + 40 * i;
        const std::uint64_t size = endian::loadU32(file, at + 16);
        const std::uint64_t offset = endian::loadU32(file, at + 20);
        if (size > 0 && (offset > file.size() || size > file.size() - offset))
            return cutShortText(file.size(), "before the end of its code and data");
    }
    return std::nullopt;
}

std::optional<std::string> cutShort(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto file = endian::asBytes(bytes.data(), bytes.size());
    if (bytes.compare(0, 4, "\177ELF") == 0)
        return cutShortElf(file);
    if (bytes.compare(0, 2, "MZ") == 0)
        return cutShortPe(file);
    return std::nullopt;
}

#ifdef _WIN32
// What the usual failures of LoadLibrary mean for this module.
std::string windowsLoadError(DWORD code) {
    switch (code) {
    case ERROR_MOD_NOT_FOUND:
        return "a DLL it needs is missing (Windows error 126)";
    case ERROR_BAD_EXE_FORMAT:
        return "it is not a 64-bit Windows library (Windows error 193)";
    case ERROR_PROC_NOT_FOUND:
        return "a DLL it needs is of another version (Windows error 127)";
    default:
        return "it cannot be loaded (Windows error " + std::to_string(code) + ")";
    }
}
#endif

// A loaded module and its table; the library stays loaded while the object lives.
class Module {
public:
    explicit Module(const fs::path& path) : m_name(path.string()) {
        std::error_code ec;
        if (!fs::exists(path, ec))
            throw SoundUnavailable(m_name, "no such file");
        if (const std::optional<std::string> why = cutShort(path))
            throw SoundUnavailable(m_name, *why);
#ifdef _WIN32
        m_handle = LoadLibraryW(path.c_str());
        if (m_handle == nullptr)
            throw SoundUnavailable(m_name, windowsLoadError(GetLastError()));
        // A FARPROC of another signature: copied, as no cast between function types passes the warnings.
        const FARPROC found = GetProcAddress(m_handle, QUILLMERE_SOUND_ENTRY);
        QuillmereSoundApiFunction entry = nullptr;
        static_assert(sizeof entry == sizeof found);
        std::memcpy(&entry, &found, sizeof entry);
#else
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
            m_api->freePcm == nullptr || m_api->convert == nullptr) {
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
    if (const char* named = std::getenv("QUILLMERE_SOUND_MODULE"); named != nullptr && *named != '\0')
        return std::make_unique<Module>(named);
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

std::size_t convertSound(const Pcm& pcm, const OutputFormat& format, std::span<std::byte> out) {
    const QuillmereSoundApi& api = decoder();
    // The module's numbering of the types follows SampleType's order.
    const int type = QUILLMERE_SAMPLE_U8 + static_cast<int>(format.type);
    // The module only reads the samples.
    const QuillmerePcm in{pcm.channels, pcm.rate, const_cast<std::int16_t*>(pcm.samples.data()),
                          pcm.samples.size()};
    std::size_t written = 0;
    char error[512] = {};
    if (api.convert(&in, format.rate, format.channels, type, out.data(), out.size(), &written, error,
                    sizeof error) != 0)
        throw SoundError(error[0] != '\0' ? error : "the conversion failed");
    return written;
}

Pcm decodeSound(const std::string& bytes, std::size_t maxSamples) {
    return decodeSound(std::as_bytes(std::span(bytes.data(), bytes.size())), maxSamples);
}

} // namespace qm
