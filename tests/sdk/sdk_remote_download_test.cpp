// Downloads end to end: a span of the device's recordings becomes one recording file whose
// frames decode, a stopped download leaves a whole file and ends the transfer, and spans
// without recordings or unwritable paths are refused.
extern "C" {
#include <libavcodec/avcodec.h>
}

#include <sys/stat.h>

#include "record/record_file_reader.h"
#include "base/media_types.h"
#include "tests/sdk/remote_site.h"

namespace ocv::test {
namespace {

class RemoteDownload : public RemoteSite {};

// Decodes every video frame of a recording file; the number of pictures that came out.
int DecodeAll(const std::string& path, int* videoFrames, int* keyFrames) {
    RecordFileReader reader;
    if (reader.Open(path) != 0) return -1;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    avcodec_open2(ctx, codec, nullptr);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    int pictures = 0;
    *videoFrames = *keyFrames = 0;
    FrameHeader h;
    std::vector<uint8_t> data;
    while (reader.Next(&h, &data)) {
        if (!IsVideoFrame(h)) continue;
        ++*videoFrames;
        *keyFrames += h.frameType % 10 == kFrameTypeKeyFrame;
        packet->data = data.data();
        packet->size = int(data.size());
        if (avcodec_send_packet(ctx, packet) < 0) break;
        while (avcodec_receive_frame(ctx, frame) == 0) {
            EXPECT_EQ(frame->width, 160);
            ++pictures;
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return pictures;
}

TEST_F(RemoteDownload, SpanAcrossTwoFilesBecomesOneRecordingFileThatDecodes) {
    QVX_HANDLE login = Login();
    TempDir dir;
    const std::string path = dir / "DOWN250110_082955.qvx";
    // Five seconds at the end of the 08:00 file and five at the start of the 08:30 file.
    QVX_FIND_COND span = Day(0, 0, 2025, 1, 10, 8, 29, 55, 8, 30, 4);
    QVX_HANDLE down = 0;
    ASSERT_EQ(QVX_SDK_GetFileByTime(login, &span, path.c_str(), &down), QVX_OK);
    EXPECT_EQ(Control(down, QVX_PLAYCTRL_STATE), QVX_PLAYSTATE_READY) << "waits for its start";
    EXPECT_EQ(Control(down, QVX_PLAYCTRL_GETPOS), 0);
    // A download has no position or speed of its own.
    EXPECT_EQ(QVX_SDK_PlayBackControl(down, QVX_PLAYCTRL_SETPOS, 50, nullptr), QVX_ERR_FAILED);
    int32_t port = 0;
    EXPECT_EQ(QVX_SDK_GetPBPlayIndex(down, &port), QVX_ERR_HANDLE);
    ASSERT_EQ(QVX_SDK_PlayBackControl(down, QVX_PLAYCTRL_START, 0, nullptr), QVX_OK);
    ASSERT_EQ(QVX_SDK_PlayBackControl(down, QVX_PLAYCTRL_START, 0, nullptr), QVX_OK) << "a second start is harmless";
    ASSERT_TRUE(WaitUntil([&] { return Control(down, QVX_PLAYCTRL_STATE) == QVX_PLAYSTATE_FINISHED; }, 20000));
    EXPECT_EQ(Control(down, QVX_PLAYCTRL_GETPOS), 100);
    ASSERT_EQ(QVX_SDK_StopGetFile(down), QVX_OK);
    EXPECT_EQ(QVX_SDK_StopGetFile(down), QVX_ERR_HANDLE);

    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    EXPECT_EQ(reader.Info().width, 160u);
    EXPECT_EQ(reader.Info().height, 96u);
    EXPECT_EQ(reader.StartTimeMs(), uint32_t((8 * 3600 + 29 * 60 + 55) * 1000)) << "the recording's time of day";
    int video = 0, keys = 0;
    int pictures = DecodeAll(path, &video, &keys);
    EXPECT_EQ(video, 250) << "ten seconds at 25 frames a second";
    EXPECT_GE(pictures, video - 2);
    // A key frame a second, every one of them in the index.
    EXPECT_EQ(keys, 10);
    EXPECT_EQ(reader.KeyFrames().size(), size_t(keys));
    EXPECT_EQ(reader.KeyFrames().back().seconds, 9u);
    QVX_SDK_Logout(login);
}

TEST_F(RemoteDownload, StoppedDownloadLeavesAWholeFileAndEndsTheTransfer) {
    QVX_HANDLE login = Login();
    TempDir dir;
    const std::string path = dir / "long.qvx";
    // Two hours: far more than arrives before the stop.
    QVX_FIND_COND span = Day(0, 0, 2025, 1, 10, 8, 0, 0, 9, 59, 59);
    QVX_HANDLE down = 0;
    ASSERT_EQ(QVX_SDK_GetFileByTime(login, &span, path.c_str(), &down), QVX_OK);
    ASSERT_EQ(QVX_SDK_PlayBackControl(down, QVX_PLAYCTRL_START, 0, nullptr), QVX_OK);
    ASSERT_TRUE(WaitUntil([&] { return Control(down, QVX_PLAYCTRL_GETPOS) >= 1; }, 20000));
    EXPECT_EQ(Control(down, QVX_PLAYCTRL_STATE), QVX_PLAYSTATE_RUNNING);
    // While it runs, the name holds nothing half-written.
    struct stat st {};
    EXPECT_NE(stat(path.c_str(), &st), 0);
    EXPECT_EQ(stat((path + ".part").c_str(), &st), 0);
    ASSERT_EQ(QVX_SDK_StopGetFile(down), QVX_OK);
    EXPECT_EQ(QVX_SDK_PlayBackControl(down, QVX_PLAYCTRL_STATE, 0, nullptr), QVX_ERR_HANDLE);

    EXPECT_NE(stat((path + ".part").c_str(), &st), 0) << "renamed to its name at the stop";
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    off_t size = st.st_size;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, size) << "nothing is written after the stop";
    // The file holds whole records up to its end and plays from its first key frame.
    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    FrameHeader h;
    std::vector<uint8_t> data;
    size_t records = 0;
    while (reader.Next(&h, &data)) ++records;
    EXPECT_EQ(reader.Offset(), uint64_t(size));
    EXPECT_GT(records, 100u);
    EXPECT_FALSE(reader.KeyFrames().empty());
    // The device's side of the transfer ends too.
    EXPECT_TRUE(WaitUntil(
        [&] {
            auto report = sim_->Control("report 0");
            return std::find(report.begin(), report.end(), "streams 0") != report.end();
        },
        5000));
    QVX_SDK_Logout(login);
}

TEST_F(RemoteDownload, SpansWithoutRecordingsAndBadPathsAreRefused) {
    QVX_HANDLE login = Login();
    TempDir dir;
    QVX_HANDLE down = 0;
    QVX_FIND_COND gap = Day(0, 0, 2025, 1, 8);
    EXPECT_EQ(QVX_SDK_GetFileByTime(login, &gap, (dir / "gap.qvx").c_str(), &down), QVX_ERR_DEVICE);
    QVX_FIND_COND night = Day(0, 0, 2025, 1, 10, 4, 0, 0, 7, 59, 59);
    EXPECT_EQ(QVX_SDK_GetFileByTime(login, &night, (dir / "night.qvx").c_str(), &down), QVX_ERR_DEVICE);
    EXPECT_EQ(down, 0);
    struct stat st {};
    EXPECT_NE(stat((dir / "gap.qvx").c_str(), &st), 0) << "no file for a refused download";
    QVX_FIND_COND good = Day(0, 0, 2025, 1, 10, 8, 0, 0, 8, 0, 5);
    EXPECT_EQ(QVX_SDK_GetFileByTime(login, &good, (dir / "missing/x.qvx").c_str(), &down), QVX_ERR_FAILED);
    EXPECT_EQ(QVX_SDK_GetFileByTime(login, &good, dir.str().c_str(), &down), QVX_ERR_FAILED) << "a folder";
    EXPECT_EQ(QVX_SDK_GetFileByTime(login, &good, "", &down), QVX_ERR_FAILED);
    QVX_FIND_COND tooLong = Day(0, 0, 2024, 12, 1);
    tooLong.endMonth = 1;
    tooLong.endYear = 2025;
    tooLong.endDay = 1;
    EXPECT_EQ(QVX_SDK_GetFileByTime(login, &tooLong, (dir / "x.qvx").c_str(), &down), QVX_ERR_FAILED);
    QVX_SDK_Logout(login);
}

}  // namespace
}  // namespace ocv::test
