#ifndef OCV_QVX_AUDIO_OUTPUT_H
#define OCV_QVX_AUDIO_OUTPUT_H
/* Where the device library plays the audio a device sends back during two-way talk. The
 * application provides it (a sound card, a file, a test sink); the library calls it from its
 * own threads, one talk session at a time. */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QVX_AudioOutput {
    void* context;
    /* Called when a two-way talk starts: 16-bit signed little-endian PCM. 0 = ready. */
    int32_t (*open)(void* context, int32_t sampleRateHz, int32_t channels);
    /* Decoded samples, sampleCount 16-bit values. */
    void (*write)(void* context, const int16_t* samples, int32_t sampleCount);
    /* Called when the talk stops. */
    void (*close)(void* context);
} QVX_AudioOutput;

#ifdef __cplusplus
}
#endif
#endif
