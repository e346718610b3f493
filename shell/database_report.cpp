#include "shell/database_report.h"

#include <dirent.h>
#include <sys/stat.h>

#include "base/lang.h"
#include "store/config_files.h"
#include "store/pending_import.h"

namespace ocv {
namespace {

bool IsBackupName(const std::string& name) {
    const std::string aside = std::string(kLiveDatabaseName) + kBeforeImportSuffix;
    if (name == aside) return true;
    return name.size() > 7 && name.compare(0, 3, "VMS") == 0 && name.compare(name.size() - 4, 4, ".bak") == 0;
}

std::string Fill(std::string text, const std::string& mark, const std::string& value) {
    size_t at = text.find(mark);
    if (at != std::string::npos) text.replace(at, mark.size(), value);
    return text;
}

}  // namespace

std::string NewestRecoverySource(const std::string& appDir) {
    DIR* dir = opendir(appDir.c_str());
    if (dir == nullptr) return {};
    std::string best;
    long long bestTime = -1;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (!IsBackupName(name)) continue;
        struct stat st {};
        std::string path = appDir + "/" + name;
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) continue;
        long long t = static_cast<long long>(st.st_mtime);
        if (t > bestTime || (t == bestTime && path > best)) {
            bestTime = t;
            best = path;
        }
    }
    closedir(dir);
    return best;
}

std::string DatabaseProblemText(const ConfigStore& store, const std::string& appDir) {
    const DatabaseCheck& problem = store.databaseProblem();
    if (problem.state == DatabaseCheck::kUsable) return {};
    const char* what = problem.state == DatabaseCheck::kDamaged ? "The configuration database %1 is damaged."
                       : problem.state == DatabaseCheck::kNotConfiguration
                           ? "The configuration database %1 is not a configuration database."
                           : "The configuration database %1 is missing or cannot be opened.";
    std::string text = Fill(GetLangString(what), "%1", store.problemPath());
    text += "\n" + GetLangString("It was left as it is; the client runs without devices, groups, maps and accounts.");
    const std::string source = NewestRecoverySource(appDir);
    const std::string templatePath = appDir + "/" + kTemplateDatabaseName;
    if (!source.empty()) {
        text += "\n" + Fill(Fill(GetLangString("To recover, end the client and copy the backup %1 over %2."), "%1",
                                 source),
                            "%2", store.problemPath());
    } else {
        text += "\n" + Fill(GetLangString("To recover, end the client and copy a backup made with \"Export Data\" "
                                          "over it, or make a new one with ocuvant-mkdb (the empty template is %1)."),
                            "%1", templatePath);
    }
    return text;
}

}  // namespace ocv
