#include "Sound.h"

#include "AcmStream.h"
#include "Endian.h"
#include "MediaStream.h"
#include "RiffWave.h"

namespace qm {

namespace {

using endian::loadU16;
using endian::loadU32;

// The WAVC header: "WAVC", "V1.0", the uncompressed size (8), the compressed size (12), the offset of the
// ACM stream (16, usually 28), channels (20), bits per sample (22), rate (24) and an unused word (26).
constexpr std::size_t kWavcHeaderSize = 28;

bool startsWith(std::span<const std::byte> bytes, std::string_view signature) {
    if (bytes.size() < signature.size())
        return false;
    for (std::size_t i = 0; i < signature.size(); ++i)
        if (std::to_integer<char>(bytes[i]) != signature[i])
            return false;
    return true;
}

Pcm decodeWavc(std::span<const std::byte> bytes) {
    if (bytes.size() < kWavcHeaderSize)
        throw SoundError("the WAVC header is cut short");
    if (!startsWith(bytes.subspan(4), "V1.0"))
        throw SoundError("a WAVC file of an unknown version");
    const std::uint32_t offset = loadU32(bytes, 16);
    if (offset < kWavcHeaderSize || offset > bytes.size())
        throw SoundError("the WAVC header places its ACM stream at " + std::to_string(offset) +
                         ", outside the file");
    // Channels and rate come from here: the ACM header's channel count is often wrong, and a mono sound
    // read as stereo plays at double speed.
    return acm::decode(bytes.subspan(offset), loadU16(bytes, 20), loadU16(bytes, 24));
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

Pcm decodeSound(std::span<const std::byte> bytes) {
    switch (soundKind(bytes)) {
    case SoundKind::Riff:
        if (std::optional<Pcm> pcm = riff::readPcm(bytes))
            return std::move(*pcm);
        return media::decode(bytes, media::Container::Wav);
    case SoundKind::Wavc:
        return decodeWavc(bytes);
    case SoundKind::Acm:
        return acm::decode(bytes, acm::headerChannels(bytes), acm::headerRate(bytes));
    case SoundKind::OggVorbis:
        return media::decode(bytes, media::Container::Ogg);
    case SoundKind::Unknown:
        break;
    }
    throw SoundError(bytes.empty() ? "the file is empty" : "not a sound this program knows");
}

Pcm decodeSound(const std::string& bytes) {
    return decodeSound(endian::asBytes(bytes.data(), bytes.size()));
}

} // namespace qm
