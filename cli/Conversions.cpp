// Outputs rewritten once whole: --wav replaces a sound by its PCM form, --decrypt an encrypted text table
// by its plain text. The new form is written beside the output and renamed over it, as extraction writes
// its own files, so the name holds one form or the other, never a mix.
#include "ByteReader.h"
#include "Command.h"
#include "Escape.h"
#include "FileError.h"
#include "FreeSpace.h"
#include "HostPath.h"
#include "Sound.h"
#include "Text.h"
#include "TextCipher.h"
#include "WholeFile.h"

#include <algorithm>
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
    } catch (const SoundUnavailable&) {
        throw;
    } catch (const SoundError& e) {
        return keep(e.what());
    }
    replaceOutput(path, pcm);
}

// An Ogg page takes at most 27 + 255 + 255 x 255 bytes; the header fields needed lie in the first few.
constexpr std::size_t kHeadBytes = 4096;
constexpr std::size_t kTailBytes = 65307;

std::string readAt(ByteReader& archive, std::int64_t offset, std::size_t size) {
    std::string bytes(size, '\0');
    archive.seek(offset);
    bytes.resize(archive.read(std::as_writable_bytes(std::span(bytes.data(), bytes.size()))));
    return bytes;
}

// The bytes a sound's output takes once converted, and those it takes as stored: what the decoder never
// exceeds for a kind that may decode without a declared length, nothing more for one that cannot decode.
std::uint64_t convertedBytes(const StoredOutput& output) {
    const auto stored = static_cast<std::uint64_t>(output.size);
    // Data outside the archive fail extraction at their turn, as they would without --wav.
    if (output.archive == nullptr || output.size <= 0 || stored > kMaxRewrittenBytes || output.offset < 0 ||
        output.offset > output.archive->length() - output.size)
        return stored;
    const std::string head =
        readAt(*output.archive, output.offset, std::min<std::uint64_t>(stored, kHeadBytes));
    const auto headBytes = std::as_bytes(std::span(head.data(), head.size()));
    const SoundKind kind = soundKind(headBytes);
    std::string tail;
    if (kind == SoundKind::OggVorbis) {
        const std::uint64_t size = std::min<std::uint64_t>(stored, kTailBytes);
        tail = readAt(*output.archive, output.offset + output.size - static_cast<std::int64_t>(size), size);
    }
    const std::optional<std::size_t> declared =
        declaredSamples(headBytes, std::as_bytes(std::span(tail.data(), tail.size())));
    if (declared)
        return std::max(stored, wavFileSize(*declared));
    // WAVC and ACM decode only what their header declares; RIFF and Ogg may decode up to five minutes.
    if (kind == SoundKind::Riff || kind == SoundKind::OggVorbis)
        return std::max(stored, wavFileSize(kMaxSoundSamples));
    return stored;
}

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
    if (request.wav) {
        requireSoundDecoder();
        sound = [&err](const std::string& gamePath) { convertSound(gamePath, err); };
    }
    if (!request.decrypt)
        return sound;
    return [sound](const std::string& gamePath) {
        decryptTable(gamePath);
        if (sound)
            sound(gamePath);
    };
}

void requireWavSpace(const Request& request, const std::string& folder,
                     const std::vector<StoredOutput>& outputs, std::int64_t otherBytes) {
    if (!request.wav)
        return;
    // A sound is converted beside its stored copy, so at its turn both stand on the disk at once.
    std::uint64_t needed = static_cast<std::uint64_t>(std::max<std::int64_t>(otherBytes, 0));
    std::uint64_t beside = 0;
    for (const StoredOutput& output : outputs) {
        const auto stored = static_cast<std::uint64_t>(std::max<std::int64_t>(output.size, 0));
        if (endsWith(output.name, ".WAV")) {
            needed += convertedBytes(output);
            beside = std::max(beside, stored);
        } else {
            needed += stored;
        }
    }
    needed += beside;
    requireFreeSpace(hostPath(folder, PathText::GameOnly),
                     static_cast<std::int64_t>(std::min<std::uint64_t>(needed, INT64_MAX)));
}

} // namespace qm::cli
