#include "RiffWave.h"

#include "Endian.h"

#include <limits>

namespace qm {

namespace {

using endian::appendU16;
using endian::appendU32;
using endian::loadU16;
using endian::loadU32;

} // namespace

std::optional<Pcm> riff::readPcm(std::span<const std::byte> bytes) {
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
            const std::size_t count = size / frameBytes * channels;
            if (count > kMaxSoundSamples)
                throw SoundError("the sound is longer than five minutes");
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

std::string wavFile(const Pcm& pcm) {
    const std::uint64_t dataBytes = std::uint64_t{pcm.samples.size()} * 2;
    if (dataBytes > std::numeric_limits<std::uint32_t>::max() - 36)
        throw SoundError("too long for a RIFF WAVE file");
    const auto channels = static_cast<std::uint16_t>(pcm.channels);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    appendU32(out, static_cast<std::uint32_t>(36 + dataBytes));
    out += "WAVEfmt ";
    appendU32(out, 16);
    appendU16(out, 1); // PCM
    appendU16(out, channels);
    appendU32(out, static_cast<std::uint32_t>(pcm.rate));
    appendU32(out, static_cast<std::uint32_t>(pcm.rate) * channels * 2);
    appendU16(out, static_cast<std::uint16_t>(channels * 2));
    appendU16(out, 16);
    out += "data";
    appendU32(out, static_cast<std::uint32_t>(dataBytes));
    for (const std::int16_t sample : pcm.samples)
        appendU16(out, static_cast<std::uint16_t>(sample));
    return out;
}

} // namespace qm
