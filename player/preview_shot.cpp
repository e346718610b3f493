#include "player/preview_shot.h"

#include <cstring>

#include "base/trace.h"

namespace ocv::player {

int PreviewShot::Take(const std::string& path, int percent, AvFramePtr* picture,
                      uint32_t* timestampMs) {
    if (percent < 0 || percent > 100) return -1;
    if (!file_.IsOpen() || file_.Path() != path) {
        if (file_.Open(path) != 0) return -1;
    } else {
        file_.Refresh();  // a recording still being written
    }
    file_.ScanToEnd();
    auto target = static_cast<uint32_t>(uint64_t{file_.DurationMs()} * static_cast<uint32_t>(percent) / 100);
    KeyFramePlace place;
    FileRecord record;
    if (file_.FindKeyFrame(target, &place) != 0 ||
        file_.ReadHeader(place.offset, &record) != ReadStatus::kRecord) {
        Trace("Player: no key frame in %s\n", path.c_str());
        return -1;
    }
    const uint32_t codec = file_.Info().videoCodec;
    if ((!decoder_.IsOpen() || decoder_.CodecWord() != codec) && decoder_.Open(codec) != 0) {
        Trace("Player: no decoder for video codec %u\n", codec);
        return -1;
    }
    const FrameHeader& h = record.header;
    const size_t extension = size_t{ExtensionBlockCount(h.frameType)} * kFrameExtensionBlockBytes;
    if (extension >= h.dataLength ||
        file_.ReadData(record, AV_INPUT_BUFFER_PADDING_SIZE, &data_) != 0)
        return -1;
    const size_t size = h.dataLength - extension;
    std::memset(data_.data() + size, 0, extension);
    pictures_.clear();
    decoder_.Decode(data_.data(), size, h.timestampMs, &pictures_);
    // A decoder that reorders holds the key picture back until the end of its input.
    decoder_.Drain(&pictures_);
    if (pictures_.empty()) {
        Trace("Player: the key frame at %d%% of %s does not decode\n", percent, path.c_str());
        return -1;
    }
    *picture = std::move(pictures_.front());
    *timestampMs = h.timestampMs;
    pictures_.clear();
    return 0;
}

}  // namespace ocv::player
