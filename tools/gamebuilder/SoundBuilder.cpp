#include "SoundBuilder.h"

#include "GameBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace qm::build {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kFillBits = 7; // linear fill, values -64 to 63
constexpr int kLevels = 63;  // the largest magnitude a step covers
constexpr std::size_t kBlockBits = 20 + 5 + kFillBits * kAcmRows;

// sin(x) for any x by reduction to [-pi, pi] and a Taylor polynomial; good to about 1e-7 there.
double sine(double x) {
    x -= 2 * kPi * std::floor((x + kPi) / (2 * kPi));
    const double x2 = x * x;
    double term = x, sum = x;
    for (int n = 1; n <= 9; ++n) {
        term *= -x2 / ((2 * n) * (2 * n + 1));
        sum += term;
    }
    return sum;
}

// Appends values to a byte string least significant bit first, the order the decoder reads.
class BitWriter {
public:
    void put(std::uint32_t value, int bits) {
        for (int i = 0; i < bits; ++i, ++m_bit) {
            if (m_bit % 8 == 0)
                m_bytes += '\0';
            if ((value >> i) & 1u)
                m_bytes.back() = static_cast<char>(m_bytes.back() | (1 << (m_bit % 8)));
        }
    }
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
    std::size_t m_bit = 0;
};

int stepFor(const std::int16_t* block, std::size_t count) {
    int largest = 0;
    for (std::size_t i = 0; i < count; ++i)
        largest = std::max(largest, std::abs(static_cast<int>(block[i])));
    return (largest + kLevels - 1) / kLevels;
}

std::size_t blockCount(std::size_t samples) {
    return (samples + kAcmRows - 1) / kAcmRows;
}

} // namespace

std::vector<std::int16_t> tone(int channels, int rate, std::size_t frames, double frequency,
                               double amplitude) {
    std::vector<std::int16_t> samples(frames * static_cast<std::size_t>(channels));
    const double fade = rate * 0.005;
    for (std::size_t i = 0; i < frames; ++i) {
        const double edge = std::min(static_cast<double>(i), static_cast<double>(frames - 1 - i));
        const double gain = std::min(1.0, edge / fade);
        for (int c = 0; c < channels; ++c) {
            const double f = frequency * (c == 0 ? 1.0 : 1.5);
            const double value = amplitude * gain * sine(2 * kPi * f * static_cast<double>(i) / rate);
            samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                static_cast<std::int16_t>(std::lround(value));
        }
    }
    return samples;
}

int acmTolerance(const std::vector<std::int16_t>& samples) {
    int tolerance = 0;
    for (std::size_t at = 0; at < samples.size(); at += kAcmRows)
        tolerance = std::max(
            tolerance, stepFor(samples.data() + at, std::min<std::size_t>(kAcmRows, samples.size() - at)));
    return (tolerance + 1) / 2;
}

std::size_t acmStreamSize(std::size_t samples) {
    return 14 + (blockCount(samples) * kBlockBits + 7) / 8;
}

std::string acmStream(const std::vector<std::int16_t>& samples, int headerChannels, int rate) {
    std::string out = "\x97\x28\x03\x01";
    out.resize(14);
    storeU32(out, 4, static_cast<std::uint32_t>(samples.size()));
    storeU16(out, 8, static_cast<std::uint16_t>(headerChannels));
    storeU16(out, 10, static_cast<std::uint16_t>(rate));
    storeU16(out, 12, static_cast<std::uint16_t>(kAcmRows << 4)); // level 0
    BitWriter bits;
    std::vector<std::int16_t> block(kAcmRows);
    for (std::size_t b = 0; b < blockCount(samples.size()); ++b) {
        const std::size_t at = b * kAcmRows;
        std::fill(block.begin(), block.end(), std::int16_t{0});
        std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(at),
                    std::min<std::size_t>(kAcmRows, samples.size() - at), block.begin());
        const int step = std::max(1, stepFor(block.data(), block.size()));
        // The block's value table holds 2^6 steps each way: -64 x step to 63 x step.
        bits.put(6, 4);
        bits.put(static_cast<std::uint32_t>(step), 16);
        bits.put(kFillBits, 5);
        for (const std::int16_t sample : block) {
            const long level = std::clamp(std::lround(static_cast<double>(sample) / step), -64L, 63L);
            bits.put(static_cast<std::uint32_t>(level + 64), kFillBits);
        }
    }
    return out + bits.bytes();
}

std::string wavcFile(const std::vector<std::int16_t>& samples, int channels, int rate) {
    const std::string acm = acmStream(samples, 2, rate);
    std::string out = "WAVCV1.0";
    out.resize(28);
    storeU32(out, 8, static_cast<std::uint32_t>(samples.size() * 2));
    storeU32(out, 12, static_cast<std::uint32_t>(acm.size()));
    storeU32(out, 16, 28);
    storeU16(out, 20, static_cast<std::uint16_t>(channels));
    storeU16(out, 22, 16);
    storeU16(out, 24, static_cast<std::uint16_t>(rate));
    storeU16(out, 26, 0x777E);
    return out + acm;
}

std::string riffFile(const std::vector<std::int16_t>& samples, int channels, int rate) {
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::string out = "RIFF....WAVEfmt ....................data....";
    storeU32(out, 4, 36 + dataBytes);
    storeU32(out, 16, 16);
    storeU16(out, 20, 1);
    storeU16(out, 22, static_cast<std::uint16_t>(channels));
    storeU32(out, 24, static_cast<std::uint32_t>(rate));
    storeU32(out, 28, static_cast<std::uint32_t>(rate * channels * 2));
    storeU16(out, 32, static_cast<std::uint16_t>(channels * 2));
    storeU16(out, 34, 16);
    storeU32(out, 40, dataBytes);
    for (const std::int16_t sample : samples) {
        out += static_cast<char>(static_cast<std::uint16_t>(sample) & 0xFF);
        out += static_cast<char>(static_cast<std::uint16_t>(sample) >> 8);
    }
    return out;
}

} // namespace qm::build
