#include "backup/backup_names.h"

#include <cstdio>

#include "platform/drives.h"

namespace ocv::backup {
namespace {

std::string DatedFolder(int disk, const char* kind, const ClockSnapshot& t) {
    if (disk < 0 || disk >= drives::kMaxDrives) return {};
    char folder[64];
    snprintf(folder, sizeof folder, "%c:\\QVXFile\\%s\\%04d_%02d_%02d\\", drives::LetterOf(disk),
             kind, t.year, t.month, t.day);
    return folder;
}

}  // namespace

const char* FormatExtension(ExportFormat format) {
    switch (format) {
        case ExportFormat::kRecordFile: return "qvx";
        case ExportFormat::kAvi: return "avi";
        case ExportFormat::kMp4: return "mp4";
    }
    return "qvx";
}

int ParseFormat(const std::string& text, ExportFormat* out) {
    for (ExportFormat f : {ExportFormat::kRecordFile, ExportFormat::kAvi, ExportFormat::kMp4}) {
        if (text == FormatExtension(f)) {
            *out = f;
            return 0;
        }
    }
    return -1;
}

std::string BackupFolderStored(int disk, const ClockSnapshot& started) {
    return DatedFolder(disk, "backup", started);
}

std::string DownloadFolderStored(int disk, const ClockSnapshot& started) {
    return DatedFolder(disk, "download", started);
}

std::string BackupFileName(ExportFormat format, const ClockSnapshot& t, int fileNumber) {
    char name[64];
    if (format == ExportFormat::kRecordFile) {
        snprintf(name, sizeof name, "BACKUP%02d%02d%02d%02d%02d%02d%02d.qvx", t.year % 100,
                 t.month, t.day, t.hour, t.minute, t.second, fileNumber);
    } else {
        snprintf(name, sizeof name, "BACKUP%02d%02d%02d_%02d%02d%02d%02d.%s", t.year % 100,
                 t.month, t.day, t.hour, t.minute, t.second, fileNumber, FormatExtension(format));
    }
    return name;
}

std::string DownloadFileName(ExportFormat format, const ClockSnapshot& t) {
    char name[64];
    snprintf(name, sizeof name, "DOWN%02d%02d%02d_%02d%02d%02d.%s", t.year % 100, t.month, t.day,
             t.hour, t.minute, t.second, FormatExtension(format));
    return name;
}

std::string BackupFilePath(int disk, ExportFormat format, const ClockSnapshot& started,
                           int fileNumber) {
    std::string folder = BackupFolderStored(disk, started);
    if (folder.empty()) return {};
    std::string resolved = drives::ResolveStoredPath(folder + BackupFileName(format, started, fileNumber));
    return resolved;
}

std::string NumberedPath(const std::string& firstPath, int fileNumber) {
    if (fileNumber == 0) return firstPath;
    size_t slash = firstPath.find_last_of('/');
    size_t dot = firstPath.find_last_of('.');
    bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    char suffix[16];
    snprintf(suffix, sizeof suffix, "_%02d", fileNumber);
    if (!hasExtension) return firstPath + suffix;
    return firstPath.substr(0, dot) + suffix + firstPath.substr(dot);
}

}  // namespace ocv::backup
