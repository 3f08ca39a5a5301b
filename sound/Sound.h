#pragma once

#include <cstddef>
#include <cstdint>
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

// Decodes the whole sound; throws SoundError for an unknown kind, a damaged header or a stream that ends
// before the samples its header declares.
Pcm decodeSound(std::span<const std::byte> bytes);
Pcm decodeSound(const std::string& bytes);

// A RIFF WAVE file of the samples: the 44-byte header (PCM, 16-bit) and the data.
std::string wavFile(const Pcm& pcm);

} // namespace qm
