#pragma once

#include "Sound.h"

#include <span>

namespace qm::media {

enum class Container { Ogg, Wav };

// Demuxes and decodes the first audio stream of the bytes with libavformat and libavcodec, reading them
// in place, and converts the samples to 16 bits. The decode stops once it holds `maxSamples` samples, the
// most that the caller counted on.
Pcm decode(std::span<const std::byte> bytes, Container container, std::size_t maxSamples);

} // namespace qm::media
