#pragma once

// The decoder module's whole interface: one exported entry point that hands out a table of plain C
// functions, so that the programs need no C++ ABI of the module's compiler and load it only when a sound is
// decoded. A later table grows at its end and comes under a new version number.
#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define QUILLMERE_SOUND_EXPORT __declspec(dllexport)
#else
#define QUILLMERE_SOUND_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define QUILLMERE_SOUND_API_VERSION 2
#define QUILLMERE_SOUND_ENTRY "quillmere_sound_api"

// Interleaved 16-bit samples, `count` of them in all channels, in memory the module owns until freePcm.
struct QuillmerePcm {
    int channels;
    int rate;
    int16_t* samples;
    size_t count;
};

struct QuillmereSoundApi {
    int version;
    // Decodes `size` bytes into `out`, keeping at most `maxSamples` samples: 0 on success, else nonzero
    // with the reason, NUL-terminated, in `error` (`errorSize` bytes) and `out` left empty.
    int (*decode)(const void* bytes, size_t size, size_t maxSamples, struct QuillmerePcm* out, char* error,
                  size_t errorSize);
    void (*freePcm)(struct QuillmerePcm* pcm);
    // Since version 2. Converts `pcm` for an output device that takes `rate` Hz, `channels` channels and
    // samples of `sampleType` (QUILLMERE_SAMPLE_*), interleaved, into `out`. `capacity` bytes hold
    // QUILLMERE_CONVERTED_FRAMES frames at least: 0 with the bytes written in `written`, else nonzero with
    // the reason.
    int (*convert)(const struct QuillmerePcm* pcm, int rate, int channels, int sampleType, void* out,
                   size_t capacity, size_t* written, char* error, size_t errorSize);
};

#define QUILLMERE_SAMPLE_U8 1
#define QUILLMERE_SAMPLE_S16 2
#define QUILLMERE_SAMPLE_S32 3
#define QUILLMERE_SAMPLE_FLOAT 4
// The most frames a conversion gives: the frames at the new rate and what the resampler's filter holds back.
#define QUILLMERE_CONVERTED_FRAMES(frames, fromRate, toRate)                                                 \
    ((uint64_t)(frames) * (uint64_t)(toRate) / (uint64_t)(fromRate) + 1024u)

// The table of that version, or null for a version this module does not offer.
typedef const struct QuillmereSoundApi* (*QuillmereSoundApiFunction)(int version);
QUILLMERE_SOUND_EXPORT const struct QuillmereSoundApi* quillmere_sound_api(int version);

#ifdef __cplusplus
}
#endif
