#include "setup/system_drive_map.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "base/trace.h"
#include "platform/app_dir.h"
#include "platform/file_util.h"
#include "platform/profile.h"

namespace ocv {
namespace {

constexpr const char* kDrivesSection = "DRIVES";

std::string ConfigIni() { return AppPath("config.ini"); }

bool HasDriveSection(const std::string& ini) {
    char names[4096];
    return GetPrivateProfileStringA(kDrivesSection, nullptr, "", names, sizeof names, ini.c_str()) > 0;
}

char Upper(char letter) { return letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter; }

bool ValidLetter(char letter) {
    letter = Upper(letter);
    return letter >= 'C' && letter < 'C' + drives::kMaxDrives;
}

bool SameDirectory(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool WriteLetter(const std::string& ini, char letter, const char* directory) {
    const char key[2] = {letter, '\0'};
    return WritePrivateProfileStringA(kDrivesSection, key, directory, ini.c_str());
}

// Without a section C and D map to folders of their own; once the section exists only what it
// names is mapped, so the first edit writes them down first.
bool WriteImplicitDrives(const std::string& ini) {
    if (HasDriveSection(ini)) return true;
    // Both looked up before either is written: once C is in the section, D is no longer implicit.
    const std::string c = drives::DriveDirectory('C');
    const std::string d = drives::DriveDirectory('D');
    if (c.empty() || d.empty()) return false;
    return WriteLetter(ini, 'C', c.c_str()) && WriteLetter(ini, 'D', d.c_str());
}

}  // namespace

std::vector<DriveRow> SurveyDrives() {
    std::vector<DriveRow> rows;
    for (int n = 0; n < drives::kMaxDrives; ++n) {
        DriveRow row;
        row.letter = drives::LetterOf(n);
        row.directory = drives::DriveDirectory(row.letter);
        row.type = drives::GetDriveType(row.letter);
        if (!row.directory.empty())
            row.spaceKnown = drives::GetFreeBytes(row.letter, &row.freeBytes, &row.totalBytes) == 0;
        rows.push_back(std::move(row));
    }
    return rows;
}

const char* MapDrive(char letter, const std::string& directory) {
    if (!ValidLetter(letter)) return "Choose a drive letter from C to Z!";
    letter = Upper(letter);
    std::string dir = directory;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    // config.ini keeps one value per line, trimmed and unquoted when read back.
    if (dir.empty() || dir[0] != '/') return "The folder must be given with its full path!";
    if (dir.size() >= PATH_MAX || dir.find_first_of("\r\n") != std::string::npos || dir.back() == ' ' ||
        dir.back() == '\t' || dir.back() == '"' || dir.back() == '\'')
        return "This folder name can not be used for a drive!";
    if (!DirectoryExists(dir)) {
        if (FileExists(dir)) return "This is a file, not a folder!";
        return "The folder does not exist. Create it first, then choose it again.";
    }
    if (access(dir.c_str(), W_OK | X_OK) != 0) return "The folder can not be written!";
    for (int n = 0; n < drives::kMaxDrives; ++n) {
        char other = drives::LetterOf(n);
        if (other == letter) continue;
        std::string mapped = drives::DriveDirectory(other);
        if (!mapped.empty() && SameDirectory(mapped, dir)) return "The folder is already mapped to another drive!";
    }
    const std::string ini = ConfigIni();
    if (!WriteImplicitDrives(ini) || !WriteLetter(ini, letter, dir.c_str())) {
        Trace("drive map: cannot write %c=%s into %s\n", letter, dir.c_str(), ini.c_str());
        return "Failed to save!";
    }
    return nullptr;
}

const char* UnmapDrive(char letter) {
    if (!ValidLetter(letter)) return "Choose a drive letter from C to Z!";
    letter = Upper(letter);
    if (drives::DriveDirectory(letter).empty()) return nullptr;  // nothing to remove
    int mapped = 0;
    for (int n = 0; n < drives::kMaxDrives; ++n)
        if (!drives::DriveDirectory(drives::LetterOf(n)).empty()) ++mapped;
    // An empty section would bring the implicit C and D back, which is not what was asked.
    if (mapped <= 1) return "At least one drive must stay mapped!";
    const std::string ini = ConfigIni();
    if (!WriteImplicitDrives(ini) || !WriteLetter(ini, letter, nullptr)) {
        Trace("drive map: cannot remove %c from %s\n", letter, ini.c_str());
        return "Failed to save!";
    }
    return nullptr;
}

const char* DriveTypeText(const DriveRow& row) {
    if (row.directory.empty()) return "Not mapped";
    switch (row.type) {
        case drives::DriveType::kNoRootDir: return "Missing folder";
        case drives::DriveType::kRemovable: return "Removable";
        case drives::DriveType::kFixed: return "Fixed";
        case drives::DriveType::kRemote: return "Network";
        case drives::DriveType::kCdRom: return "CD";
        case drives::DriveType::kUnknown: break;
    }
    return "Unknown";
}

}  // namespace ocv
