#pragma once
// A configuration import leaves the imported database as AppDir/QVXDATA.bak and ends the
// program; at the next start it becomes the live QVXVMS.dat before anything opens it.
namespace ocv {

// 0: nothing pending; 1: applied and QVXDATA.bak deleted; -1: the copy failed and both files
// are as they were (tried again at the next start).
int ApplyPendingImport();

}  // namespace ocv
