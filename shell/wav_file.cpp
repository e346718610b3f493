#include "shell/wav_file.h"

#include <cstring>
#include <fstream>

namespace ocv {

namespace {
uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
}  // namespace

int WavSound::DurationMs() const {
    int frameBytes = channels * bitsPerSample / 8;
    if (sampleRate <= 0 || frameBytes <= 0) return 0;
    return static_cast<int>(static_cast<uint64_t>(data.size() / frameBytes) * 1000 / sampleRate);
}

int ParseWav(const uint8_t* bytes, size_t size, WavSound* out) {
    if (!bytes || size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0)
        return -1;
    bool haveFormat = false;
    WavSound sound;
    size_t pos = 12;
    while (pos + 8 <= size) {
        const uint8_t* chunk = bytes + pos;
        uint32_t length = Le32(chunk + 4);
        size_t body = pos + 8;
        if (length > size - body) length = static_cast<uint32_t>(size - body);  // a short last chunk plays what is there
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (length < 16 || Le16(bytes + body) != 1) return -1;  // PCM only
            sound.channels = Le16(bytes + body + 2);
            sound.sampleRate = static_cast<int>(Le32(bytes + body + 4));
            sound.bitsPerSample = Le16(bytes + body + 14);
            if (sound.channels < 1 || sound.channels > 2 || sound.sampleRate < 1000 || sound.sampleRate > 192000 ||
                (sound.bitsPerSample != 8 && sound.bitsPerSample != 16))
                return -1;
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) return -1;
            size_t frame = static_cast<size_t>(sound.channels * sound.bitsPerSample / 8);
            size_t usable = length - length % frame;
            sound.data.assign(bytes + body, bytes + body + usable);
            *out = std::move(sound);
            return 0;
        }
        pos = body + length + (length & 1);
    }
    return -1;
}

int ReadWavFile(const std::string& path, WavSound* out) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return -1;
    std::streamoff size = in.tellg();
    if (size <= 0 || static_cast<uint64_t>(size) > kMaxWavBytes) return -1;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return -1;
    return ParseWav(bytes.data(), bytes.size(), out);
}

}  // namespace ocv
