#include "Resample.h"

#include "Ffmpeg.h"
#include "SoundModuleApi.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <climits>
#include <memory>
#include <vector>

namespace qm::resample {

namespace {

struct SwrFree {
    void operator()(SwrContext* p) const { swr_free(&p); }
};

AVSampleFormat avFormat(SampleType type) {
    switch (type) {
    case SampleType::UInt8:
        return AV_SAMPLE_FMT_U8;
    case SampleType::Int16:
        return AV_SAMPLE_FMT_S16;
    case SampleType::Int32:
        return AV_SAMPLE_FMT_S32;
    case SampleType::Float:
        return AV_SAMPLE_FMT_FLT;
    }
    throw SoundError("the sound output asks for a sample format this program does not know");
}

} // namespace

std::size_t convert(std::span<const std::int16_t> samples, int channels, int rate, const OutputFormat& format,
                    std::span<std::byte> out) {
    ffmpeg::quiet();
    if (channels < 1 || channels > 2 || rate < 1)
        throw SoundError("the sound has " + std::to_string(channels) + " channels at " +
                         std::to_string(rate) + " Hz");
    if (format.channels < 1 || format.channels > 8 || format.rate < 1000 || format.rate > 384000)
        throw SoundError("the sound output takes " + std::to_string(format.channels) + " channels at " +
                         std::to_string(format.rate) + " Hz");
    const AVSampleFormat outFormat = avFormat(format.type);
    const std::size_t frameBytes = static_cast<std::size_t>(format.channels) *
                                   static_cast<std::size_t>(av_get_bytes_per_sample(outFormat));
    const std::size_t frames = samples.size() / static_cast<std::size_t>(channels);
    if (QUILLMERE_CONVERTED_FRAMES(frames, rate, format.rate) * frameBytes > out.size())
        throw SoundError("no room for the converted sound");
    if (frames > INT_MAX || out.size() / frameBytes > INT_MAX)
        throw SoundError("the sound is too long to convert");

    AVChannelLayout inLayout{};
    AVChannelLayout outLayout{};
    av_channel_layout_default(&inLayout, channels);
    av_channel_layout_default(&outLayout, format.channels);
    SwrContext* raw = nullptr;
    const int made = swr_alloc_set_opts2(&raw, &outLayout, outFormat, format.rate, &inLayout,
                                         AV_SAMPLE_FMT_S16, rate, 0, nullptr);
    std::unique_ptr<SwrContext, SwrFree> context(raw);
    if (made < 0 || !context)
        throw SoundError("the sound cannot be converted for the output: " + ffmpeg::errorText(made));
    // A mono sound plays at its own level from each speaker of the front pair, not at the -3 dB that the
    // resampler gives a centre channel spread over two.
    if (channels == 1 && format.channels >= 2) {
        std::vector<double> matrix(static_cast<std::size_t>(format.channels));
        for (int i = 0; i < format.channels; ++i) {
            const AVChannel channel =
                av_channel_layout_channel_from_index(&outLayout, static_cast<unsigned>(i));
            matrix[static_cast<std::size_t>(i)] =
                channel == AV_CHAN_FRONT_LEFT || channel == AV_CHAN_FRONT_RIGHT ? 1.0 : 0.0;
        }
        if (const int status = swr_set_matrix(context.get(), matrix.data(), 1); status < 0)
            throw SoundError("the sound cannot be converted for the output: " + ffmpeg::errorText(status));
    }
    if (const int status = swr_init(context.get()); status < 0)
        throw SoundError("the sound cannot be converted for the output: " + ffmpeg::errorText(status));

    const auto* in = reinterpret_cast<const std::uint8_t*>(samples.data());
    auto* at = reinterpret_cast<std::uint8_t*>(out.data());
    int room = static_cast<int>(out.size() / frameBytes);
    std::size_t written = 0;
    // The samples, then what the filter still holds.
    for (const bool flush : {false, true}) {
        const int given = swr_convert(context.get(), &at, room, flush ? nullptr : &in,
                                      flush ? 0 : static_cast<int>(frames));
        if (given < 0)
            throw SoundError("the sound cannot be converted for the output: " + ffmpeg::errorText(given));
        at += static_cast<std::size_t>(given) * frameBytes;
        written += static_cast<std::size_t>(given) * frameBytes;
        room -= given;
    }
    return written;
}

} // namespace qm::resample
