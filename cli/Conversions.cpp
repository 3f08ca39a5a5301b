// Outputs rewritten once whole: --wav replaces a sound by its PCM form, --decrypt an encrypted text table
// by its plain text. The new form is written beside the output and renamed over it, as extraction writes
// its own files, so the name holds one form or the other, never a mix.
#include "Command.h"
#include "Escape.h"
#include "FileError.h"
#include "HostPath.h"
#include "Text.h"
#include "TextCipher.h"
#include "WholeFile.h"
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
constexpr std::uintmax_t kMaxRewrittenBytes = kMaxSoundBytes;

// Replaces the output at `path` by `bytes`, whole or not at all.
void replaceOutput(const fs::path& path, const std::string& bytes) {
    writeAtomically(path, bytes);
}

std::string readOutput(const fs::path& path) {
    std::optional<std::string> bytes = readSmallFile(path, kMaxRewrittenBytes);
    if (!bytes)
        throw FileError(PathFileAccessError, displayPath(path));
    return std::move(*bytes);
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

std::function<void(const std::string&)> outputConverter(const Request& request, std::ostream& err) {
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
