#pragma once
// The database files beside the live configuration: whole-file backups ("Export Data",
// "Import Data") and configuration files ("Export file"). Used by the settings page and the
// main window; they show the messages, these functions only do the file work.
#include <string>

#include "base/clock.h"

struct sqlite3;

namespace ocv {

class ConfigStore;

constexpr const char* kLiveDatabaseName = "QVXVMS.dat";
constexpr const char* kTemplateDatabaseName = "QVXVMS.bak";
constexpr const char* kPendingImportName = "QVXDATA.bak";
constexpr const char* kImportProduct = "TOLVE";

// Default name of a whole-file backup: "VMS%d%02d%02d%02d%02d%02d.bak" from the snapshot.
std::string BackupFileName(const ClockSnapshot& now);
// Path of a configuration file in folder: "%s/%d-%02d-%02d-%02d-%02d-%02d.bak".
std::string ConfigurationFilePath(const std::string& folder, const ClockSnapshot& now);

// "Export Data": a consistent copy of the live database (with what its write-ahead log still
// holds) at targetPath, replacing it through a temporary file. A live file that is not a
// database is copied as it is. 0, or -1 with targetPath untouched.
int ExportData(const std::string& livePath, const std::string& targetPath);

// "Import Data": copies sourcePath unchecked to appDir/QVXDATA.bak, which replaces the live
// database at the next start. 0, or -1 with nothing changed.
int ImportData(const std::string& sourcePath, const std::string& appDir);

// "Export file": copies the template to ConfigurationFilePath(folder, now) and writes the
// store's configuration into it; on failure the copy is deleted. 0 (*outPath = the file) or -1.
int ExportConfigurationFile(ConfigStore& store, const std::string& templatePath, const std::string& folder,
                            const ClockSnapshot& now, std::string* outPath);

// A consistent copy of the open database db at destPath through a temporary file. 0 or -1.
int BackupOpenDatabase(sqlite3* db, const std::string& destPath);

}  // namespace ocv
