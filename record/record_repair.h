#pragma once
// Start-up repair of recordings a crash left open. A file still being written has size 0 in
// its index record; before recording begins no file is being written, so every such record
// is brought up to date from the file itself. The repair trusts nothing the crash may have
// left half-done:
// - the walk starts at the last key-frame index entry only when that entry holds a whole key
//   frame inside the file, and from the header otherwise; nothing before the last record found
//   whole is ever cut, only a partial tail behind it;
// - index entries that do not point at a key frame of the file's whole records are removed with
//   the frame count, so the index never runs ahead of the data;
// - a recording of the folder's day that images.fi does not list is listed; a listed open file
//   that has gone is taken off the list.
// A file whose header is damaged is left alone (readers skip it), never deleted.
#include <string>

namespace ocv {

struct RepairSummary {
    int foldersScanned = 0;
    int recordsRepaired = 0;  // open records brought up to date from their files
    int recordsListed = 0;    // recordings found in a folder that its images.fi did not list
    int recordsDropped = 0;   // open records whose file has gone
    int filesCut = 0;         // files that ended in a partial frame record
    int filesSkipped = 0;     // files with a damaged header, left alone
};

// Repairs the images.fi of one channel folder (".../QVXFile/<yyyy_mm_dd>/<channel>").
RepairSummary RepairChannelFolder(const std::string& channelFolder);

// Repairs every channel folder of every day on every mapped drive, writing a trace line per
// repaired, listed or dropped file.
RepairSummary RepairRecordings();

}  // namespace ocv
