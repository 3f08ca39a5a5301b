#include "GameBuilder.h"
#include "Sound.h"
#include "SoundBuilder.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <utility>

namespace {

using qm::build::acmStream;
using qm::build::riffFile;
using qm::build::tone;
using qm::build::wavcFile;

// Three blocks and a part of a fourth.
const std::vector<std::int16_t> kMono = tone(1, 22050, 1800, 440.0);
const std::vector<std::int16_t> kStereo = tone(2, 11025, 900, 330.0);
// Eight blocks of 3,609 bits: the stream ends on the last bit of its last byte.
const std::vector<std::int16_t> kByteEnd = tone(1, 22050, 8 * qm::build::kAcmRows, 550.0);

struct KindCase {
    const char* name;
    std::string bytes;
    qm::SoundKind kind;
    int channels;
    int rate;
    const std::vector<std::int16_t>* samples;
    bool exact; // RIFF samples come back as stored, ACM ones within the encoder's rounding
};

void PrintTo(const KindCase& c, std::ostream* os) {
    *os << c.name;
}

class DecodesKind : public ::testing::TestWithParam<KindCase> {};

TEST_P(DecodesKind, GivesTheKnownSamplesWithTheRightChannelsAndRate) {
    const KindCase& c = GetParam();
    EXPECT_EQ(qm::soundKind(std::as_bytes(std::span(c.bytes.data(), c.bytes.size()))), c.kind);
    const qm::Pcm pcm = qm::decodeSound(c.bytes);
    EXPECT_EQ(pcm.channels, c.channels);
    EXPECT_EQ(pcm.rate, c.rate);
    ASSERT_EQ(pcm.samples.size(), c.samples->size());
    const int tolerance = c.exact ? 0 : qm::build::acmTolerance(*c.samples);
    int worst = 0;
    for (std::size_t i = 0; i < pcm.samples.size(); ++i)
        worst = std::max(worst, std::abs(pcm.samples[i] - (*c.samples)[i]));
    EXPECT_LE(worst, tolerance);
    // The header declares what the decode gives, and a decode held to fewer samples stops there.
    const auto bytes = std::as_bytes(std::span(c.bytes.data(), c.bytes.size()));
    EXPECT_EQ(qm::declaredSamples(bytes, bytes), c.samples->size());
    EXPECT_EQ(qm::decodeSound(c.bytes, 64).samples,
              std::vector<std::int16_t>(pcm.samples.begin(), pcm.samples.begin() + 64));
    // Through a RIFF WAVE file and back, nothing changes.
    const qm::Pcm again = qm::decodeSound(qm::wavFile(pcm));
    EXPECT_EQ(again.channels, pcm.channels);
    EXPECT_EQ(again.rate, pcm.rate);
    EXPECT_EQ(again.samples, pcm.samples);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DecodesKind,
    ::testing::Values(
        // The game's mono WAVC files claim two channels in their ACM header; the WAVC header is right.
        KindCase{"WavcMono", wavcFile(kMono, 1, 22050), qm::SoundKind::Wavc, 1, 22050, &kMono, false},
        KindCase{"WavcStereo", wavcFile(kStereo, 2, 11025), qm::SoundKind::Wavc, 2, 11025, &kStereo, false},
        KindCase{"BareAcm", acmStream(kMono, 1, 22050), qm::SoundKind::Acm, 1, 22050, &kMono, false},
        KindCase{"AcmEndingOnAByte", acmStream(kByteEnd, 1, 22050), qm::SoundKind::Acm, 1, 22050, &kByteEnd,
                 false},
        KindCase{"RiffStereo", riffFile(kStereo, 2, 11025), qm::SoundKind::Riff, 2, 11025, &kStereo, true}),
    qm::test::CaseName{});

struct DamageCase {
    const char* name;
    std::function<std::string()> bytes;
    const char* reason;
};

void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.name;
}

std::string changed(std::string bytes, std::size_t at, std::uint32_t value, bool wide = false) {
    if (wide)
        qm::build::storeU32(bytes, at, value);
    else
        qm::build::storeU16(bytes, at, static_cast<std::uint16_t>(value));
    return bytes;
}

std::string wavc() {
    return wavcFile(kMono, 1, 22050);
}

class RefusesDamaged : public ::testing::TestWithParam<DamageCase> {};

TEST_P(RefusesDamaged, WithAReasonAndNoSamples) {
    const DamageCase& c = GetParam();
    try {
        qm::decodeSound(c.bytes());
        ADD_FAILURE() << "decoded";
    } catch (const qm::SoundError& e) {
        EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Damage, RefusesDamaged,
    ::testing::Values(
        DamageCase{"Empty", [] { return std::string(); }, "empty"},
        DamageCase{"UnknownSignature", [] { return std::string("BAM V1  "); }, "not a sound"},
        DamageCase{"WavcCutInHeader", [] { return wavc().substr(0, 20); }, "cut short"},
        DamageCase{"WavcOtherVersion", [] { return "WAVCV2.0" + wavc().substr(8); }, "version"},
        DamageCase{"WavcStreamOutside", [] { return changed(wavc(), 16, 0x7FFFFFFF, true); }, "outside"},
        DamageCase{"WavcNoChannels", [] { return changed(wavc(), 20, 0); }, "0 channels"},
        DamageCase{"WavcNoRate", [] { return changed(wavc(), 24, 0); }, "rate of 0"},
        DamageCase{"WavcNoAcm", [] { return changed(wavc(), 28, 0, true); }, "no ACM header"},
        DamageCase{"AcmNoRows", [] { return changed(acmStream(kMono, 1, 22050), 12, 0); }, "0 rows"},
        DamageCase{"AcmHugeBlocks", [] { return changed(acmStream(kMono, 1, 22050), 12, 0xFFFF); }, "rows"},
        DamageCase{"AcmDeclaresHours",
                   [] { return changed(acmStream(kMono, 1, 22050), 4, 0x7FFFFFFF, true); }, "five minutes"},
        DamageCase{"AcmDeclaresMoreThanHeld",
                   [] { return changed(acmStream(kMono, 1, 22050), 4, 2000000, true); },
                   "more than the stream"},
        DamageCase{"AcmCutToHalf",
                   [] {
                       const std::string acm = acmStream(kMono, 1, 22050);
                       return acm.substr(0, acm.size() / 2);
                   },
                   "ends before"},
        // Into the last block's own samples.
        DamageCase{"WavcCutInLastBlock",
                   [] {
                       const std::string file = wavc();
                       return file.substr(0, file.size() - 300);
                   },
                   "ends before"},
        DamageCase{"AcmEndingOnAByteCutByOne",
                   [] {
                       const std::string acm = acmStream(kByteEnd, 1, 22050);
                       return acm.substr(0, acm.size() - 1);
                   },
                   "ends before"},
        DamageCase{"AcmStreamOfOnes",
                   [] {
                       std::string acm = acmStream(kMono, 1, 22050);
                       std::fill(acm.begin() + 14, acm.end(), '\xFF');
                       return acm;
                   },
                   "damaged ACM stream"},
        DamageCase{"RiffDataPastTheEnd",
                   [] {
                       const std::string riff = riffFile(kStereo, 2, 11025);
                       return riff.substr(0, riff.size() - 2);
                   },
                   "past the end"},
        DamageCase{"RiffNoFormat", [] { return std::string("RIFF\x04\0\0\0WAVEdata\0\0\0\0", 20); },
                   "before the format"}),
    qm::test::CaseName{});

// Declared lengths of what the table above does not hold: Ogg Vorbis, and headers that declare nothing.
struct DeclaredCase {
    const char* name;
    std::function<std::string()> bytes;
    std::optional<std::size_t> samples;
};

void PrintTo(const DeclaredCase& c, std::ostream* os) {
    *os << c.name;
}

// An Ogg page: the signature, version 0, flags, the granule position, serial, sequence, CRC (left 0),
// one segment of the body.
std::string oggPage(std::uint64_t granule, const std::string& body) {
    std::string page = std::string("OggS\0\0", 6);
    page.resize(26, '\0');
    qm::build::storeU32(page, 6, static_cast<std::uint32_t>(granule));
    qm::build::storeU32(page, 10, static_cast<std::uint32_t>(granule >> 32));
    page += static_cast<char>(1);
    page += static_cast<char>(body.size());
    return page + body;
}

// Vorbis's identification header of a stereo stream: version 0, 2 channels, 44100 Hz.
std::string stereoOgg(std::uint64_t lastGranule) {
    const std::string id = std::string("\x01vorbis\0\0\0\0\x02\x44\xAC\0\0", 16);
    return oggPage(0, id) + oggPage(lastGranule, "audio") + oggPage(~std::uint64_t{0}, "continued");
}

class DeclaresSamples : public ::testing::TestWithParam<DeclaredCase> {};

TEST_P(DeclaresSamples, FromTheHeaderAlone) {
    const DeclaredCase& c = GetParam();
    const std::string bytes = c.bytes();
    const auto span = std::as_bytes(std::span(bytes.data(), bytes.size()));
    EXPECT_EQ(qm::declaredSamples(span, span), c.samples);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, DeclaresSamples,
    ::testing::Values(
        // The last page on which a packet ends counts, in frames of both channels.
        DeclaredCase{"OggLastPosition", [] { return stereoOgg(1000); }, 2000},
        DeclaredCase{"OggBeyondFiveMinutes", [] { return stereoOgg(48000u * 400u); }, std::nullopt},
        DeclaredCase{"AcmDeclaresHours",
                     [] { return changed(acmStream(kMono, 1, 22050), 4, 0x7FFFFFFF, true); }, std::nullopt},
        DeclaredCase{"WavcCutBeforeItsAcm", [] { return wavc().substr(0, 30); }, std::nullopt},
        DeclaredCase{"Unknown", [] { return std::string("BAM V1  "); }, std::nullopt}),
    qm::test::CaseName{});

constexpr int kOggRate = 22050;
constexpr std::size_t kOggFrames = 13230;

// A stereo Ogg Vorbis file that the ffmpeg program encodes from a tone it makes: 440 Hz on the left and
// 660 Hz on the right, at half scale, 0.6 s at 22,050 Hz. Empty, with `why` set, where the program or a
// Vorbis encoder is missing.
std::string ffmpegOgg(const std::filesystem::path& folder, std::string& why) {
    const std::string log = " > \"" + (folder / "ffmpeg.log").string() + "\" 2>&1";
    if (std::system(("ffmpeg -hide_banner -version" + log).c_str()) != 0) {
        why = "the ffmpeg program is not installed";
        return {};
    }
    const std::filesystem::path ogg = folder / "tone.ogg";
    for (const char* encoder : {"-c:a libvorbis", "-c:a vorbis -strict -2"}) {
        const std::string command =
            std::string("ffmpeg -hide_banner -nostdin -loglevel error -f lavfi -i "
                        "\"aevalsrc=0.5*sin(2*PI*440*t)|0.5*sin(2*PI*660*t):s=22050:d=0.6\" ") +
            encoder + " -y \"" + ogg.string() + "\"" + log;
        if (std::system(command.c_str()) == 0)
            return qm::test::readBytes(ogg);
    }
    why = "the ffmpeg program has no Vorbis encoder: " + qm::test::readBytes(folder / "ffmpeg.log");
    return {};
}

// The rising zero crossings per second and the RMS of one channel.
std::pair<double, double> toneOf(const qm::Pcm& pcm, int channel) {
    std::size_t crossings = 0;
    double squares = 0;
    for (std::size_t frame = 0; frame < pcm.frames(); ++frame) {
        const std::size_t at =
            frame * static_cast<std::size_t>(pcm.channels) + static_cast<std::size_t>(channel);
        const double sample = pcm.samples[at];
        squares += sample * sample;
        if (frame > 0 && pcm.samples[at - static_cast<std::size_t>(pcm.channels)] < 0 && sample >= 0)
            ++crossings;
    }
    return {static_cast<double>(crossings) / pcm.seconds(),
            std::sqrt(squares / static_cast<double>(pcm.frames()))};
}

// The Ogg path as a real encoder writes it: the last page's position declares the length, both channels
// keep their own tone and level, and a decode held to fewer samples stops there.
TEST(DecodesOggVorbis, MadeByTheFfmpegProgram) {
    const qm::test::TempDir folder;
    std::string why;
    const std::string ogg = ffmpegOgg(folder.path(), why);
    if (ogg.empty())
        GTEST_SKIP() << why;
    const auto bytes = std::as_bytes(std::span(ogg.data(), ogg.size()));
    EXPECT_EQ(qm::soundKind(bytes), qm::SoundKind::OggVorbis);
    // FFmpeg's own encoder rounds the last position up to its block.
    const std::optional<std::size_t> declared = qm::declaredSamples(bytes, bytes);
    ASSERT_TRUE(declared.has_value());
    EXPECT_NEAR(static_cast<double>(*declared), 2.0 * kOggFrames, 2.0 * 64);

    const qm::Pcm pcm = qm::decodeSound(ogg);
    EXPECT_EQ(pcm.channels, 2);
    EXPECT_EQ(pcm.rate, kOggRate);
    EXPECT_LE(pcm.samples.size(), *declared);
    // libavcodec gives a libvorbis file 256 frames fewer than its last position declares.
    EXPECT_NEAR(static_cast<double>(pcm.frames()), kOggFrames, kOggFrames * 0.03);
    const double halfScale = 0.5 * 32767 / std::sqrt(2.0);
    for (const auto& [channel, hertz] : {std::pair{0, 440.0}, std::pair{1, 660.0}}) {
        const auto [heard, rms] = toneOf(pcm, channel);
        EXPECT_NEAR(heard, hertz, hertz * 0.03) << "channel " << channel;
        EXPECT_NEAR(rms, halfScale, halfScale * 0.1) << "channel " << channel;
    }
    ASSERT_GE(pcm.samples.size(), 64u);
    EXPECT_EQ(qm::decodeSound(ogg, 64).samples,
              std::vector<std::int16_t>(pcm.samples.begin(), pcm.samples.begin() + 64));
}

// Modules that cannot serve: each is named with what is wrong with it, and nothing crashes.
struct ModuleCase {
    const char* name;
    std::function<std::string(const std::filesystem::path& folder)> module; // its path
    const char* reason;
};

void PrintTo(const ModuleCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusesModule : public ::testing::TestWithParam<ModuleCase> {};

TEST_P(RefusesModule, NamingItAndWhy) {
    const ModuleCase& c = GetParam();
    const qm::test::TempDir folder;
    const std::string path = c.module(folder.path());
    try {
        qm::probeSoundModule(path);
        ADD_FAILURE() << "loaded";
    } catch (const qm::SoundUnavailable& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.rfind("sound decoding is not available: " + path + ": ", 0), 0u) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modules, RefusesModule,
    ::testing::Values(
        ModuleCase{"Missing", [](const auto& folder) { return (folder / "quillmere-sound.so").string(); },
                   "no such file"},
        ModuleCase{"Truncated",
                   [](const auto& folder) {
                       const std::string whole = qm::test::readBytes(QUILLMERE_SOUND_MODULE_FILE);
                       // The headers whole, the code and data gone: mapped as they are, they would crash.
                       qm::build::writeFile(folder / "cut.so", whole.substr(0, 4096));
                       return (folder / "cut.so").string();
                   },
                   "cut short"},
        ModuleCase{"NotALibrary",
                   [](const auto& folder) {
                       qm::build::writeFile(folder / "text.so", "a module, said nobody\n");
                       return (folder / "text.so").string();
                   },
                   ""},
        ModuleCase{"WithoutTheEntryPoint", [](const auto&) { return std::string(QUILLMERE_NO_ENTRY_MODULE); },
                   "no entry point quillmere_sound_api"}),
    qm::test::CaseName{});

TEST(SoundModule, TheBuiltModuleLoads) {
    EXPECT_NO_THROW(qm::probeSoundModule(QUILLMERE_SOUND_MODULE_FILE));
}

} // namespace

namespace {

// What a conversion for an output gives: the tone at the output's rate, in each of its channels, as loud as
// it was. Samples of any type are read back as fractions of full scale.
struct OutputCase {
    const char* name;
    qm::OutputFormat format;
};

void PrintTo(const OutputCase& c, std::ostream* os) {
    *os << c.name;
}

double fullScaleAt(const std::vector<std::byte>& bytes, qm::SampleType type, std::size_t i) {
    switch (type) {
    case qm::SampleType::UInt8:
        return (std::to_integer<int>(bytes[i]) - 128) / 128.0;
    case qm::SampleType::Int16: {
        std::int16_t v;
        std::memcpy(&v, bytes.data() + i * 2, 2);
        return v / 32768.0;
    }
    case qm::SampleType::Int32: {
        std::int32_t v;
        std::memcpy(&v, bytes.data() + i * 4, 4);
        return v / 2147483648.0;
    }
    case qm::SampleType::Float: {
        float v;
        std::memcpy(&v, bytes.data() + i * 4, 4);
        return v;
    }
    }
    return 0;
}

class ConvertsFor : public ::testing::TestWithParam<OutputCase> {};

TEST_P(ConvertsFor, TheOutputsRateChannelsAndType) {
    const qm::OutputFormat& format = GetParam().format;
    qm::Pcm mono{1, 22050, qm::build::tone(1, 22050, 22050, 441.0, 16000)};
    std::vector<std::byte> out(static_cast<std::size_t>(qm::convertedCapacity(mono, format)));
    out.resize(qm::convertSound(mono, format, out));
    const std::size_t bytes = format.type == qm::SampleType::UInt8   ? 1
                              : format.type == qm::SampleType::Int16 ? 2
                                                                     : 4;
    const std::size_t frames = out.size() / bytes / static_cast<std::size_t>(format.channels);
    EXPECT_NEAR(static_cast<double>(frames), format.rate, format.rate * 0.01)
        << "one second at the output's rate";
    // Each channel carries the tone at the level it had: 16000 of 32768.
    for (int channel = 0; channel < format.channels; ++channel) {
        double peak = 0;
        int crossings = 0;
        double previous = 0;
        for (std::size_t f = 0; f < frames; ++f) {
            const double v =
                fullScaleAt(out, format.type, f * static_cast<std::size_t>(format.channels) + channel);
            peak = std::max(peak, std::abs(v));
            crossings += previous < 0 && v >= 0;
            previous = v;
        }
        EXPECT_NEAR(peak, 16000 / 32768.0, 0.03) << "channel " << channel;
        EXPECT_NEAR(crossings, 441, 5) << "channel " << channel;
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, ConvertsFor,
                         ::testing::Values(OutputCase{"StereoFloat44100", {44100, 2, qm::SampleType::Float}},
                                           OutputCase{"StereoInt16At48000",
                                                      {48000, 2, qm::SampleType::Int16}},
                                           OutputCase{"MonoInt32", {22050, 1, qm::SampleType::Int32}},
                                           OutputCase{"StereoUInt8", {44100, 2, qm::SampleType::UInt8}}),
                         qm::test::CaseName{});

} // namespace
