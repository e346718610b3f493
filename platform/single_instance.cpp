#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file_util.h"

namespace ocv {

SingleInstance::~SingleInstance() { Release(); }

std::string SingleInstance::LockPath(const std::string& name) {
    std::string file = "ocuvant-";
    for (char c : name) file += (c == '/' || c == ' ') ? '_' : c;
    file += ".lock";
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    std::string dir = (runtime && runtime[0] == '/' && DirectoryExists(runtime)) ? runtime : "/tmp";
    return dir + "/" + file;
}

int SingleInstance::Acquire(const std::string& name) {
    if (fd_ >= 0) return 0;
    int fd = open(LockPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        int err = errno;
        close(fd);
        return err == EWOULDBLOCK ? -2 : -1;
    }
    fd_ = fd;
    return 0;
}

void SingleInstance::Release() {
    if (fd_ < 0) return;
    flock(fd_, LOCK_UN);
    close(fd_);
    fd_ = -1;
}

}  // namespace ocv
