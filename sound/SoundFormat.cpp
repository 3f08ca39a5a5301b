// What needs no decoder: a sound's kind and declared length from its header, and the RIFF WAVE file of
// decoded samples. Both the programs and the decoder module take these.
#include "Endian.h"
#include "Sound.h"
#include "SoundModuleApi.h"

#include <limits>
#include <string_view>

namespace qm {

namespace {

using endian::appendU16;
using endian::appendU32;
using endian::loadU16;
using endian::loadU32;

constexpr std::uint32_t kAcmSignature = 0x01032897u;

bool startsWith(std::span<const std::byte> bytes, std::string_view signature) {
    if (bytes.size() < signature.size())
        return false;
    for (std::size_t i = 0; i < signature.size(); ++i)
        if (std::to_integer<char>(bytes[i]) != signature[i])
            return false;
    return true;
}

std::optional<std::size_t> withinCap(std::uint64_t samples) {
    if (samples > kMaxSoundSamples)
        return std::nullopt;
    return static_cast<std::size_t>(samples);
}

// The ACM header's sample count (all channels) at 4.
std::optional<std::size_t> acmSamples(std::span<const std::byte> acm) {
    if (acm.size() < 14 || loadU32(acm, 0) != kAcmSignature)
        return std::nullopt;
    return withinCap(loadU32(acm, 4));
}

// PCM of 8 or 16 bits gives one sample per stored one; other encodings count their frames in "fact".
std::optional<std::size_t> riffSamples(std::span<const std::byte> head) {
    if (head.size() < 12 || loadU32(head, 8) != 0x45564157u) // "WAVE"
        return std::nullopt;
    std::uint16_t tag = 0, channels = 0, bits = 0;
    std::optional<std::uint32_t> factFrames;
    for (std::size_t at = 12; at + 8 <= head.size();) {
        const std::uint32_t id = loadU32(head, at);
        const std::uint32_t size = loadU32(head, at + 4);
        const std::size_t body = at + 8;
        if (id == 0x61746164u) { // "data": its size is all that counts, wherever its bytes end
            if (channels == 0)
                return std::nullopt;
            if (tag == 1 && (bits == 8 || bits == 16))
                return withinCap(std::uint64_t{size} / (std::uint64_t{channels} * (bits / 8)) * channels);
            if (factFrames)
                return withinCap(std::uint64_t{*factFrames} * channels);
            return std::nullopt;
        }
        if (size > head.size() - body)
            return std::nullopt;
        if (id == 0x20746D66u && size >= 16) { // "fmt "
            tag = loadU16(head, body);
            channels = loadU16(head, body + 2);
            bits = loadU16(head, body + 14);
        } else if (id == 0x74636166u && size >= 4) { // "fact"
            factFrames = loadU32(head, body);
        }
        at = body + size + (size & 1);
    }
    return std::nullopt;
}

// The identification header opens the first page: "\x01vorbis", a version, then the channels at 11 of the
// packet. The last page's granule position (8 bytes at 6) is the stream's length in frames.
std::optional<std::size_t> oggSamples(std::span<const std::byte> head, std::span<const std::byte> tail) {
    if (head.size() < 27)
        return std::nullopt;
    const std::size_t packet = 27 + std::to_integer<std::size_t>(head[26]);
    if (head.size() < packet + 12 || !startsWith(head.subspan(packet), "\x01vorbis"))
        return std::nullopt;
    const unsigned channels = std::to_integer<unsigned>(head[packet + 11]);
    for (std::size_t at = tail.size() < 27 ? 0 : tail.size() - 27 + 1; at-- > 0;) {
        if (!startsWith(tail.subspan(at), "OggS"))
            continue;
        const std::uint64_t granule =
            std::uint64_t{loadU32(tail, at + 6)} | (std::uint64_t{loadU32(tail, at + 10)} << 32);
        // A page on which no packet ends has no position; an earlier one has.
        if (granule == std::numeric_limits<std::uint64_t>::max())
            continue;
        if (granule > kMaxSoundSamples)
            return std::nullopt;
        return withinCap(granule * channels);
    }
    return std::nullopt;
}

} // namespace

SoundKind soundKind(std::span<const std::byte> bytes) {
    if (startsWith(bytes, "RIFF"))
        return SoundKind::Riff;
    if (startsWith(bytes, "WAVC"))
        return SoundKind::Wavc;
    if (startsWith(bytes, "\x97\x28\x03\x01"))
        return SoundKind::Acm;
    if (startsWith(bytes, "OggS"))
        return SoundKind::OggVorbis;
    return SoundKind::Unknown;
}

std::optional<std::size_t> declaredSamples(std::span<const std::byte> head, std::span<const std::byte> tail) {
    switch (soundKind(head)) {
    case SoundKind::Riff:
        return riffSamples(head);
    case SoundKind::Wavc: {
        // The ACM stream's offset at 16, usually 28.
        if (head.size() < 28)
            return std::nullopt;
        const std::uint32_t offset = loadU32(head, 16);
        return offset < head.size() ? acmSamples(head.subspan(offset)) : std::nullopt;
    }
    case SoundKind::Acm:
        return acmSamples(head);
    case SoundKind::OggVorbis:
        return oggSamples(head, tail);
    case SoundKind::Unknown:
        break;
    }
    return std::nullopt;
}

std::uint64_t convertedCapacity(const Pcm& pcm, const OutputFormat& format) {
    if (pcm.rate < 1 || format.rate < 1 || format.channels < 1)
        return 0;
    static constexpr std::uint64_t kBytes[] = {1, 2, 4, 4}; // by SampleType
    return QUILLMERE_CONVERTED_FRAMES(pcm.frames(), pcm.rate, format.rate) *
           static_cast<std::uint64_t>(format.channels) * kBytes[static_cast<int>(format.type)];
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
