#pragma once
// "Start automatically": an XDG autostart entry that launches AppDir/ocuvant at login.
#include <string>

namespace ocv {

// ~/.config/autostart/ocuvant.desktop (the home folder from the password database).
std::string AutostartEntryPath();
bool IsAutostartEnabled();
// Writes the entry (through a temporary file) or removes it. 0 or -1.
int SetAutostart(bool enabled);

// Tests redirect the folder that holds the entry.
void SetAutostartDirForTesting(std::string dir);

}  // namespace ocv
