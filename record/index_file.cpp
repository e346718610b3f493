#include "record/index_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace ocv {

int IndexFile::Open(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    return fd_ >= 0 ? 0 : -1;
}

void IndexFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
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

}  // namespace ocv
