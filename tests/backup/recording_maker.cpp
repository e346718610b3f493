#include "tests/backup/recording_maker.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <tuple>

#include "platform/file_util.h"
#include "record/index_file.h"
#include "record/record_file_writer.h"
#include "record/record_paths.h"
#include "tests/player/test_clip.h"

namespace ocv::test {
namespace {

// Ten seconds of pictures per size, made once and repeated: every repetition starts with a
// key frame, so a longer recording is still a valid stream.
const std::vector<EncodedPicture>& Clip(int width, int height, uint32_t codec) {
    static std::mutex mutex;
    static std::map<std::tuple<int, int, uint32_t>, std::vector<EncodedPicture>> clips;
    std::lock_guard lock(mutex);
    auto& clip = clips[{width, height, codec}];
    if (clip.empty())
        clip = codec == kVideoCodecH265 ? MakeH265Clip(width, height, 10 * kClipFps, kClipGop)
                                        : MakeH264Clip(width, height, 10 * kClipFps, kClipGop);
    return clip;
}

}  // namespace

std::string WriteRecording(const TestRecording& s) {
    const auto& clip = Clip(s.width, s.height, s.videoCodec);
    std::string folder = s.driveDir + "/QVXFile/" + DayFolderName(s.year, s.month, s.day) + "/" +
                         s.channelFolder;
    if (MakeDirectories(folder) != 0) throw std::runtime_error("cannot create " + folder);
    char name[64];
    snprintf(name, sizeof name, "%s%02d%02d%02d_%02d%02d%02d.qvx", RecordPrefix(s.recordType),
             s.year % 100, s.month, s.day, s.startSecond / 3600, s.startSecond / 60 % 60,
             s.startSecond % 60);
    std::string path = folder + "/" + name;

    RecordFileWriter writer;
    StreamInfo info = MakeStreamInfo(s.width, s.height, s.audioEncoding, s.videoCodec);
    if (writer.Create(path) != 0 || writer.SetStreamInfo(info) != 0 ||
        writer.Open(static_cast<uint32_t>(s.startSecond) * 1000) != 0)
        throw std::runtime_error("cannot write " + path);
    std::vector<uint8_t> samples(320);
    int frames = s.seconds * kClipFps;
    for (int i = 0; i < frames; ++i) {
        const EncodedPicture& p = clip[static_cast<size_t>(i) % clip.size()];
        uint32_t deviceMs = 7000 + static_cast<uint32_t>(i) * 40;
        std::vector<uint8_t> rec = MakeVideoRecord(p, deviceMs);
        if (p.keyFrame) {
            FrameHeader h;
            memcpy(&h, rec.data(), sizeof h);
            h.frameType = h.frameType / 10 * 10 + s.keyFrameKind;
            memcpy(rec.data(), &h, sizeof h);
        }
        writer.WriteFrame(rec.data(), static_cast<uint32_t>(rec.size()));
        if (s.audioEncoding != kAudioNone) {
            size_t bytes = s.audioEncoding == kAudioAdpcm2Bit ? 80 : 320;
            samples.resize(bytes);
            for (size_t k = 0; k < bytes; ++k) samples[k] = static_cast<uint8_t>((i * 13 + k * 7) ^ 0x55);
            std::vector<uint8_t> a = MakeAudioRecord(samples, deviceMs + 5);
            writer.WriteFrame(a.data(), static_cast<uint32_t>(a.size()));
        }
    }
    writer.Close();

    struct stat st {};
    stat(path.c_str(), &st);
    IndexRecord r{};
    r.startHour = static_cast<uint16_t>(s.startSecond / 3600);
    r.startMinute = static_cast<uint16_t>(s.startSecond / 60 % 60);
    r.startSecond = static_cast<uint16_t>(s.startSecond % 60);
    r.recordType = s.recordType;
    r.durationSeconds = s.indexedSeconds ? s.indexedSeconds : static_cast<uint32_t>(s.seconds);
    r.sizeKiB = static_cast<uint32_t>(st.st_size / 1024);
    if (AppendIndexRecord(folder + "/" + kIndexFileName, r) < 0)
        throw std::runtime_error("cannot index " + path);
    return path;
}

std::string RunCommand(const std::string& command, int* status) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = pclose(p);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

std::string Probe(const std::string& path, const std::string& stream, const std::string& entries) {
    std::string select = stream.empty() ? "format=" + entries : "stream=" + entries;
    std::string streamArg = stream.empty() ? "" : " -select_streams " + stream;
    return RunCommand("ffprobe -v error -count_frames" + streamArg + " -show_entries " + select +
                      " -of default=noprint_wrappers=1 '" + path + "' 2>&1");
}

std::string ProbeValue(const std::string& probeOutput, const std::string& key) {
    std::string needle = key + "=";
    size_t at = 0;
    while ((at = probeOutput.find(needle, at)) != std::string::npos) {
        if (at == 0 || probeOutput[at - 1] == '\n') {
            size_t end = probeOutput.find('\n', at);
            return probeOutput.substr(at + needle.size(), end == std::string::npos ? end : end - at - needle.size());
        }
        ++at;
    }
    return {};
}

std::string DecodeErrors(const std::string& path) {
    return RunCommand("ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1");
}

}  // namespace ocv::test
