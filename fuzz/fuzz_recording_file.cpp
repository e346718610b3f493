// libFuzzer target: arbitrary bytes as a recording file, through everything the player
// reads from one: header, key-frame index, the walk over the records with its time-line
// checks, key-frame search at several places, and the preview picture (decoding).
// Input: byte 0 the codec word, bytes 1..4 the start time, byte 5 the number n of index
// entries, then n entries of 8 bytes, then the frame area. Build with -DOCV_FUZZ=ON and
// clang; run build/tests/player_recording_fuzzer [corpus].
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "player/preview_shot.h"
#include "player/recording_file.h"

namespace {

const std::string& ScratchPath() {
    static const std::string path = [] {
        char name[] = "/tmp/ocv-recording-fuzz-XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        return std::string(name);
    }();
    return path;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    close(fd);
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ocv;
    using namespace ocv::player;
    if (size < 6) return 0;
    std::vector<uint8_t> file(kRecordHeaderBytes, 0);
    std::memcpy(file.data(), kRecordFileMagic, 4);
    uint32_t codec = data[0] % 4;  // 0..2 are played, 3 is refused
    std::memcpy(file.data() + 4, &codec, 4);
    std::memcpy(file.data() + kStartTimeOffset, data + 1, 4);
    size_t entries = data[5];
    size_t at = 6;
    size_t indexBytes = std::min(entries * 8, size - at);
    std::memcpy(file.data() + kKeyFrameIndexOffset, data + at, indexBytes);
    at += indexBytes;
    file.insert(file.end(), data + at, data + size);
    if (!WriteFile(ScratchPath(), file)) return 0;

    RecordingFile recording;
    if (recording.Open(ScratchPath()) != 0) return 0;
    recording.ScanToEnd();
    const uint32_t duration = recording.DurationMs();
    for (uint32_t target : {0u, duration / 2, duration, UINT32_MAX}) {
        KeyFramePlace place;
        if (recording.FindKeyFrame(target, &place) == 0) {
            FileRecord record;
            if (recording.ReadHeader(place.offset, &record) != ReadStatus::kRecord) __builtin_trap();
            if (!IsKeyFrame(record.header)) __builtin_trap();
        }
    }
    KeyFramePlace next;
    recording.NextIndexedKeyFrame(kRecordHeaderBytes, &next);

    // The walk a playing port makes, reading every record's data.
    RecordSequence sequence;
    sequence.StartOfFile(recording.StartTimeMs());
    uint64_t offset = kRecordHeaderBytes;
    std::vector<uint8_t> bytes;
    for (;;) {
        FileRecord record;
        if (recording.ReadHeader(offset, &record) != ReadStatus::kRecord) break;
        if (!sequence.Accept(record.header)) break;
        if (record.NextOffset() > recording.Size()) __builtin_trap();
        if (recording.ReadData(record, 64, &bytes) != 0) break;
        offset = record.NextOffset();
    }

    PreviewShot shot;
    AvFramePtr picture;
    uint32_t timestamp = 0;
    shot.Take(ScratchPath(), data[1] % 101, &picture, &timestamp);
    return 0;
}
