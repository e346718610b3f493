#pragma once
// The picture of a recording at a percentage of its duration, for a hover preview: the
// key frame at or before that place, decoded on its own. The last file stays open, so a
// pointer moving along one recording reads its header and index once.
#include <cstdint>
#include <string>
#include <vector>

#include "player/av_ptr.h"
#include "player/recording_file.h"
#include "player/video_decoder.h"

namespace ocv::player {

class PreviewShot {
public:
    // 0 with the picture and its timestamp; -1 when the file is no playable recording or
    // holds no decodable key frame.
    int Take(const std::string& path, int percent, AvFramePtr* picture, uint32_t* timestampMs);

private:
    RecordingFile file_;
    VideoDecoder decoder_;
    std::vector<uint8_t> data_;
    std::vector<AvFramePtr> pictures_;
};

}  // namespace ocv::player
