// The sound reader over arbitrary resource bytes: every input decodes or is refused with SoundError, and
// what decodes keeps the reader's promises and survives a trip through a RIFF WAVE file unchanged.
#include "Sandbox.h"
#include "Sound.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto bytes = std::span(reinterpret_cast<const std::byte*>(data), size);
    qm::Pcm pcm;
    try {
        pcm = qm::decodeSound(bytes);
    } catch (const qm::SoundError&) {
        return 0;
    }
    if (pcm.channels < 1 || pcm.rate < 1 || pcm.samples.size() % static_cast<std::size_t>(pcm.channels) != 0)
        qm::fuzz::fail("a decoded sound without whole frames");
    if (pcm.samples.size() > qm::kMaxSoundSamples)
        qm::fuzz::fail("more samples than the reader's cap");
    // The free-space check of --wav counts on it.
    if (const auto declared = qm::declaredSamples(bytes, bytes); declared && pcm.samples.size() > *declared)
        qm::fuzz::fail("more samples than the header declares");
    const qm::Pcm again = qm::decodeSound(qm::wavFile(pcm));
    if (again.channels != pcm.channels || again.rate != pcm.rate || again.samples != pcm.samples)
        qm::fuzz::fail("a sound changed on its way through a RIFF WAVE file");
    return 0;
}
