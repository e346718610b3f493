#pragma once
// The two destinations of a recorded stream: a player port that the library owns and feeds
// (remote playback), and a recording file (download).
#include <memory>
#include <string>

#include "record/record_file_writer.h"
#include "sdk/recorded_stream.h"

namespace ocv::sdk {

// Takes a port number from the process's port slots and creates its player; nullptr when
// none is free. The port plays from the first stream description on.
std::unique_ptr<RecordedSink> MakePlayerSink(int32_t* outPlayerHandle);

// Writes "<path>.part" and, when the download ends however it ends, syncs it and renames it
// to path, so the name never holds a half-written file and an older file of that name is
// replaced whole.
class FileSink : public RecordedSink {
public:
    explicit FileSink(std::string path) : path_(std::move(path)), partPath_(path_ + ".part") {}
    bool Begin(const StreamInfo& info, uint32_t startOfDayMs) override;
    bool Frame(const uint8_t* record, size_t bytes) override;
    void End(bool complete) override;

private:
    std::string path_;
    std::string partPath_;
    RecordFileWriter writer_;
    bool open_ = false;
};

}  // namespace ocv::sdk
