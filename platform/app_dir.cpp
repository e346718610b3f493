#include "platform/app_dir.h"

#include <unistd.h>

#include <climits>
#include <mutex>

namespace ocv {
namespace {

std::string ExecutableDirectory() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::mutex& DirMutex() {
    static std::mutex m;
    return m;
}

std::string& DirStorage() {
    static std::string dir = ExecutableDirectory();
    return dir;
}

}  // namespace

const std::string& AppDir() {
    std::lock_guard lock(DirMutex());
    return DirStorage();
}

void SetAppDir(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    std::lock_guard lock(DirMutex());
    DirStorage() = std::move(dir);
}

std::string AppPath(std::string_view name) {
    const std::string& dir = AppDir();
    std::string path = dir.empty() ? std::string(".") : dir;
    if (path.back() != '/') path += '/';
    path += name;
    return path;
}

}  // namespace ocv
