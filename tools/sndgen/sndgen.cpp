// Writes the five alarm sounds into a folder: short tone patterns, one per alarm kind, made
// here so the project ships no sound files of anyone else.
//   ocuvant-sndgen <folder>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/file_util.h"

namespace {

constexpr int kRate = 22050;

struct Tone {
    double hz;       // 0 = silence
    double seconds;
};

std::vector<int16_t> Render(const std::vector<Tone>& tones) {
    std::vector<int16_t> pcm;
    for (const Tone& t : tones) {
        int n = static_cast<int>(t.seconds * kRate);
        for (int i = 0; i < n; ++i) {
            double v = 0;
            if (t.hz > 0) {
                // A short fade at both ends avoids clicks between tones.
                double fade = std::min(1.0, std::min(i, n - i) / (0.005 * kRate));
                v = std::sin(2 * M_PI * t.hz * i / kRate) * 0.5 * fade;
            }
            pcm.push_back(static_cast<int16_t>(v * 32767));
        }
    }
    return pcm;
}

void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

std::string Wav(const std::vector<int16_t>& pcm) {
    std::string s = "RIFF";
    uint32_t dataBytes = static_cast<uint32_t>(pcm.size() * 2);
    Put32(s, 36 + dataBytes);
    s += "WAVEfmt ";
    Put32(s, 16);
    Put16(s, 1);  // PCM
    Put16(s, 1);  // mono
    Put32(s, kRate);
    Put32(s, kRate * 2);
    Put16(s, 2);
    Put16(s, 16);
    s += "data";
    Put32(s, dataBytes);
    for (int16_t v : pcm) Put16(s, static_cast<uint16_t>(v));
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    std::string folder = argv[1];
    if (ocv::MakeDirectories(folder) != 0) {
        fprintf(stderr, "cannot create %s\n", folder.c_str());
        return 1;
    }
    struct Sound {
        const char* name;
        std::vector<Tone> tones;
    } sounds[] = {
        {"AlarmMotionDetect.wav", {{880, 0.15}, {0, 0.05}, {660, 0.15}, {0, 0.25}}},
        {"AlarmInput.wav", {{1000, 0.1}, {0, 0.05}, {1000, 0.1}, {0, 0.05}, {1000, 0.1}, {0, 0.2}}},
        {"AlarmVideoLoss.wav", {{784, 0.2}, {659, 0.2}, {523, 0.3}, {0, 0.2}}},
        {"AlarmHardFull.wav", {{220, 0.4}, {0, 0.1}, {220, 0.4}, {0, 0.2}}},
        {"AlarmTemperature.wav", {{1318, 0.12}, {988, 0.12}, {1318, 0.12}, {988, 0.12}, {0, 0.2}}},
    };
    for (const Sound& s : sounds) {
        std::string path = folder + "/" + s.name;
        if (ocv::ReplaceFileAtomically(path, Wav(Render(s.tones))) != 0) {
            fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
