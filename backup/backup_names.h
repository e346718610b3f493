#pragma once
// Where backups and downloads go and what their files are called. Folders are given in the
// stored "X:\..." form and turned into paths by platform/drives.h.
#include <string>

#include "base/clock.h"

namespace ocv::backup {

enum class ExportFormat { kRecordFile, kAvi, kMp4 };

// "qvx", "avi", "mp4".
const char* FormatExtension(ExportFormat format);
// Parses "qvx", "avi" or "mp4". 0 or -1.
int ParseFormat(const std::string& text, ExportFormat* out);

// "X:\QVXFile\backup\yyyy_mm_dd\" and "X:\QVXFile\download\yyyy_mm_dd\" of disk index 0..23
// (0 = C), dated by the moment the job started; "" for a disk index out of range.
std::string BackupFolderStored(int disk, const ClockSnapshot& started);
std::string DownloadFolderStored(int disk, const ClockSnapshot& started);

// Local backup file names, numbered from 0 for the files one job writes:
//   recording file  BACKUPyymmddhhmmssNN.qvx
//   AVI, MP4        BACKUPyymmdd_hhmmssNN.avi / .mp4
std::string BackupFileName(ExportFormat format, const ClockSnapshot& started, int fileNumber);
// Download file name: DOWNyymmdd_hhmmss.qvx or .avi.
std::string DownloadFileName(ExportFormat format, const ClockSnapshot& started);

// The path of backup file n on a disk, with the folder resolved; "" when the disk's letter
// is not mapped.
std::string BackupFilePath(int disk, ExportFormat format, const ClockSnapshot& started,
                           int fileNumber);

// Numbered names next to a file the operator chose: n = 0 is the file itself, later files
// get "_01", "_02", ... before the extension ("out.avi" -> "out_01.avi").
std::string NumberedPath(const std::string& firstPath, int fileNumber);

}  // namespace ocv::backup
