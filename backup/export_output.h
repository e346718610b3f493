#pragma once
// One output file of a backup job in one of the formats. The job feeds frame records as the
// recordings hold them; each format takes what it needs from them.
#include <memory>
#include <string>

#include "backup/backup_names.h"
#include "base/media_types.h"

namespace ocv::backup {

class ExportOutput {
public:
    virtual ~ExportOutput() = default;
    // Creates the file at path for a stream of this description. 0 or -1 (Error() says why).
    virtual int Open(const std::string& path, const StreamInfo& info) = 0;
    // One frame record (header and its data); the first after Open is a key frame. 0 or -1.
    virtual int Write(const FrameHeader& header, const uint8_t* data) = 0;
    // Completes the file and syncs it to the disk. 0 or -1; closed either way.
    virtual int Finish() = 0;
    // Closes without completing; the caller removes the file.
    virtual void Abort() = 0;
    virtual const std::string& Error() const = 0;
};

std::unique_ptr<ExportOutput> MakeExportOutput(ExportFormat format);

// The picture of a video record without its trailing extension blocks; false when the
// record's extension blocks claim more than its data.
bool PictureBytes(const FrameHeader& header, uint32_t* pictureSize);

}  // namespace ocv::backup
