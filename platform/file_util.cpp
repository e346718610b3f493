#include "platform/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

namespace ocv {
namespace {

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Unique per call, so two threads replacing the same file never share a temporary.
std::string TempNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1));
}

// The mode a replacement gets: the replaced file's own, never looser than asked for.
mode_t ReplacementMode(const std::string& path, unsigned mode) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return (st.st_mode & 0777) & mode;
    return mode & 0777;
}

// Writes the temporary file, then renames it over the target.
template <typename Producer>
int ReplaceWith(const std::string& path, unsigned mode, Producer&& produce) {
    std::string tmp = TempNameFor(path);
    unlink(tmp.c_str());  // a leftover of a crashed process could carry a looser mode
    const mode_t wanted = ReplacementMode(path, mode);
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, wanted);
    if (fd < 0) return -1;
    // The umask may only tighten a shared file; a private one gets exactly its mode.
    bool ok = (wanted & 077) != 0 || fchmod(fd, wanted) == 0;
    ok = ok && produce(fd) && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return -1;
    }
    return 0;
}

}  // namespace

int ReadFileBounded(const std::string& path, size_t maxBytes, std::string* out) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        close(fd);
        return -2;
    }
    std::string data;
    data.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < data.size()) {
        ssize_t n = read(fd, data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    data.resize(got);
    *out = std::move(data);
    return 0;
}

int ReplaceFileAtomically(const std::string& path, std::string_view data, unsigned mode) {
    return ReplaceWith(path, mode, [&](int fd) { return WriteAll(fd, data.data(), data.size()); });
}

int CopyFileAtomically(const std::string& src, const std::string& dst, unsigned mode) {
    int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return -1;
    int rc = ReplaceWith(dst, mode, [&](int out) {
        char buf[64 * 1024];
        for (;;) {
            ssize_t n = read(in, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) return true;
            if (!WriteAll(out, buf, static_cast<size_t>(n))) return false;
        }
    });
    close(in);
    return rc;
}

int CreatePrivateFile(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFileMode);
    if (fd < 0) return -1;
    bool ok = fchmod(fd, kPrivateFileMode) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok) unlink(path.c_str());
    return ok ? 0 : -1;
}

int TightenFileMode(const std::string& path, unsigned mode) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    if ((st.st_mode & 0777 & ~mode) == 0) return 0;
    return chmod(path.c_str(), st.st_mode & 0777 & mode) == 0 ? 1 : -1;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int MakeDirectories(const std::string& path) {
    if (path.empty()) return -1;
    if (DirectoryExists(path)) return 0;
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (MakeDirectories(path.substr(0, slash)) != 0) return -1;
    }
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return -1;
    return DirectoryExists(path) ? 0 : -1;
}

}  // namespace ocv
