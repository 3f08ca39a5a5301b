#pragma once

#include "Sound.h"

#include <span>

namespace qm::media {

enum class Container { Ogg, Wav };

// Demuxes and decodes the first audio stream of the bytes with libavformat and libavcodec, reading them
// in place, and converts the samples to 16 bits.
Pcm decode(std::span<const std::byte> bytes, Container container);

} // namespace qm::media
