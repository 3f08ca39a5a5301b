#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Made-up sounds in the game's formats, for the demo game, tests and fuzz seeds. The ACM encoder writes a
// subset of the format that FFmpeg's interplayacm decoder reads: one level (no transform), blocks of
// kAcmRows values, each column a 7-bit linear fill with the block's own step, so every block takes
// fewer than 8 bits per value (the decoder reads each block from at most as many bytes as it has
// values). Decoded samples are the originals within half a step, the step being the block's largest
// magnitude / 63, rounded up.
namespace qm::build {

inline constexpr int kAcmRows = 512;

// Interleaved 16-bit samples of `frames` frames: a sine of `frequency` Hz on the first channel and of
// 1.5 x `frequency` on the second, at `amplitude`, faded in and out over the first and last 5 ms. Computed
// with basic arithmetic only, so every platform makes the same samples.
std::vector<std::int16_t> tone(int channels, int rate, std::size_t frames, double frequency,
                               double amplitude = 12000.0);

// The largest difference between a sample and its ACM-decoded value, for these samples.
int acmTolerance(const std::vector<std::int16_t>& samples);

// A bare ACM stream: its 14-byte header (the sample count of all channels, `headerChannels`, the rate,
// level 0 and kAcmRows rows) and the blocks.
std::string acmStream(const std::vector<std::int16_t>& samples, int headerChannels, int rate);
// The ACM bytes that `frames` frames of any samples take.
std::size_t acmStreamSize(std::size_t samples);

// WAVC V1.0: the 28-byte header with the real channels and rate, then the ACM stream. As in the game's own
// files, the ACM header of a mono sound claims two channels.
std::string wavcFile(const std::vector<std::int16_t>& samples, int channels, int rate);

// RIFF WAVE, PCM, 16-bit.
std::string riffFile(const std::vector<std::int16_t>& samples, int channels, int rate);

} // namespace qm::build
