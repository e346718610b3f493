#pragma once
// "Import Data" leaves the chosen database as AppDir/QVXDATA.bak; at the next start, before
// anything opens the live QVXVMS.dat, it becomes the live database. Only after the single
// instance is secured: a second client must never replace the database the first has open.
#include <string>

namespace ocv {

constexpr const char* kBeforeImportSuffix = ".before-import";
constexpr const char* kRefusedImportSuffix = ".refused";

// 0: nothing pending. 1: applied; QVXDATA.bak is gone and the replaced database (with its
// write-ahead log) is kept as QVXVMS.dat.before-import. -1: not applied, with a trace line
// saying why, and QVXVMS.dat untouched: either the copy failed (QVXDATA.bak stays and is tried
// again at the next start) or the file is no configuration database with an account to log
// in with (it is renamed QVXDATA.bak.refused so it is neither lost nor tried again).
int ApplyPendingImport(const std::string& appDir);

}  // namespace ocv
