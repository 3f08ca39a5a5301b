#include "AcmStream.h"

#include "Endian.h"
#include "Ffmpeg.h"

#include <algorithm>
#include <cstring>

namespace qm {

namespace {

using endian::loadU16;
using endian::loadU32;

constexpr std::uint32_t kSignature = 0x01032897u;
// The decoder allocates a block of rows << level values; real streams use a few thousand.
constexpr std::size_t kMaxBlockValues = std::size_t{1} << 20;

struct Header {
    std::uint32_t samples = 0;
    unsigned level = 0;
    unsigned rows = 0;
    std::size_t blockValues() const { return std::size_t{rows} << level; }
};

Header readHeader(std::span<const std::byte> acm) {
    if (acm.size() < acm::kHeaderSize || loadU32(acm, 0) != kSignature)
        throw SoundError("no ACM header");
    Header header;
    header.samples = loadU32(acm, 4);
    header.level = loadU16(acm, 12) & 0xF;
    header.rows = loadU16(acm, 12) >> 4;
    if (header.rows == 0 || header.blockValues() > kMaxBlockValues)
        throw SoundError("the ACM header gives blocks of " + std::to_string(header.rows) + " rows at level " +
                         std::to_string(header.level));
    return header;
}

// The decoder takes a block once a block's worth of bytes stands behind its start, and the last blocks
// when it is drained, from what it still holds: a block that runs past that is no error then, but leaves
// nothing behind it. So a stream cut short gives fewer samples than wanted, or ends right after them,
// while a whole one leaves at least the zero byte added after it, which the decoder tries as one more
// block (a frame or an error). That byte also stands in for a last byte never written, as libacm reads
// streams.
std::vector<std::int16_t> decodeStream(std::span<const std::byte> acm, int channels, int rate,
                                       std::size_t wanted) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_INTERPLAY_ACM);
    if (codec == nullptr)
        throw SoundError("this build's libavcodec has no ACM decoder");
    ffmpeg::CodecContext context(avcodec_alloc_context3(codec));
    ffmpeg::Packet packet(av_packet_alloc());
    ffmpeg::Frame frame(av_frame_alloc());
    if (!context || !packet || !frame)
        throw SoundError("out of memory");
    context->extradata =
        static_cast<std::uint8_t*>(av_mallocz(acm::kHeaderSize + AV_INPUT_BUFFER_PADDING_SIZE));
    if (context->extradata == nullptr)
        throw SoundError("out of memory");
    std::memcpy(context->extradata, acm.data(), acm::kHeaderSize);
    context->extradata_size = static_cast<int>(acm::kHeaderSize);
    av_channel_layout_default(&context->ch_layout, channels);
    context->sample_rate = rate;
    if (const int status = avcodec_open2(context.get(), codec, nullptr); status < 0)
        throw SoundError("the ACM decoder refuses the stream: " + ffmpeg::errorText(status));

    const std::span<const std::byte> stream = acm.subspan(acm::kHeaderSize);
    if (av_new_packet(packet.get(), static_cast<int>(stream.size() + 1)) < 0)
        throw SoundError("out of memory");
    std::memcpy(packet->data, stream.data(), stream.size());
    packet->data[stream.size()] = 0;
    if (const int status = avcodec_send_packet(context.get(), packet.get()); status < 0)
        throw SoundError("damaged ACM stream: " + ffmpeg::errorText(status));

    bool draining = false;
    // The next frame's status; the decoder is drained once it has used the packet.
    const auto receive = [&] {
        int status = avcodec_receive_frame(context.get(), frame.get());
        if (status == AVERROR(EAGAIN) && !draining) {
            draining = true;
            if (const int sent = avcodec_send_packet(context.get(), nullptr); sent < 0)
                return sent;
            status = avcodec_receive_frame(context.get(), frame.get());
        }
        return status;
    };
    const std::string cut = "the ACM stream ends before its " + std::to_string(wanted) + " samples";
    std::vector<std::int16_t> samples;
    samples.reserve(wanted);
    // Each block takes at least 25 bits, so the packet yields a bounded number of frames.
    const std::size_t maxFrames = static_cast<std::size_t>(packet->size) / 3 + 2;
    for (std::size_t frames = 0; samples.size() < wanted; ++frames) {
        const int status = frames < maxFrames ? receive() : AVERROR_EOF;
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF)
            throw SoundError(cut);
        if (status < 0)
            throw SoundError("damaged ACM stream: " + ffmpeg::errorText(status));
        const auto count = static_cast<std::size_t>(frame->nb_samples) * static_cast<std::size_t>(channels);
        const auto* data = reinterpret_cast<const std::int16_t*>(frame->data[0]);
        samples.insert(samples.end(), data, data + std::min(count, wanted - samples.size()));
        av_frame_unref(frame.get());
    }
    if (const int status = receive(); status == AVERROR_EOF)
        throw SoundError(cut);
    av_frame_unref(frame.get());
    return samples;
}

} // namespace

int acm::headerChannels(std::span<const std::byte> acm) {
    return loadU16(acm, 8);
}

int acm::headerRate(std::span<const std::byte> acm) {
    return loadU16(acm, 10);
}

Pcm acm::decode(std::span<const std::byte> acm, int channels, int rate, std::size_t maxSamples) {
    ffmpeg::quiet();
    const Header header = readHeader(acm);
    if (channels < 1 || channels > 2)
        throw SoundError("the header gives " + std::to_string(channels) + " channels");
    if (rate < 1000 || rate > 192000)
        throw SoundError("the header gives a rate of " + std::to_string(rate) + " Hz");
    if (header.samples > kMaxSoundSamples)
        throw SoundError("the header declares " + std::to_string(header.samples) +
                         " samples, more than five minutes");
    // The fewest bits a block can take: a 20-bit block header and 5 bits for each column.
    const std::size_t streamBits = (acm.size() - kHeaderSize) * 8;
    const std::size_t minBlockBits = 20 + 5 * (std::size_t{1} << header.level);
    const std::size_t blocks = streamBits / minBlockBits + 1;
    if (header.samples > blocks * header.blockValues())
        throw SoundError("the header declares " + std::to_string(header.samples) +
                         " samples, more than the stream holds");
    const std::size_t declared = std::min<std::size_t>(header.samples, maxSamples);
    const std::size_t wanted = declared - declared % static_cast<std::size_t>(channels);

    Pcm pcm;
    pcm.channels = channels;
    pcm.rate = rate;
    pcm.samples = decodeStream(acm, channels, rate, wanted);
    return pcm;
}

} // namespace qm
