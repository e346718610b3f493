// A recording made from a device's live stream can be found again by its key frames: cameras
// mark IDR pictures as picture kind 1, and the recording file indexes every kind-1 key frame.
#include <cstring>

#include "record/record_file_reader.h"
#include "record/record_file_writer.h"
#include "base/media_types.h"
#include "tests/sdk/h264_nal.h"
#include "tests/sdk/sdk_test_support.h"

namespace ocv::test {
namespace {

class SdkRecordIndex : public SdkSite {};

TEST_F(SdkRecordIndex, RecordingOfLiveStreamIndexesEveryIdrKeyFrame) {
    QVX_HANDLE login = LoginTo(kCam);
    ASSERT_GT(login, 0);
    StreamSink sink;
    uint32_t request[QVX_REQUEST_WORDS];
    MakeRequest(request, 0, 0, 3);
    QVX_HANDLE stream = 0;
    ASSERT_EQ(QVX_SDK_RealPlay(login, request, &StreamSink::Callback, reinterpret_cast<intptr_t>(&sink), &stream),
              QVX_OK);
    // Key frames every 25 frames: 90 video frames hold at least three.
    ASSERT_TRUE(WaitUntil([&] { return sink.VideoCount() >= 90; }, 15000));
    ASSERT_EQ(QVX_SDK_StopRealPlay(stream), QVX_OK);
    QVX_SDK_Logout(login);

    TempDir dir;
    const std::string path = dir / "NREC260131_101500.qvx";
    RecordFileWriter writer;
    ASSERT_EQ(writer.Create(path), 0);
    {
        std::lock_guard<std::mutex> lock(sink.mutex);
        ASSERT_EQ(sink.headers.size(), 1u);
        StreamInfo info;
        std::memcpy(&info, sink.headers[0].data(), sizeof info);
        ASSERT_EQ(writer.SetStreamInfo(info), 0);
        ASSERT_EQ(writer.Open(10 * 3600 * 1000), 0);
        for (const auto& rec : sink.frames) {
            FrameHeader h;
            std::memcpy(&h, rec.data(), sizeof h);
            if (IsVideoFrame(h)) {
                // The picture kind says what the bytes are: kind 1 exactly for IDR pictures.
                bool idr = HasNalType(rec.data() + sizeof h, h.dataLength, kNalIdrSlice);
                EXPECT_EQ(h.frameType % 10, idr ? kFrameTypeKeyFrame : kFrameTypePredicted);
            }
            ASSERT_EQ(writer.WriteFrame(rec.data(), uint32_t(rec.size())), 0);
        }
    }
    ASSERT_EQ(writer.Close(), 0);

    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    std::vector<uint64_t> keyOffsets;
    FrameHeader h;
    std::vector<uint8_t> data;
    uint64_t at = reader.Offset();
    while (reader.Next(&h, &data)) {
        if (IsVideoFrame(h) && h.frameType % 10 == kFrameTypeKeyFrame) keyOffsets.push_back(at);
        at = reader.Offset();
    }
    const auto& index = reader.KeyFrames();
    ASSERT_GE(keyOffsets.size(), 3u);
    ASSERT_EQ(index.size(), keyOffsets.size());
    for (size_t i = 0; i < index.size(); ++i) {
        EXPECT_EQ(index[i].fileOffset, keyOffsets[i]) << "entry " << i;
        if (i > 0) {
            EXPECT_GE(index[i].seconds, index[i - 1].seconds);
        }
    }
    // One key frame a second at 25 fps: the last indexed one lies two seconds or more in.
    EXPECT_GE(index.back().seconds, 2u);
}

}  // namespace
}  // namespace ocv::test
