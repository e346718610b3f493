#include "shell/base/pending_import.h"

#include <unistd.h>

#include "platform/app_dir.h"
#include "platform/file_util.h"

namespace ocv {

int ApplyPendingImport() {
    std::string pending = AppPath("QVXDATA.bak");
    if (!FileExists(pending)) return 0;
    if (CopyFileAtomically(pending, AppPath("QVXVMS.dat")) != 0) return -1;
    unlink(pending.c_str());
    return 1;
}

}  // namespace ocv
