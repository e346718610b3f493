#include "platform/autostart.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "platform/app_dir.h"
#include "platform/file_util.h"

namespace ocv {
namespace {

std::mutex gMutex;
std::string gDirOverride;

std::string AutostartDir() {
    {
        std::lock_guard lock(gMutex);
        if (!gDirOverride.empty()) return gDirOverride;
    }
    struct passwd pw {};
    struct passwd* result = nullptr;
    char buf[4096];
    if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &result) != 0 || result == nullptr) return {};
    return std::string(result->pw_dir) + "/.config/autostart";
}

}  // namespace

void SetAutostartDirForTesting(std::string dir) {
    std::lock_guard lock(gMutex);
    gDirOverride = std::move(dir);
}

std::string AutostartEntryPath() {
    std::string dir = AutostartDir();
    return dir.empty() ? std::string() : dir + "/ocuvant.desktop";
}

bool IsAutostartEnabled() {
    std::string path = AutostartEntryPath();
    return !path.empty() && FileExists(path);
}

int SetAutostart(bool enabled) {
    std::string path = AutostartEntryPath();
    if (path.empty()) return -1;
    if (!enabled) {
        if (unlink(path.c_str()) != 0 && errno != ENOENT) return -1;
        return 0;
    }
    if (MakeDirectories(path.substr(0, path.rfind('/'))) != 0) return -1;
    std::string exec = AppPath("ocuvant");
    // Exec keys quote paths with blanks; backslash, quote, backtick and dollar are escaped.
    std::string quoted = "\"";
    for (char c : exec) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Ocuvant\n"
        "Comment=Video management client\n"
        "Exec=" + quoted + "\n"
        "Path=" + AppDir() + "\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n";
    return ReplaceFileAtomically(path, entry);
}

}  // namespace ocv
