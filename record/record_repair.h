#pragma once
// Start-up repair of recordings a crash left open. A file still being written has size 0 in
// its index record; before recording begins no file is being written, so every such record
// is brought up to date from the file itself, and a partial last frame record is cut off.
// A file whose header is damaged is left alone (readers skip it), never deleted.
#include <string>

namespace ocv {

struct RepairSummary {
    int foldersScanned = 0;
    int recordsRepaired = 0;
    int filesCut = 0;      // files that ended in a partial frame record
    int filesSkipped = 0;  // missing or damaged files
};

// Repairs the images.fi of one channel folder (".../QVXFile/<yyyy_mm_dd>/<channel>").
RepairSummary RepairChannelFolder(const std::string& channelFolder);

// Repairs every channel folder on every mapped drive, writing a trace line per repaired file.
RepairSummary RepairRecordings();

}  // namespace ocv
