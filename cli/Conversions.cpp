// Outputs rewritten once whole: --wav replaces a sound by its PCM form, --decrypt an encrypted text table
// by its plain text. The new form is written beside the output and renamed over it, as extraction writes
// its own files, so the name holds one form or the other, never a mix.
#include "Command.h"
#include "Escape.h"
#include "FileError.h"
#include "HostPath.h"
#include "Text.h"
#include "TextCipher.h"
#ifdef QUILLMERE_HAVE_SOUND
#include "Sound.h"
#endif

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qm::cli {

namespace {

namespace fs = std::filesystem;

// No sound or text table of the game comes near this; anything larger is not read into memory.
constexpr std::uintmax_t kMaxRewrittenBytes = 64u << 20;

void writeNewFile(const fs::path& path, const std::string& bytes) {
#ifdef _WIN32
    std::FILE* file = _wfopen(path.c_str(), L"wbx");
#else
    // Never through a link that stands at the name: the name is new or the open fails.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    std::FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (fd >= 0 && file == nullptr)
        close(fd);
#endif
    if (file == nullptr)
        throw errorFromErrno(errno, displayPath(path));
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int err = errno;
    if (std::fclose(file) != 0 || !written)
        throw errorFromErrno(written ? errno : err, displayPath(path));
}

// Replaces the output at `path` by `bytes`, whole or not at all.
void replaceOutput(const fs::path& path, const std::string& bytes) {
    fs::path part = path;
    part += ".quillmere-part";
    std::error_code ec;
    fs::remove(part, ec);
    try {
        writeNewFile(part, bytes);
        fs::rename(part, path);
    } catch (const fs::filesystem_error& e) {
        fs::remove(part, ec);
        throw errorFromErrno(e.code().value(), displayPath(path));
    } catch (...) {
        fs::remove(part, ec);
        throw;
    }
}

std::string readOutput(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof())
        throw FileError(PathFileAccessError, displayPath(path));
    return bytes;
}

bool endsWith(const std::string& gamePath, const char* extension) {
    return gamePath.size() >= 4 && asciiUpper(gamePath.substr(gamePath.size() - 4)) == extension;
}

#ifdef QUILLMERE_HAVE_SOUND
void convertSound(const std::string& gamePath, std::ostream& err) {
    if (!endsWith(gamePath, ".WAV"))
        return;
    const fs::path path = hostPath(gamePath, PathText::GameOnly);
    const auto keep = [&](const std::string& why) {
        err << "quillmere-cli: warning: " << escapeField(displayPath(path))
            << ": not a sound this program decodes (" << escapeField(why) << "); written as stored\n";
    };
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kMaxRewrittenBytes)
        return keep(ec ? ec.message() : "larger than any sound");
    std::string pcm;
    try {
        pcm = wavFile(decodeSound(readOutput(path)));
    } catch (const SoundError& e) {
        return keep(e.what());
    }
    replaceOutput(path, pcm);
}
#endif

// The game's text tables (2DA, IDS and the like) may be stored encrypted; nothing else is ever decrypted.
void decryptTable(const std::string& gamePath) {
    if (!endsWith(gamePath, ".2DA") && !endsWith(gamePath, ".IDS") && !endsWith(gamePath, ".INI"))
        return;
    const fs::path path = hostPath(gamePath, PathText::GameOnly);
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kMaxRewrittenBytes)
        return;
    const std::string stored = readOutput(path);
    if (isEncryptedText(stored))
        replaceOutput(path, decryptText(stored));
}

} // namespace

std::function<void(const std::string&)> outputConverter(const Request& request,
                                                        [[maybe_unused]] std::ostream& err) {
    std::function<void(const std::string&)> sound;
#ifdef QUILLMERE_HAVE_SOUND
    if (request.wav)
        sound = [&err](const std::string& gamePath) { convertSound(gamePath, err); };
#endif
    if (!request.decrypt)
        return sound;
    return [sound](const std::string& gamePath) {
        decryptTable(gamePath);
        if (sound)
            sound(gamePath);
    };
}

} // namespace qm::cli
