#pragma once
// Drive letters. Recording disks are addressed as letters 'C'..'Z' (disk index n = letter - 'C');
// each letter maps to a directory through section DRIVES of AppDir/config.ini ("D=/srv/video").
// Without that section C and D map to AppDir/storage/C and AppDir/storage/D, created on first
// use. This module is the only place that turns a drive letter into a path.
#include <cstdint>
#include <string>
#include <string_view>

namespace ocv::drives {

constexpr int kMaxDrives = 24;  // 'C' + 0 .. 'C' + 23

// Values follow the platform's drive-type codes so stored or logged numbers keep their meaning.
enum class DriveType : int {
    kUnknown = 0,
    kNoRootDir = 1,  // unmapped letter or missing directory
    kRemovable = 2,
    kFixed = 3,
    kRemote = 4,
    kCdRom = 5,
};

inline char LetterOf(int diskIndex) { return static_cast<char>('C' + diskIndex); }

// The mapped directory of a letter ('c' and 'C' alike), or "" when the letter is not mapped.
std::string DriveDirectory(char letter);

DriveType GetDriveType(char letter);

// Only fixed and removable drives may hold recordings.
bool IsUsableForRecording(char letter);

// Bytes available to this process on the drive. 0, or -1 when the drive cannot be read.
int GetFreeBytes(char letter, uint64_t* freeBytesAvailable, uint64_t* totalBytes = nullptr);

// "<drive directory>/<relative>" with backslashes turned into '/'; "" when unmapped.
std::string DrivePath(char letter, std::string_view relative);

// A stored path: "D:\QVXFile\x" resolves through the map; other paths only get their
// backslashes turned into '/'. "" when it names an unmapped drive.
std::string ResolveStoredPath(std::string_view stored);

// The mount table to classify directories with (tests use a fake one); "" restores the default.
void SetMountTableForTesting(std::string path);

}  // namespace ocv::drives
