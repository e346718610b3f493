#pragma once
// The start-up steps that come before any window: the single instance first, and only for the
// client that may run, the pending configuration import and the private file modes. A second
// client is refused with "Running!" without touching a file of the first.
#include <string>

namespace ocv {

class SingleInstance;

// 0 when this process holds the instance lock and has applied a pending import and tightened
// the modes of the files that hold passwords; -2 another client runs; -1 the lock could not be
// made. On -2 and -1 nothing in appDir was touched.
int SecureStartup(SingleInstance& instance, const std::string& appDir);

// The translated refusal of SecureStartup's result ("Running!", "Initialize failed! "), shown
// captioned "ERR"; "" for 0.
std::string StartupRefusalText(int result);

// Takes every permission for others away from the files in appDir that hold passwords: the
// configuration database with its log files, database copies (*.bak, the database kept
// aside by an import) and config.ini. Each file tightened gets a trace line. Returns how many.
int TightenPrivateFiles(const std::string& appDir);

}  // namespace ocv
