#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// The game's sounds as 16-bit PCM. A resource of type WAV is a RIFF WAVE file, a WAVC file (a 28-byte
// header before an Interplay ACM stream), a bare ACM stream or, in later editions, Ogg Vorbis.
namespace qm {

// Interleaved 16-bit samples: frame i is samples[i * channels] to samples[i * channels + channels - 1].
struct Pcm {
    int channels = 0;
    int rate = 0;
    std::vector<std::int16_t> samples;

    std::size_t frames() const {
        return channels > 0 ? samples.size() / static_cast<std::size_t>(channels) : 0;
    }
    double seconds() const { return rate > 0 ? static_cast<double>(frames()) / rate : 0.0; }
};

// A sound that cannot be decoded; what() says why, in words a user can read after "Cannot play NAME: ".
class SoundError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class SoundKind { Unknown, Riff, Wavc, Acm, OggVorbis };

// The kind by the signature at the start of the bytes.
SoundKind soundKind(std::span<const std::byte> bytes);

// The most samples any decode gives: five minutes of 48 kHz stereo. A header that declares more, or a
// stream that decodes to more, is an error rather than an allocation.
inline constexpr std::size_t kMaxSoundSamples = 48000u * 2u * 300u;

// The samples that a sound's own header declares, which its decode never exceeds: the ACM header's count
// (WAVC, ACM), the data chunk or the "fact" count (RIFF WAVE), the last page's position times the channels
// (Ogg Vorbis). `head` holds the sound's first bytes, `tail` its last (an Ogg page takes at most 65,307).
// Empty when the header declares nothing, or more than kMaxSoundSamples.
std::optional<std::size_t> declaredSamples(std::span<const std::byte> head, std::span<const std::byte> tail);

// The size of the RIFF WAVE file that wavFile writes for that many samples.
inline constexpr std::uint64_t wavFileSize(std::size_t samples) {
    return 44 + std::uint64_t{samples} * 2;
}

// The decoder is a module loaded the first time a sound is decoded (quillmere-sound.so, quillmere-sound.dll):
// the one that QUILLMERE_SOUND_MODULE names, else the one beside the program, else the one in the
// package's private library folder. A module that is missing, damaged or of another interface gives this
// error; what() reads "sound decoding is not available: MODULE: REASON".
class SoundUnavailable : public SoundError {
public:
    SoundUnavailable(const std::string& module, const std::string& reason);
};

// Loads the decoder now, once per process; throws SoundUnavailable when it cannot. decodeSound loads it
// itself: this is for a caller that must know before it starts writing.
void requireSoundDecoder();

// The decoder module at `path`, loaded and asked for its interface, then let go: throws SoundUnavailable
// naming what is wrong with it.
void probeSoundModule(const std::string& path);

// Decodes the whole sound, at most `maxSamples` samples of it and never more than its header declares
// (declaredSamples); throws SoundError for an unknown kind, a
// damaged header or a stream that ends before the samples its header declares, and SoundUnavailable when
// there is no decoder.
Pcm decodeSound(std::span<const std::byte> bytes, std::size_t maxSamples = kMaxSoundSamples);
Pcm decodeSound(const std::string& bytes, std::size_t maxSamples = kMaxSoundSamples);

// What an output device takes: samples of one type, interleaved, at its own rate and channel count.
enum class SampleType { UInt8, Int16, Int32, Float };
struct OutputFormat {
    int rate = 0;
    int channels = 0;
    SampleType type = SampleType::Int16;
    bool operator==(const OutputFormat&) const = default;
};

// The bytes that convertSound may write for `pcm` in `format`.
std::uint64_t convertedCapacity(const Pcm& pcm, const OutputFormat& format);

// The samples converted, by the decoder module, for an output device that takes `format` (its rate, its
// channels, its sample type), into `out`, which holds convertedCapacity bytes at least: an output plays
// its own format reliably, and asking it to convert is left to chance (Windows' audio under Wine refuses).
// Gives the bytes written; throws SoundError, or SoundUnavailable when there is no decoder.
std::size_t convertSound(const Pcm& pcm, const OutputFormat& format, std::span<std::byte> out);

// A RIFF WAVE file of the samples: the 44-byte header (PCM, 16-bit) and the data.
std::string wavFile(const Pcm& pcm);

} // namespace qm
