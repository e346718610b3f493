#include "player/frame_record.h"

#include <cstring>

namespace ocv::player {
namespace {

int ParseHeader(const void* record, size_t length, FrameRecordView* out) {
    if (!record || !out || length < kFrameHeaderBytes) return -1;
    std::memcpy(&out->header, record, sizeof(FrameHeader));
    uint32_t dataLength = out->header.dataLength;
    if (dataLength > kMaxFrameDataLength || dataLength > length - kFrameHeaderBytes) return -1;
    out->payload = static_cast<const uint8_t*>(record) + kFrameHeaderBytes;
    out->payloadSize = dataLength;
    return 0;
}

}  // namespace

int ParseVideoRecord(const void* record, size_t length, FrameRecordView* out) {
    if (ParseHeader(record, length, out) != 0) return -1;
    if (out->header.kind != kFrameKindVideo) return -1;
    size_t extensionBytes =
        size_t{ExtensionBlockCount(out->header.frameType)} * kFrameExtensionBlockBytes;
    if (extensionBytes >= out->payloadSize) return -1;
    out->payloadSize -= extensionBytes;
    return 0;
}

int ParseAudioRecord(const void* record, size_t length, FrameRecordView* out) {
    if (ParseHeader(record, length, out) != 0) return -1;
    if (out->header.kind == kFrameKindVideo) return -1;
    if (out->payloadSize < kAudioHeaderBytes) return -1;
    out->payload += kAudioHeaderBytes;
    out->payloadSize -= kAudioHeaderBytes;
    return 0;
}

}  // namespace ocv::player
