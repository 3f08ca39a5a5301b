// The module's one entry point: the decoders behind the C table that the programs load.
#include "AcmStream.h"
#include "Endian.h"
#include "MediaStream.h"
#include "Resample.h"
#include "RiffWave.h"
#include "Sound.h"
#include "SoundModuleApi.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace qm {

namespace {

using endian::loadU16;
using endian::loadU32;

// The WAVC header: "WAVC", "V1.0", the uncompressed size (8), the compressed size (12), the offset of the
// ACM stream (16, usually 28), channels (20), bits per sample (22), rate (24) and an unused word (26).
constexpr std::size_t kWavcHeaderSize = 28;

Pcm decodeWavc(std::span<const std::byte> bytes, std::size_t maxSamples) {
    if (bytes.size() < kWavcHeaderSize)
        throw SoundError("the WAVC header is cut short");
    if (loadU32(bytes, 4) != 0x302E3156u) // "V1.0"
        throw SoundError("a WAVC file of an unknown version");
    const std::uint32_t offset = loadU32(bytes, 16);
    if (offset < kWavcHeaderSize || offset > bytes.size())
        throw SoundError("the WAVC header places its ACM stream at " + std::to_string(offset) +
                         ", outside the file");
    // Channels and rate come from here: the ACM header's channel count is often wrong, and a mono sound
    // read as stereo plays at double speed.
    return acm::decode(bytes.subspan(offset), loadU16(bytes, 20), loadU16(bytes, 24), maxSamples);
}

Pcm decode(std::span<const std::byte> bytes, std::size_t maxSamples) {
    // Never more than the header declares: the free-space check of the caller counted on no more.
    maxSamples = std::min(maxSamples, declaredSamples(bytes, bytes).value_or(kMaxSoundSamples));
    switch (soundKind(bytes)) {
    case SoundKind::Riff:
        if (std::optional<Pcm> pcm = riff::readPcm(bytes, maxSamples))
            return std::move(*pcm);
        return media::decode(bytes, media::Container::Wav, maxSamples);
    case SoundKind::Wavc:
        return decodeWavc(bytes, maxSamples);
    case SoundKind::Acm:
        return acm::decode(bytes, acm::headerChannels(bytes), acm::headerRate(bytes), maxSamples);
    case SoundKind::OggVorbis:
        return media::decode(bytes, media::Container::Ogg, maxSamples);
    case SoundKind::Unknown:
        break;
    }
    throw SoundError(bytes.empty() ? "the file is empty" : "not a sound this program knows");
}

void copyText(const char* text, char* error, std::size_t errorSize) {
    if (error == nullptr || errorSize == 0)
        return;
    const std::size_t length = std::min(std::strlen(text), errorSize - 1);
    std::memcpy(error, text, length);
    error[length] = '\0';
}

// Nothing thrown crosses the C boundary: every failure of `work` becomes the reason text, and 1.
template <typename Work> int guarded(const char* otherwise, char* error, std::size_t errorSize, Work&& work) {
    try {
        work();
        return 0;
    } catch (const std::bad_alloc&) {
        copyText("out of memory", error, errorSize);
    } catch (const std::exception& e) {
        copyText(e.what(), error, errorSize);
    } catch (...) {
        copyText(otherwise, error, errorSize);
    }
    return 1;
}

int decodeC(const void* bytes, std::size_t size, std::size_t maxSamples, QuillmerePcm* out, char* error,
            std::size_t errorSize) {
    if (out == nullptr) {
        copyText("no place for the samples", error, errorSize);
        return 1;
    }
    *out = QuillmerePcm{};
    return guarded("the decoder failed", error, errorSize, [&] {
        const Pcm pcm = decode(endian::asBytes(bytes, bytes == nullptr ? 0 : size), maxSamples);
        auto* samples =
            static_cast<std::int16_t*>(std::malloc(std::max<std::size_t>(1, pcm.samples.size()) * 2));
        if (samples == nullptr)
            throw std::bad_alloc();
        std::copy(pcm.samples.begin(), pcm.samples.end(), samples);
        *out = QuillmerePcm{pcm.channels, pcm.rate, samples, pcm.samples.size()};
    });
}

void freePcmC(QuillmerePcm* pcm) {
    if (pcm == nullptr)
        return;
    std::free(pcm->samples);
    *pcm = QuillmerePcm{};
}

int convertC(const QuillmerePcm* in, int rate, int channels, int sampleType, void* out, std::size_t capacity,
             std::size_t* written, char* error, std::size_t errorSize) {
    return guarded("the conversion failed", error, errorSize, [&] {
        if (in == nullptr || written == nullptr || (out == nullptr && capacity > 0))
            throw SoundError("no samples, or no place for them");
        *written = 0;
        if (sampleType < QUILLMERE_SAMPLE_U8 || sampleType > QUILLMERE_SAMPLE_FLOAT)
            throw SoundError("the sound output asks for a sample format this program does not know");
        const OutputFormat format{rate, channels, static_cast<SampleType>(sampleType - QUILLMERE_SAMPLE_U8)};
        *written = resample::convert(std::span<const std::int16_t>(in->samples, in->count), in->channels,
                                     in->rate, format, std::span(static_cast<std::byte*>(out), capacity));
    });
}

constexpr QuillmereSoundApi kApi{QUILLMERE_SOUND_API_VERSION, decodeC, freePcmC, convertC};

} // namespace

} // namespace qm

extern "C" const QuillmereSoundApi* quillmere_sound_api(int version) {
    return version == QUILLMERE_SOUND_API_VERSION ? &qm::kApi : nullptr;
}
