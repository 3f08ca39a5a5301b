#include "MediaStream.h"

#include "Ffmpeg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/mem.h>
}

namespace qm {

namespace {

// The bytes libavformat reads through its I/O callbacks, in place.
struct MemoryInput {
    std::span<const std::byte> bytes;
    std::size_t at = 0;
};

int readInput(void* opaque, std::uint8_t* buffer, int size) {
    auto* input = static_cast<MemoryInput*>(opaque);
    const std::size_t count = std::min(static_cast<std::size_t>(size), input->bytes.size() - input->at);
    if (count == 0)
        return AVERROR_EOF;
    std::memcpy(buffer, input->bytes.data() + input->at, count);
    input->at += count;
    return static_cast<int>(count);
}

std::int64_t seekInput(void* opaque, std::int64_t offset, int whence) {
    auto* input = static_cast<MemoryInput*>(opaque);
    const auto size = static_cast<std::int64_t>(input->bytes.size());
    if ((whence & AVSEEK_SIZE) != 0)
        return size;
    std::int64_t target = offset;
    if ((whence & 3) == SEEK_CUR)
        target += static_cast<std::int64_t>(input->at);
    else if ((whence & 3) == SEEK_END)
        target += size;
    if (target < 0 || target > size)
        return -1;
    input->at = static_cast<std::size_t>(target);
    return target;
}

struct IoFree {
    void operator()(AVIOContext* p) const {
        av_freep(&p->buffer);
        avio_context_free(&p);
    }
};
struct FormatClose {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};

std::int16_t toSample(double value) {
    return static_cast<std::int16_t>(std::lround(std::clamp(value, -1.0, 1.0) * 32767.0));
}

// Sample s of channel c of a frame, in any of the layouts the audio decoders give.
std::int16_t sampleAt(const AVFrame& frame, int channels, int s, int c) {
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const std::uint8_t* base = planar ? frame.extended_data[c] : frame.extended_data[0];
    const std::size_t index = planar ? static_cast<std::size_t>(s)
                                     : static_cast<std::size_t>(s) * static_cast<std::size_t>(channels) +
                                           static_cast<std::size_t>(c);
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
        return static_cast<std::int16_t>((base[index] - 128) * 256);
    case AV_SAMPLE_FMT_S16:
        return reinterpret_cast<const std::int16_t*>(base)[index];
    case AV_SAMPLE_FMT_S32:
        return static_cast<std::int16_t>(reinterpret_cast<const std::int32_t*>(base)[index] >> 16);
    case AV_SAMPLE_FMT_FLT:
        return toSample(reinterpret_cast<const float*>(base)[index]);
    case AV_SAMPLE_FMT_DBL:
        return toSample(reinterpret_cast<const double*>(base)[index]);
    default:
        throw SoundError("the decoder gives samples in a layout this program does not read");
    }
}

} // namespace

Pcm media::decode(std::span<const std::byte> bytes, Container container, std::size_t maxSamples) {
    ffmpeg::quiet();
    MemoryInput input{bytes};
    constexpr int kBufferSize = 16384;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kBufferSize));
    if (buffer == nullptr)
        throw SoundError("out of memory");
    std::unique_ptr<AVIOContext, IoFree> io(
        avio_alloc_context(buffer, kBufferSize, 0, &input, readInput, nullptr, seekInput));
    if (!io) {
        av_free(buffer);
        throw SoundError("out of memory");
    }
    AVFormatContext* opened = avformat_alloc_context();
    if (opened == nullptr)
        throw SoundError("out of memory");
    opened->pb = io.get();
    opened->flags |= AVFMT_FLAG_CUSTOM_IO;
    const AVInputFormat* format = av_find_input_format(container == Container::Ogg ? "ogg" : "wav");
    if (format == nullptr)
        throw SoundError("this build's libavformat cannot read the container");
    // avformat_open_input frees the context itself when it fails.
    if (const int status = avformat_open_input(&opened, nullptr, format, nullptr); status < 0)
        throw SoundError("damaged sound file: " + ffmpeg::errorText(status));
    std::unique_ptr<AVFormatContext, FormatClose> demuxer(opened);

    const int stream = av_find_best_stream(demuxer.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream < 0)
        throw SoundError("the file holds no sound stream");
    const AVCodecParameters* parameters = demuxer->streams[stream]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr)
        throw SoundError(std::string("no decoder for ") + avcodec_get_name(parameters->codec_id));
    ffmpeg::CodecContext context(avcodec_alloc_context3(codec));
    ffmpeg::Packet packet(av_packet_alloc());
    ffmpeg::Frame frame(av_frame_alloc());
    if (!context || !packet || !frame)
        throw SoundError("out of memory");
    if (avcodec_parameters_to_context(context.get(), parameters) < 0)
        throw SoundError("out of memory");
    if (const int status = avcodec_open2(context.get(), codec, nullptr); status < 0)
        throw SoundError("the decoder refuses the stream: " + ffmpeg::errorText(status));

    Pcm pcm;
    bool full = false;
    const auto take = [&](const AVFrame& f) {
        const int channels = f.ch_layout.nb_channels;
        if (channels < 1 || channels > 8 || f.sample_rate < 1000 || f.sample_rate > 384000)
            throw SoundError("the stream gives " + std::to_string(channels) + " channels at " +
                             std::to_string(f.sample_rate) + " Hz");
        if (pcm.channels == 0) {
            pcm.channels = channels;
            pcm.rate = f.sample_rate;
        } else if (pcm.channels != channels || pcm.rate != f.sample_rate) {
            throw SoundError("the stream changes its channels or rate midway");
        }
        const auto count = static_cast<std::size_t>(f.nb_samples) * static_cast<std::size_t>(channels);
        if (count > kMaxSoundSamples - pcm.samples.size())
            throw SoundError("the sound is longer than five minutes");
        const std::size_t room = (maxSamples - std::min(maxSamples, pcm.samples.size())) / channels;
        const int frames =
            static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(f.nb_samples), room));
        for (int s = 0; s < frames; ++s)
            for (int c = 0; c < channels; ++c)
                pcm.samples.push_back(sampleAt(f, channels, s, c));
        full = frames < f.nb_samples;
    };
    const auto drain = [&] {
        for (;;) {
            const int status = avcodec_receive_frame(context.get(), frame.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF)
                return;
            if (status < 0)
                throw SoundError("damaged sound stream: " + ffmpeg::errorText(status));
            take(*frame);
            av_frame_unref(frame.get());
        }
    };
    // Every packet holds at least one byte of the input, so the input's size bounds the loop.
    for (std::size_t packets = 0; packets <= bytes.size() && !full; ++packets) {
        const int status = av_read_frame(demuxer.get(), packet.get());
        if (status == AVERROR_EOF)
            break;
        if (status < 0)
            throw SoundError("damaged sound file: " + ffmpeg::errorText(status));
        if (packet->stream_index == stream) {
            const int sent = avcodec_send_packet(context.get(), packet.get());
            av_packet_unref(packet.get());
            if (sent < 0 && sent != AVERROR(EAGAIN))
                throw SoundError("damaged sound stream: " + ffmpeg::errorText(sent));
            drain();
        } else {
            av_packet_unref(packet.get());
        }
    }
    if (!full) {
        avcodec_send_packet(context.get(), nullptr);
        drain();
    }
    if (pcm.channels == 0)
        throw SoundError("the stream holds no samples");
    return pcm;
}

} // namespace qm
