#include "store/pending_import.h"

#include <unistd.h>

#include <cstdio>

#include "platform/file_util.h"
#include "base/trace.h"
#include "store/config_files.h"
#include "store/config_store.h"
#include "store/store_fields.h"

namespace ocv {
namespace {

const char* const kSideSuffixes[] = {"-wal", "-shm", "-journal"};

void RemoveWithSideFiles(const std::string& path) {
    unlink(path.c_str());
    for (const char* suffix : kSideSuffixes) unlink((path + suffix).c_str());
}

// Why the staged copy cannot become the live database; "" when it can. A copy of a live
// database holds at least one Administrator: without one nobody could log in again.
std::string RefusalOf(const std::string& staged) {
    DatabaseCheck check;
    auto conn = OpenConfigDatabase(staged, &check);
    if (!conn) return check.detail.empty() ? "not a configuration database" : check.detail;
    DbRecordset rs(conn.get());
    bool administrator = false;
    if (rs.Open("select * from USERINFO")) {
        for (; !rs.IsEof() && !administrator; rs.MoveNext()) {
            std::string name;
            rs.GetText("USERNAME", &name);
            administrator = !name.empty() && ReadInt(rs, "LEVEL") == kLevelAdministrator;
        }
    }
    if (rs.Failed()) return "its accounts cannot be read: " + rs.ErrorText();
    if (!administrator) return "it holds no Administrator account";
    return {};
}

// A second name for a file (or a private copy where the file system has no hard links), so
// that the original stays where it is until the new database has replaced it.
bool KeepAside(const std::string& from, const std::string& to) {
    if (!FileExists(from)) return true;
    if (link(from.c_str(), to.c_str()) == 0) return TightenFileMode(to, kPrivateFileMode) >= 0;
    return CopyFileAtomically(from, to, kPrivateFileMode) == 0;
}

}  // namespace

int ApplyPendingImport(const std::string& appDir) {
    const std::string pending = appDir + "/" + kPendingImportName;
    if (!FileExists(pending)) return 0;
    const std::string live = appDir + "/" + kLiveDatabaseName;
    const std::string staged = live + ".import";
    const std::string aside = live + kBeforeImportSuffix;

    // The imported database is copied whole beside the live one first, so a failed copy
    // changes nothing, and the check below never writes into QVXDATA.bak itself.
    RemoveWithSideFiles(staged);
    if (CopyFileAtomically(pending, staged, kPrivateFileMode) != 0) {
        Trace("pending import: cannot copy %s; it is tried again at the next start\n", pending.c_str());
        RemoveWithSideFiles(staged);
        return -1;
    }
    std::string refusal = RefusalOf(staged);
    for (const char* suffix : kSideSuffixes) unlink((staged + suffix).c_str());  // left by the check
    if (!refusal.empty()) {
        RemoveWithSideFiles(staged);
        std::string refused = pending + kRefusedImportSuffix;
        rename(pending.c_str(), refused.c_str());
        Trace("pending import: %s refused (%s); %s stays the live database\n", pending.c_str(), refusal.c_str(),
              live.c_str());
        return -1;
    }

    // The replaced database is kept, with the write-ahead log that may still hold committed
    // rows, under names SQLite pairs the same way.
    RemoveWithSideFiles(aside);
    if (!KeepAside(live, aside) || !KeepAside(live + "-wal", aside + "-wal")) {
        RemoveWithSideFiles(aside);
        RemoveWithSideFiles(staged);
        Trace("pending import: cannot keep %s aside; it stays the live database\n", live.c_str());
        return -1;
    }
    // The old log must not be replayed into the imported database.
    unlink((live + "-wal").c_str());
    unlink((live + "-shm").c_str());
    if (rename(staged.c_str(), live.c_str()) != 0) {
        if (FileExists(aside + "-wal")) link((aside + "-wal").c_str(), (live + "-wal").c_str());  // its rows again
        RemoveWithSideFiles(staged);
        Trace("pending import: cannot replace %s; it is tried again at the next start\n", live.c_str());
        return -1;
    }
    unlink(pending.c_str());
    Trace("pending import: %s is the live database now; the one it replaced is %s\n", pending.c_str(),
          aside.c_str());
    return 1;
}

}  // namespace ocv
