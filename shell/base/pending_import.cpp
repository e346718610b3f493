#include "shell/base/pending_import.h"

#include <stdio.h>
#include <unistd.h>

#include "platform/app_dir.h"
#include "platform/file_util.h"

namespace ocv {

int ApplyPendingImport() {
    std::string pending = AppPath("QVXDATA.bak");
    if (!FileExists(pending)) return 0;
    std::string live = AppPath("QVXVMS.dat");
    std::string staged = live + ".import";
    // The imported database is copied whole beside the live one first, so a failed copy
    // changes nothing.
    if (CopyFileAtomically(pending, staged) != 0) return -1;
    // The old database's write-ahead log must not be replayed into the imported file.
    unlink((live + "-wal").c_str());
    unlink((live + "-shm").c_str());
    if (rename(staged.c_str(), live.c_str()) != 0) {
        unlink(staged.c_str());
        return -1;
    }
    unlink(pending.c_str());
    return 1;
}

}  // namespace ocv
