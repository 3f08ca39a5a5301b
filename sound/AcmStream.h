#pragma once

#include "Sound.h"

#include <span>

namespace qm::acm {

// The 14-byte ACM header: signature 97 28 03 01, sample count (all channels) at 4, channels at 8,
// rate at 10, and at 12 the packing: level in the low 4 bits, rows in the high 12.
inline constexpr std::size_t kHeaderSize = 14;

// Decodes an ACM stream (header included) through libavcodec's interplayacm decoder with the given
// channel count and rate, which the caller takes from the WAVC header where there is one; keeps at most
// `maxSamples` samples.
Pcm decode(std::span<const std::byte> acm, int channels, int rate, std::size_t maxSamples);

// The channel count and rate that a bare ACM stream's own header gives.
int headerChannels(std::span<const std::byte> acm);
int headerRate(std::span<const std::byte> acm);

} // namespace qm::acm
