#include "RiffWave.h"

#include "Endian.h"

#include <algorithm>

namespace qm {

namespace {

using endian::loadU16;
using endian::loadU32;

} // namespace

std::optional<Pcm> riff::readPcm(std::span<const std::byte> bytes, std::size_t maxSamples) {
    if (bytes.size() < 12 || loadU32(bytes, 0) != 0x46464952u || loadU32(bytes, 8) != 0x45564157u)
        throw SoundError("not a RIFF WAVE file");
    // The RIFF size is often wrong in files of the field; the chunks themselves are what count.
    std::size_t at = 12;
    bool haveFormat = false;
    std::uint16_t tag = 0, channels = 0, bits = 0;
    std::uint32_t rate = 0;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t id = loadU32(bytes, at);
        const std::uint32_t size = loadU32(bytes, at + 4);
        const std::size_t body = at + 8;
        if (size > bytes.size() - body)
            throw SoundError(id == 0x61746164u ? "the sound's data run past the end of the file"
                                               : "a chunk runs past the end of the file");
        if (id == 0x20746D66u) { // "fmt "
            if (size < 16)
                throw SoundError("the format chunk is too short");
            tag = loadU16(bytes, body);
            channels = loadU16(bytes, body + 2);
            rate = loadU32(bytes, body + 4);
            bits = loadU16(bytes, body + 14);
            haveFormat = true;
        } else if (id == 0x61746164u) { // "data"
            if (!haveFormat)
                throw SoundError("the data come before the format chunk");
            // Anything but plain 8- or 16-bit PCM goes to the general reader.
            if (tag != 1 || (bits != 8 && bits != 16))
                return std::nullopt;
            if (channels == 0 || channels > 8 || rate == 0 || rate > 384000)
                throw SoundError("the format chunk gives " + std::to_string(channels) + " channels at " +
                                 std::to_string(rate) + " Hz");
            const std::size_t frameBytes = std::size_t{channels} * (bits / 8);
            const std::size_t frames = size / frameBytes;
            if (frames * channels > kMaxSoundSamples)
                throw SoundError("the sound is longer than five minutes");
            const std::size_t count = std::min<std::size_t>(frames, maxSamples / channels) * channels;
            Pcm pcm;
            pcm.channels = channels;
            pcm.rate = static_cast<int>(rate);
            pcm.samples.resize(count);
            for (std::size_t i = 0; i < count; ++i)
                pcm.samples[i] =
                    bits == 16
                        ? endian::loadI16(bytes, body + 2 * i)
                        // 8-bit samples are unsigned, centred on 128.
                        : static_cast<std::int16_t>((std::to_integer<int>(bytes[body + i]) - 128) * 256);
            return pcm;
        }
        at = body + size + (size & 1); // chunks are padded to an even length
    }
    throw SoundError(haveFormat ? "the file has no data chunk" : "the file has no format chunk");
}

} // namespace qm
