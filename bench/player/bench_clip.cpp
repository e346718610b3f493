#include "bench/player/bench_clip.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/media_types.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace ocv::bench {
namespace {

std::string BenchDir() {
    auto dir = std::filesystem::temp_directory_path() / "ocv-player-bench";
    std::filesystem::create_directories(dir);
    return dir.string();
}

void SplitAccessUnits(BenchClip* clip) {
    std::ifstream f(clip->path, std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(f)), {});
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_H264);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    const uint8_t* p = data.data();
    size_t left = data.size();
    for (;;) {
        uint8_t* out = nullptr;
        int outSize = 0;
        int used = av_parser_parse2(parser, ctx, &out, &outSize, p, static_cast<int>(left),
                                    AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        p += used;
        left -= static_cast<size_t>(used);
        if (outSize > 0) {
            std::vector<uint8_t> unit(out, out + outSize);
            unit.resize(outSize + AV_INPUT_BUFFER_PADDING_SIZE, 0);
            clip->units.push_back(std::move(unit));
            clip->key.push_back(parser->key_frame == 1);
        }
        if (left == 0 && outSize == 0) break;
    }
    av_parser_close(parser);
    avcodec_free_context(&ctx);
    for (size_t i = 0; i < clip->units.size(); ++i) {
        size_t size = clip->units[i].size() - AV_INPUT_BUFFER_PADDING_SIZE;
        FrameHeader h{kFrameKindVideo, static_cast<uint32_t>(size),
                      static_cast<uint32_t>(i * 40), clip->key[i] ? 3u : 2u};
        std::vector<uint8_t> record(sizeof h + size);
        std::memcpy(record.data(), &h, sizeof h);
        std::memcpy(record.data() + sizeof h, clip->units[i].data(), size);
        clip->records.push_back(std::move(record));
    }
}

}  // namespace

BenchClip MakeClip(int width, int height, int frames, const char* bitrate, int surfaceWidth,
                   int surfaceHeight) {
    BenchClip clip;
    clip.width = width;
    clip.height = height;
    clip.surfaceWidth = surfaceWidth;
    clip.surfaceHeight = surfaceHeight;
    clip.path = BenchDir() + "/clip_" + std::to_string(width) + "x" + std::to_string(height) +
                "_" + std::to_string(frames) + ".h264";
    if (!std::filesystem::exists(clip.path)) {
        // Moving test pattern with sensor-like noise, 2 s key frame interval, no B frames,
        // at a camera's bit rate: the decoder works about as hard as on a real camera.
        std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc2=size=" + std::to_string(width) +
                          "x" + std::to_string(height) +
                          ":rate=25 -vf noise=alls=6:allf=t -frames:v " + std::to_string(frames) +
                          " -c:v libx264 -preset veryfast -tune zerolatency -g 50 -b:v " +
                          bitrate + " -maxrate " + bitrate + " -bufsize " + bitrate + " " +
                          clip.path;
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "clip failed: %s\n", cmd.c_str());
    }
    SplitAccessUnits(&clip);
    return clip;
}

}  // namespace ocv::bench
