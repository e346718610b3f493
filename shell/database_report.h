#pragma once
// What the operator is told when the configuration database cannot be used at start-up: a
// client that quietly runs on no (or part of its) configuration records nothing.
#include <string>

#include "store/config_store.h"

namespace ocv {

// The newest file in appDir that a damaged QVXVMS.dat can be recovered from: the database an
// import replaced, or a whole-file backup ("VMS....bak" of "Export Data"); "" when there is none.
std::string NewestRecoverySource(const std::string& appDir);

// The translated message naming the database file, what is wrong with it, that it was left as
// it is, and where to recover it from (the newest backup, else the template QVXVMS.bak).
// "" when the store's database is usable.
std::string DatabaseProblemText(const ConfigStore& store, const std::string& appDir);

}  // namespace ocv
