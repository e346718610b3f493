// libFuzzer entry: arbitrary bytes as a run of frame records through the record checks,
// the video decoder (the first byte modulo 3 is the stream header's codec word: 0 follows
// the stream's parameter sets, 1 H.264, 2 H.265) and the picture converter, on one thread
// so that runs reproduce.
// Build with -DOCV_FUZZ=ON and clang; run build/tests/player_input_fuzzer [corpus].
#include <cstddef>
#include <cstdint>
#include <vector>

#include "player/display_geometry.h"
#include "player/frame_record.h"
#include "player/video_decoder.h"
#include "player/picture_converter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ocv::player;
    VideoDecoder decoder;
    if (decoder.Open(size > 0 ? data[0] % 3u : 0u) != 0) return 0;
    PictureConverter converter;
    std::vector<AvFramePtr> pictures;
    std::vector<uint8_t> padded;
    while (size >= sizeof(ocv::FrameHeader)) {
        FrameRecordView view;
        if (ParseVideoRecord(data, size, &view) != 0) break;
        padded.assign(view.payload, view.payload + view.payloadSize);
        padded.resize(view.payloadSize + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        pictures.clear();
        decoder.Decode(padded.data(), view.payloadSize, view.header.timestampMs, &pictures);
        for (const AvFramePtr& p : pictures) {
            DisplayRequest request;
            request.pictureWidth = p->width;
            request.pictureHeight = p->height;
            request.hasRegion = true;
            request.regionLeft = static_cast<int32_t>(view.header.timestampMs & 0xFF);
            request.regionTop = static_cast<int32_t>((view.header.timestampMs >> 8) & 0xFF);
            request.regionRight = request.regionLeft + 64;
            request.regionBottom = request.regionTop + 48;
            request.surfaceWidth = 37;
            request.surfaceHeight = 23;
            request.keepProportions = (view.header.frameType & 0x100) != 0;
            DisplayLayout layout;
            if (ComputeDisplayLayout(request, &layout) == 0)
                converter.Convert(*p, layout, PixelFormat::kBgra32, 0);
        }
        size_t consumed = sizeof(ocv::FrameHeader) + view.header.dataLength;
        data += consumed;
        size -= consumed;
    }
    return 0;
}
