#pragma once

#include "Sound.h"

#include <optional>
#include <span>

namespace qm::riff {

// PCM held in a RIFF WAVE file, 8 or 16 bits per sample, as 16-bit samples. Empty when the file holds
// another encoding (ADPCM, float, 24-bit), which the general media reader then takes; throws SoundError
// for a damaged file. Keeps at most `maxSamples` samples.
std::optional<Pcm> readPcm(std::span<const std::byte> bytes, std::size_t maxSamples);

} // namespace qm::riff
