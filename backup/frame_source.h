#pragma once
// Where a backup job takes its frame records from. The local recordings are one source
// (recording_source.h); a download from the device's own storage plugs in as another: it
// fetches the channel's span from the device and hands the records on the same way, so every
// output format works for both.
#include <cstdint>
#include <string>
#include <vector>

#include "base/media_types.h"

namespace ocv::backup {

struct SourceRecord {
    FrameHeader header{};
    const uint8_t* data = nullptr;  // header.dataLength bytes; valid until the next call
    const StreamInfo* info = nullptr;  // the stream the record belongs to
    uint32_t streamSerial = 0;  // changes whenever a new stream (a new source file) begins
};

struct SourceProgress {
    uint64_t done = 0;
    uint64_t total = 0;  // 0 while unknown
};

class FrameSource {
public:
    virtual ~FrameSource() = default;
    // 1 and the next record, 0 at the end, -1 for a failure that ends the job (Problems()
    // says why). Called on the job's worker thread only.
    virtual int Next(SourceRecord* out) = 0;
    // Work done so far and in all, in the source's own units (bytes for files).
    virtual SourceProgress Progress() const = 0;
    // Parts of the span the source had to leave out, one line each ("cannot open ...").
    virtual const std::vector<std::string>& Problems() const = 0;
    // Called from any thread when the job is cancelled: a source that waits (for a device)
    // makes Next return soon. Local files need nothing.
    virtual void Cancel() {}
};

}  // namespace ocv::backup
