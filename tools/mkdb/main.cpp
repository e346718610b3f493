// ocuvant-mkdb [--dir DIR] [--force] [--demo host:port:channels[,...]]...
// Writes DIR/QVXVMS.bak (the template, always) and DIR/QVXVMS.dat (only when missing, or with
// --force). DIR defaults to the directory of the tool, the application directory.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/app_dir.h"
#include "platform/file_util.h"
#include "store/config_files.h"
#include "tools/mkdb/mkdb.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: ocuvant-mkdb [--dir DIR] [--force] [--demo host:port:channels[,...]]...\n"
                 "  writes DIR/QVXVMS.bak and, unless it exists (or with --force), DIR/QVXVMS.dat\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = ocv::AppDir();
    bool force = false;
    std::vector<ocv::mkdb::DemoDevice> demo;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string error;
        if (arg == "--force") {
            force = true;
        } else if (arg == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (arg == "--demo" && i + 1 < argc) {
            if (!ocv::mkdb::ParseDemoDevices(argv[++i], &demo, &error)) {
                std::fprintf(stderr, "ocuvant-mkdb: %s\n", error.c_str());
                return 2;
            }
        } else {
            Usage();
            return 2;
        }
    }
    if (ocv::MakeDirectories(dir) != 0) {
        std::fprintf(stderr, "ocuvant-mkdb: cannot create %s\n", dir.c_str());
        return 1;
    }
    std::string error;
    std::string templatePath = dir + "/" + ocv::kTemplateDatabaseName;
    if (ocv::mkdb::WriteTemplate(templatePath, &error) != 0) {
        std::fprintf(stderr, "ocuvant-mkdb: %s\n", error.c_str());
        return 1;
    }
    std::string livePath = dir + "/" + ocv::kLiveDatabaseName;
    if (ocv::FileExists(livePath) && !force) {
        std::printf("ocuvant-mkdb: kept existing %s (use --force to replace it)\n", livePath.c_str());
        return demo.empty() ? 0 : 1;  // the demo devices were asked for but not written
    }
    if (ocv::mkdb::WriteLiveDatabase(livePath, demo, &error) != 0) {
        std::fprintf(stderr, "ocuvant-mkdb: %s\n", error.c_str());
        return 1;
    }
    std::printf("ocuvant-mkdb: wrote %s and %s\n", livePath.c_str(), templatePath.c_str());
    return 0;
}
