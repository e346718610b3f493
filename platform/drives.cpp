#include "platform/drives.h"

#include <sys/statvfs.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/app_dir.h"
#include "platform/file_util.h"
#include "platform/profile.h"

namespace ocv::drives {
namespace {

std::mutex gMountMutex;
std::string gMountTable = "/proc/self/mounts";

std::string MountTablePath() {
    std::lock_guard lock(gMountMutex);
    return gMountTable;
}

char Upper(char letter) {
    return (letter >= 'a' && letter <= 'z') ? static_cast<char>(letter - 'a' + 'A') : letter;
}

bool ValidLetter(char letter) {
    letter = Upper(letter);
    return letter >= 'C' && letter < 'C' + kMaxDrives;
}

bool ConfigHasDriveSection(const std::string& ini) {
    char names[4096];
    uint32_t n = GetPrivateProfileStringA("DRIVES", nullptr, "", names, sizeof names, ini.c_str());
    return n > 0;
}

// Mount points escape blanks and a few other characters as \ooo.
std::string UnescapeMountField(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        bool octal = s[i] == '\\' && i + 3 < s.size();
        for (size_t k = 1; octal && k <= 3; ++k) octal = s[i + k] >= '0' && s[i + k] <= '7';
        if (octal) {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool IsUnder(const std::string& path, const std::string& mountPoint) {
    if (mountPoint == "/") return true;
    if (path.compare(0, mountPoint.size(), mountPoint) != 0) return false;
    return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

DriveType ClassifyFs(const std::string& fsType, const std::string& source) {
    static const char* const kRemote[] = {"nfs",  "nfs4",   "cifs",      "smb3",  "smbfs",
                                          "ncpfs", "afs",   "sshfs",     "davfs", "9p",
                                          "ceph", "glusterfs", "lustre", "fuse"};
    for (const char* r : kRemote)
        if (fsType == r) return DriveType::kRemote;
    // fuse.sshfs, fuse.rclone, ... are network file systems; fuseblk is a local block device.
    if (fsType.rfind("fuse.", 0) == 0) return DriveType::kRemote;
    if (fsType == "iso9660" || fsType == "udf") return DriveType::kCdRom;
    if (source.rfind("/dev/", 0) == 0) {
        std::string dev = source.substr(5);
        // A partition (sdb1) reports removability through its parent disk (sdb).
        for (int attempt = 0; attempt < 2 && !dev.empty(); ++attempt) {
            std::ifstream f("/sys/block/" + dev + "/removable");
            int removable = 0;
            if (f >> removable) return removable ? DriveType::kRemovable : DriveType::kFixed;
            while (!dev.empty() && dev.back() >= '0' && dev.back() <= '9') dev.pop_back();
            if (!dev.empty() && dev.back() == 'p' && dev.rfind("nvme", 0) == 0) dev.pop_back();
        }
    }
    return DriveType::kFixed;
}

DriveType TypeOfDirectory(const std::string& dir) {
    char real[PATH_MAX];
    if (!DirectoryExists(dir) || realpath(dir.c_str(), real) == nullptr) return DriveType::kNoRootDir;
    std::string path = real;
    std::ifstream mounts(MountTablePath());
    std::string line, bestMount, bestType, bestSource;
    bool found = false;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string source, mountPoint, fsType;
        if (!(fields >> source >> mountPoint >> fsType)) continue;
        mountPoint = UnescapeMountField(mountPoint);
        // Later entries over the same point shadow earlier ones, so >= keeps the last.
        if (IsUnder(path, mountPoint) && (!found || mountPoint.size() >= bestMount.size())) {
            bestMount = mountPoint;
            bestType = fsType;
            bestSource = UnescapeMountField(source);
            found = true;
        }
    }
    if (!found) return DriveType::kUnknown;
    return ClassifyFs(bestType, bestSource);
}

}  // namespace

void SetMountTableForTesting(std::string path) {
    std::lock_guard lock(gMountMutex);
    gMountTable = path.empty() ? "/proc/self/mounts" : std::move(path);
}

std::string DriveDirectory(char letter) {
    if (!ValidLetter(letter)) return {};
    letter = Upper(letter);
    std::string ini = AppPath("config.ini");
    if (ConfigHasDriveSection(ini)) {
        char key[2] = {letter, '\0'};
        char dir[PATH_MAX];
        GetPrivateProfileStringA("DRIVES", key, "", dir, sizeof dir, ini.c_str());
        std::string d = dir;
        while (d.size() > 1 && d.back() == '/') d.pop_back();
        if (d.empty() || d[0] != '/') return {};  // only absolute directories are honoured
        return d;
    }
    if (letter != 'C' && letter != 'D') return {};
    std::string d = AppPath(std::string("storage/") + letter);
    MakeDirectories(d);
    return d;
}

DriveType GetDriveType(char letter) {
    std::string dir = DriveDirectory(letter);
    if (dir.empty()) return DriveType::kNoRootDir;
    return TypeOfDirectory(dir);
}

bool IsUsableForRecording(char letter) {
    DriveType t = GetDriveType(letter);
    return t == DriveType::kFixed || t == DriveType::kRemovable;
}

int GetFreeBytes(char letter, uint64_t* freeBytesAvailable, uint64_t* totalBytes) {
    std::string dir = DriveDirectory(letter);
    if (dir.empty()) return -1;
    struct statvfs st {};
    if (statvfs(dir.c_str(), &st) != 0) return -1;
    if (freeBytesAvailable) *freeBytesAvailable = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
    if (totalBytes) *totalBytes = static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
    return 0;
}

std::string DrivePath(char letter, std::string_view relative) {
    std::string dir = DriveDirectory(letter);
    if (dir.empty()) return {};
    std::string rel(relative);
    for (char& c : rel)
        if (c == '\\') c = '/';
    while (!rel.empty() && rel.front() == '/') rel.erase(0, 1);
    if (rel.empty()) return dir;
    return dir + "/" + rel;
}

std::string ResolveStoredPath(std::string_view stored) {
    if (stored.size() >= 2 && stored[1] == ':' &&
        ((stored[0] >= 'A' && stored[0] <= 'Z') || (stored[0] >= 'a' && stored[0] <= 'z'))) {
        return DrivePath(stored[0], stored.substr(2));
    }
    std::string s(stored);
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

}  // namespace ocv::drives
