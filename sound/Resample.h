#pragma once

#include "Sound.h"

#include <span>

namespace qm::resample {

// Interleaved 16-bit samples of `channels` channels at `rate` Hz converted with libswresample for an output
// of `format`, written into `out`, which holds QUILLMERE_CONVERTED_FRAMES frames at least; gives the bytes
// written.
std::size_t convert(std::span<const std::int16_t> samples, int channels, int rate, const OutputFormat& format,
                    std::span<std::byte> out);

} // namespace qm::resample
