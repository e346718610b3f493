#pragma once
// The recording drives as the system settings page shows and edits them: the 24 letters with
// their mapped folders, kinds and free space, and changes to the map in section DRIVES of
// AppDir/config.ini. A folder is mapped only as it is: one that does not exist is refused, never
// created behind the operator's back.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/drives.h"

namespace ocv {

struct DriveRow {
    char letter = 'C';
    std::string directory;  // "" when the letter is not mapped
    drives::DriveType type = drives::DriveType::kNoRootDir;
    bool spaceKnown = false;
    uint64_t freeBytes = 0;
    uint64_t totalBytes = 0;
};

// Every letter C..Z with what the file system says about its folder. Asks the mount table and
// the file system (a remote folder may take its time): not for the user-interface thread.
std::vector<DriveRow> SurveyDrives();

// Maps letter to directory (an existing, writable folder given by its full path, mapped to no
// other letter). The first edit writes the implicit C and D folders into the section too, so
// they keep their mapping. nullptr, or the English refusal with config.ini unchanged.
const char* MapDrive(char letter, const std::string& directory);
// Removes a letter from the map; the last mapped letter stays. nullptr, or the refusal.
const char* UnmapDrive(char letter);

// "Fixed", "Removable", "Network", "CD", "Missing folder", "Not mapped", "Unknown" (English).
const char* DriveTypeText(const DriveRow& row);

}  // namespace ocv
