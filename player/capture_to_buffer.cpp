// QVXPlay_CaptureToBuffer: the picture file of QVXPlay_Capture, handed back as bytes. The
// port encodes into a private folder on the memory file system (the run-time directory, else
// /dev/shm), which is read back and removed at once, so a capture never touches a disk and the
// caller alone decides where (and whether) the picture is stored.
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "base/trace.h"
#include "platform/file_util.h"
#include "player/qvx_player.h"

namespace {

// A full-size bitmap of the largest picture the player decodes.
constexpr size_t kMaxPictureBytes = 128u << 20;
constexpr long kTmpfsMagic = 0x01021994;

bool IsMemoryFolder(const char* dir) {
    struct statfs fs {};
    return dir && *dir && statfs(dir, &fs) == 0 && fs.f_type == kTmpfsMagic && access(dir, W_OK | X_OK) == 0;
}

// The folder private capture folders are made in: memory first, the temporary folder last.
std::string CaptureRoot() {
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (IsMemoryFolder(runtime)) return runtime;
    if (IsMemoryFolder("/dev/shm")) return "/dev/shm";
    const char* tmp = getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

}  // namespace

extern "C" int QVXPlay_CaptureToBuffer(int port, int bitmapFlag, int quality, void* buffer, int* length) {
    if (!length || *length < 0 || (*length > 0 && !buffer)) return QVXPLAY_ERROR;
    std::string folder = CaptureRoot() + "/ocv-capture-XXXXXX";
    if (!mkdtemp(folder.data())) {
        ocv::Trace("capture of port %d: no private folder for the picture\n", port);
        return QVXPLAY_ERROR;
    }
    const std::string file = folder + "/picture";
    int rc = QVXPlay_Capture(port, file.c_str(), bitmapFlag, quality);
    std::string bytes;
    if (rc == QVXPLAY_OK && ocv::ReadFileBounded(file, kMaxPictureBytes, &bytes) != 0) {
        ocv::Trace("capture of port %d: the picture could not be read back\n", port);
        rc = QVXPLAY_ERROR;
    }
    unlink(file.c_str());
    rmdir(folder.c_str());
    if (rc != QVXPLAY_OK) {
        if (rc == QVXPLAY_EMPTY) *length = 0;
        return rc;
    }
    if (bytes.size() > static_cast<size_t>(*length)) {
        *length = static_cast<int>(bytes.size());
        return QVXPLAY_EMPTY;
    }
    std::memcpy(buffer, bytes.data(), bytes.size());
    *length = static_cast<int>(bytes.size());
    return QVXPLAY_OK;
}
