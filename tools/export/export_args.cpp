#include "tools/export/export_args.h"

#include <cstdlib>

#include "platform/drives.h"
#include "platform/file_util.h"

namespace ocv::exporter {
namespace {

bool ParseNumber(const std::string& s, int low, int high, int* out) {
    if (s.empty() || s.size() > 6) return false;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < low || v > high) return false;
    *out = v;
    return true;
}

int ParseType(const std::string& s, int* out) {
    static const char* const kNames[] = {"all", "manual", "alarm", "plan"};
    for (int i = 0; i < 4; ++i) {
        if (s == kNames[i]) {
            *out = i;
            return 0;
        }
    }
    return -1;
}

}  // namespace

const char* ExportUsage() {
    return "usage: ocuvant-export (--root DIR | --drive LETTER)... --channel HOST:PORT:CH\n"
           "                      --from \"YYYY-MM-DD HH:MM:SS\" --to \"YYYY-MM-DD HH:MM:SS\"\n"
           "                      --format avi|mp4|qvx --out PATH [--type all|manual|alarm|plan]\n"
           "                      [--quiet]\n"
           "Exports the recordings of one channel between two times of the same day.\n"
           "  --root DIR      a recording drive's directory (the one that holds QVXFile); repeat\n"
           "                  to merge drives\n"
           "  --drive LETTER  a drive letter of the client's configuration (config.ini, DRIVES)\n"
           "  --out PATH      the output file (a split continues in PATH_01, PATH_02, ... before\n"
           "                  the extension), or an existing folder for the backup names\n"
           "Exit status: 0 the whole span was written; 1 the export failed or left parts out;\n"
           "2 bad arguments or a refused span; 3 no recordings in the span; 130 interrupted.\n";
}

int ParseChannel(const std::string& text, std::string* host, int* port, int* channel) {
    size_t last = text.rfind(':');
    if (last == std::string::npos || last == 0) return -1;
    size_t middle = text.rfind(':', last - 1);
    if (middle == std::string::npos || middle == 0) return -1;
    int p = 0, c = 0;
    if (!ParseNumber(text.substr(middle + 1, last - middle - 1), 1, 65535, &p)) return -1;
    if (!ParseNumber(text.substr(last + 1), 1, 64, &c)) return -1;
    *host = text.substr(0, middle);
    *port = p;
    *channel = c;
    return 0;
}

int ParseExportArgs(const std::vector<std::string>& args, ExportArgs* out, std::string* error) {
    error->clear();
    ExportArgs a;
    bool haveChannel = false, haveFrom = false, haveTo = false, haveFormat = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            a.help = true;
            *out = a;
            return 0;
        }
        if (name == "--quiet") {
            a.quiet = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            *error = name.rfind("--", 0) == 0 ? name + " needs a value" : "unexpected argument " + name;
            return -1;
        }
        const std::string& value = args[++i];
        if (name == "--root") {
            if (!DirectoryExists(value)) {
                *error = "--root " + value + ": no such directory";
                return -1;
            }
            a.roots.push_back(value);
        } else if (name == "--drive") {
            char letter = value.size() == 1 || (value.size() == 2 && value[1] == ':') ? value[0] : 0;
            std::string dir = letter ? drives::DriveDirectory(letter) : std::string();
            if (dir.empty()) {
                *error = "--drive " + value + ": not a mapped drive letter (C..Z)";
                return -1;
            }
            a.roots.push_back(dir);
        } else if (name == "--channel") {
            if (ParseChannel(value, &a.host, &a.port, &a.channel) != 0) {
                *error = "--channel " + value + ": expected HOST:PORT:CH (channel from 1)";
                return -1;
            }
            haveChannel = true;
        } else if (name == "--from" || name == "--to") {
            backup::LocalDateTime& t = name == "--from" ? a.from : a.to;
            if (backup::ParseDateTime(value, &t) != 0) {
                *error = name + " " + value + ": expected \"YYYY-MM-DD HH:MM:SS\"";
                return -1;
            }
            (name == "--from" ? haveFrom : haveTo) = true;
        } else if (name == "--format") {
            if (backup::ParseFormat(value, &a.format) != 0) {
                *error = "--format " + value + ": expected avi, mp4 or qvx";
                return -1;
            }
            haveFormat = true;
        } else if (name == "--out") {
            a.out = value;
        } else if (name == "--type") {
            if (ParseType(value, &a.typeFilter) != 0) {
                *error = "--type " + value + ": expected all, manual, alarm or plan";
                return -1;
            }
        } else {
            *error = "unknown option " + name;
            return -1;
        }
    }
    if (a.roots.empty()) *error = "give at least one --root or --drive";
    else if (!haveChannel) *error = "--channel is missing";
    else if (!haveFrom || !haveTo) *error = "--from and --to are both needed";
    else if (!haveFormat) *error = "--format is missing";
    else if (a.out.empty()) *error = "--out is missing";
    if (!error->empty()) return -1;
    *out = a;
    return 0;
}

}  // namespace ocv::exporter
