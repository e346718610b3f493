#include "record/index_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/trace.h"

namespace ocv {
namespace {

bool WriteAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Makes a rename in the folder survive a power cut.
void SyncFolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

void LimitFileMode(int fd) {
    struct stat st {};
    if (fstat(fd, &st) == 0 && (st.st_mode & 0777 & ~kRecordFileMode) != 0)
        fchmod(fd, st.st_mode & kRecordFileMode);
}

int IndexFile::Open(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kRecordFileMode);
    if (fd_ >= 0) LimitFileMode(fd_);  // a file from before keeps no wider mode either
    return fd_ >= 0 ? 0 : -1;
}

void IndexFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int IndexFile::ReadAll(std::vector<IndexRecord>* records) {
    if (fd_ < 0) return -1;
    IndexRecord r;
    for (off_t at = 0;; at += static_cast<off_t>(sizeof r)) {
        ssize_t n = pread(fd_, &r, sizeof r, at);
        if (n < 0 && errno == EINTR) {
            at -= static_cast<off_t>(sizeof r);
            continue;
        }
        if (n < 0) return -1;
        if (n != static_cast<ssize_t>(sizeof r)) return 0;
        records->push_back(r);
    }
}

long IndexFile::Append(const IndexRecord& record) {
    if (fd_ < 0) return -1;
    struct stat st {};
    if (fstat(fd_, &st) != 0) return -1;
    off_t at = st.st_size - st.st_size % static_cast<off_t>(sizeof record);
    ssize_t n = pwrite(fd_, &record, sizeof record, at);
    if (n != static_cast<ssize_t>(sizeof record)) {
        if (n > 0 && ftruncate(fd_, at) != 0) {
            // The torn tail is overwritten by the next append.
        }
        return -1;
    }
    return static_cast<long>(at);
}

int IndexFile::Rewrite(long offset, const IndexRecord& record) {
    if (fd_ < 0 || offset < 0) return -1;
    return pwrite(fd_, &record, sizeof record, offset) == static_cast<ssize_t>(sizeof record) ? 0 : -1;
}

int ReadIndexFile(const std::string& path, std::vector<IndexRecord>* records) {
    FILE* f = fopen(path.c_str(), "rbe");
    if (!f) return -1;
    IndexRecord r;
    while (fread(&r, 1, sizeof r, f) == sizeof r) records->push_back(r);
    fclose(f);
    return 0;
}

int AppendIndexRecord(const std::string& path, const IndexRecord& record) {
    IndexFile index;
    if (index.Open(path) != 0) return -1;
    long at = index.Append(record);
    return at < 0 ? -1 : static_cast<int>(at / static_cast<long>(sizeof record));
}

int RewriteIndexRecord(const std::string& path, int position, const IndexRecord& record) {
    if (position < 0) return -1;
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    off_t at = static_cast<off_t>(position) * static_cast<off_t>(sizeof record);
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && at + static_cast<off_t>(sizeof record) <= st.st_size &&
              pwrite(fd, &record, sizeof record, at) == static_cast<ssize_t>(sizeof record);
    ::close(fd);
    return ok ? 0 : -1;
}

int ReplaceIndexFile(const std::string& path, const std::vector<IndexRecord>& records) {
    std::string tmp = path + ".tmp." + std::to_string(getpid());
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kRecordFileMode);
    if (fd < 0) {
        Trace("images.fi: cannot create %s\n", tmp.c_str());
        return -1;
    }
    // The new list keeps the old file's mode, never wider than the recordings' own.
    struct stat old {};
    if (stat(path.c_str(), &old) == 0) fchmod(fd, old.st_mode & kRecordFileMode);
    bool ok = WriteAll(fd, records.data(), records.size() * sizeof(IndexRecord)) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        Trace("images.fi: cannot replace %s\n", path.c_str());
        return -1;
    }
    SyncFolderOf(path);
    return 0;
}

}  // namespace ocv
