#pragma once
// Reading a PCM WAV file for the alarm sounds: bounded, validated, Qt-free.
#include <cstdint>
#include <string>
#include <vector>

namespace ocv {

struct WavSound {
    int sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0;  // 8 (unsigned) or 16 (signed little-endian)
    std::vector<uint8_t> data;
    int DurationMs() const;
};

constexpr size_t kMaxWavBytes = 16u << 20;

// 0, or -1 for a missing, oversized, truncated or non-PCM file.
int ReadWavFile(const std::string& path, WavSound* out);
int ParseWav(const uint8_t* bytes, size_t size, WavSound* out);

}  // namespace ocv
