#include "shell/startup_gate.h"

#include <dirent.h>

#include <vector>

#include "platform/file_util.h"
#include "platform/single_instance.h"
#include "base/lang.h"
#include "base/trace.h"
#include "store/config_files.h"
#include "store/pending_import.h"

namespace ocv {
namespace {

constexpr const char* kInstanceLockName = "VMS QVX";

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Names in appDir that hold account passwords: the live database and its logs, every database
// copy (the template, backups, a pending or refused import, a database kept aside) and config.ini.
bool HoldsPasswords(const std::string& name) {
    const std::string live = kLiveDatabaseName;
    if (name == "config.ini") return true;
    if (name.compare(0, live.size(), live) == 0) return true;  // QVXVMS.dat, -wal, -shm, .before-import...
    return EndsWith(name, ".bak") || EndsWith(name, std::string(".bak") + kRefusedImportSuffix);
}

}  // namespace

int TightenPrivateFiles(const std::string& appDir) {
    DIR* dir = opendir(appDir.c_str());
    if (dir == nullptr) return 0;
    std::vector<std::string> names;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (HoldsPasswords(name)) names.push_back(name);
    }
    closedir(dir);
    int tightened = 0;
    for (const std::string& name : names) {
        std::string path = appDir + "/" + name;
        int rc = TightenFileMode(path, kPrivateFileMode);
        if (rc == 1) {
            ++tightened;
            Trace("%s was readable by other users; now only by its owner\n", path.c_str());
        } else if (rc < 0) {
            Trace("%s is readable by other users and its mode cannot be changed\n", path.c_str());
        }
    }
    return tightened;
}

int SecureStartup(SingleInstance& instance, const std::string& appDir) {
    int acquired = instance.Acquire(kInstanceLockName);
    if (acquired != 0) return acquired == -2 ? -2 : -1;
    // Only the client that runs may replace the database; a second start would otherwise pull
    // it from under the first, with the committed rows still in its log.
    ApplyPendingImport(appDir);
    TightenPrivateFiles(appDir);
    return 0;
}

std::string StartupRefusalText(int result) {
    if (result == 0) return {};
    return GetLangString(result == -2 ? "Running!" : "Initialize failed! ");
}

}  // namespace ocv
