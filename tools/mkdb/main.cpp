// ocuvant-mkdb [--dir DIR] [--force] [--demo [onvif=]host:port:channels[,...]]...
// Writes DIR/QVXVMS.bak (the template, always) and DIR/QVXVMS.dat (only when missing, or with
// --force). DIR defaults to the directory of the tool, the application directory.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/app_dir.h"
#include "store/config_files.h"
#include "tools/mkdb/mkdb.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: ocuvant-mkdb [--dir DIR] [--force] [--demo [onvif=]host:port:channels[,...]]...\n"
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
    std::string error;
    bool kept = false;
    int rc = ocv::mkdb::InstallDatabaseFiles(dir, force, demo, &kept, &error);
    if (rc < 0) {
        std::fprintf(stderr, "ocuvant-mkdb: %s\n", error.c_str());
        return 1;
    }
    if (kept) {
        std::printf("ocuvant-mkdb: kept existing %s/%s (use --force to replace it)\n", dir.c_str(),
                    ocv::kLiveDatabaseName);
        return rc;  // 1: the demo devices were asked for but not written
    }
    std::printf("ocuvant-mkdb: wrote %s/%s and %s\n", dir.c_str(), ocv::kLiveDatabaseName, ocv::kTemplateDatabaseName);
    return 0;
}
