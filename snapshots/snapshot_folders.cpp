#include "snapshots/snapshot_folders.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "base/trace.h"
#include "platform/drives.h"

namespace ocv::snapshots {
namespace fs = std::filesystem;
namespace {

const char* const kKindFolders[2] = {"QVXPhoto", "QVXPhotoPB"};

bool AllDigits(const std::string& s, size_t from, size_t count) {
    if (from + count > s.size()) return false;
    for (size_t i = from; i < from + count; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

int Number(const std::string& s, size_t from, size_t count) { return std::stoi(s.substr(from, count)); }

// Entries of a folder of the given type; links are never followed.
std::vector<fs::directory_entry> Entries(const fs::path& dir, bool folders) {
    std::vector<fs::directory_entry> out;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code sc;
        fs::file_status status = it->symlink_status(sc);
        if (sc) continue;
        if (folders ? fs::is_directory(status) : fs::is_regular_file(status)) out.push_back(*it);
    }
    return out;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

void TimeFromName(const std::string& name, SnapshotFile* file) {
    const size_t at = name.rfind("PB", 0) == 0 ? 2 : 0;
    if (!AllDigits(name, at, 14)) return;
    int h = Number(name, at + 6, 2), m = Number(name, at + 8, 2), s = Number(name, at + 10, 2);
    if (h > 23 || m > 59 || s > 59) return;
    file->hour = h;
    file->minute = m;
    file->second = s;
}

}  // namespace

std::string PhotoRoot(const char* photoPath) {
    if (photoPath == nullptr || *photoPath == '\0') return {};
    std::string root = drives::ResolveStoredPath(photoPath);
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
}

std::string DayFolderName(const SnapshotDay& day) {
    char name[32];
    std::snprintf(name, sizeof name, "%04d_%02d_%02d", day.year, day.month, day.day);
    return name;
}

bool ParseDayFolderName(const std::string& name, SnapshotDay* day) {
    if (name.size() != 10 || name[4] != '_' || name[7] != '_' || !AllDigits(name, 0, 4) || !AllDigits(name, 5, 2) ||
        !AllDigits(name, 8, 2))
        return false;
    SnapshotDay d{Number(name, 0, 4), Number(name, 5, 2), Number(name, 8, 2)};
    if (d.year < 1970 || d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31) return false;
    *day = d;
    return true;
}

std::vector<SnapshotDay> ListSnapshotDays(const std::string& root, size_t maxDays) {
    std::set<std::string> names;
    if (root.empty()) return {};
    for (const char* kind : kKindFolders) {
        for (const fs::directory_entry& e : Entries(fs::path(root) / kind, true)) {
            SnapshotDay day;
            if (ParseDayFolderName(e.path().filename().string(), &day)) names.insert(e.path().filename().string());
        }
    }
    std::vector<SnapshotDay> days;
    for (auto it = names.rbegin(); it != names.rend() && days.size() < maxDays; ++it) {
        SnapshotDay day;
        ParseDayFolderName(*it, &day);
        days.push_back(day);
    }
    return days;
}

std::string ChannelFolderName(const char* host, int port, int channelNumber) {
    ClockSnapshot any{};
    any.year = 2000;
    any.month = 1;
    any.day = 1;
    // The same rule the captures use, so what is looked for is what was written.
    std::string folder = backup::SnapshotFolder(backup::SnapshotKind::kLive, "", any, host, port, channelNumber);
    folder.pop_back();  // the closing "\"
    return folder.substr(folder.rfind('\\') + 1);
}

ChannelFolder ParseChannelFolderName(const std::string& name) {
    ChannelFolder f;
    f.name = name;
    const size_t c = name.rfind("-C");
    const size_t digits = c == std::string::npos ? 0 : name.size() - c - 2;
    if (c == std::string::npos || c == 0 || digits == 0 || digits > 3 || !AllDigits(name, c + 2, digits)) return f;
    const size_t p = name.rfind('-', c - 1);
    if (p == std::string::npos || p == 0 || c - p - 1 == 0 || c - p - 1 > 5 || !AllDigits(name, p + 1, c - p - 1))
        return f;
    f.host = name.substr(0, p);
    f.port = Number(name, p + 1, c - p - 1);
    f.channelNumber = Number(name, c + 2, name.size() - c - 2);
    return f;
}

std::vector<ChannelFolder> ListChannelFolders(const std::string& root, const SnapshotDay& day) {
    std::set<std::string> names;
    if (root.empty() || !day.valid()) return {};
    for (const char* kind : kKindFolders)
        for (const fs::directory_entry& e : Entries(fs::path(root) / kind / DayFolderName(day), true))
            names.insert(e.path().filename().string());
    std::vector<ChannelFolder> out;
    for (const std::string& n : names) out.push_back(ParseChannelFolderName(n));
    return out;
}

bool IsSnapshotFileName(const std::string& name) {
    if (name.size() <= 4) return false;
    const std::string ext = Lower(name.substr(name.size() - 4));
    return ext == ".jpg" || ext == ".bmp";
}

SnapshotListing ListSnapshotFiles(const std::string& root, const SnapshotDay& day, const std::string& channelFolder,
                                  size_t maxFiles) {
    SnapshotListing listing;
    if (root.empty() || !day.valid()) return listing;
    for (int k = 0; k < 2; ++k) {
        const fs::path dayDir = fs::path(root) / kKindFolders[k] / DayFolderName(day);
        for (const fs::directory_entry& folder : Entries(dayDir, true)) {
            const std::string folderName = folder.path().filename().string();
            if (!channelFolder.empty() && folderName != channelFolder) continue;
            for (const fs::directory_entry& e : Entries(folder.path(), false)) {
                SnapshotFile f;
                f.name = e.path().filename().string();
                if (!IsSnapshotFileName(f.name)) continue;
                if (listing.files.size() >= maxFiles) {
                    listing.truncated = true;
                    break;
                }
                f.path = e.path().string();
                f.channelFolder = folderName;
                f.kind = k == 0 ? backup::SnapshotKind::kLive : backup::SnapshotKind::kPlayback;
                std::error_code ec;
                f.bytes = e.file_size(ec);
                if (ec) f.bytes = 0;
                TimeFromName(f.name, &f);
                listing.files.push_back(std::move(f));
            }
        }
    }
    // Time order across both kinds; names without a time last, by name.
    std::sort(listing.files.begin(), listing.files.end(), [](const SnapshotFile& a, const SnapshotFile& b) {
        auto key = [](const SnapshotFile& f) {
            return f.hour < 0 ? 1 << 30 : f.hour * 3600 + f.minute * 60 + f.second;
        };
        if (key(a) != key(b)) return key(a) < key(b);
        return a.name < b.name;
    });
    return listing;
}

int DeleteSnapshot(const std::string& root, const std::string& path) {
    if (root.empty() || path.empty()) return -1;
    const fs::path file = fs::path(path).lexically_normal();
    const fs::path relative = file.lexically_relative(fs::path(root).lexically_normal());
    std::vector<std::string> parts;
    for (const fs::path& p : relative) parts.push_back(p.string());
    SnapshotDay day;
    const bool shaped = parts.size() == 4 && (parts[0] == kKindFolders[0] || parts[0] == kKindFolders[1]) &&
                        ParseDayFolderName(parts[1], &day) && parts[2] != ".." && parts[2] != "." &&
                        IsSnapshotFileName(parts[3]);
    std::error_code ec;
    const bool plain = fs::is_regular_file(fs::symlink_status(file, ec));
    // Through no link out of the photo folders either.
    bool inside = false;
    if (shaped && plain) {
        std::error_code pe, re;
        const fs::path realParent = fs::canonical(file.parent_path(), pe);
        const fs::path realRoot = fs::canonical(root, re);
        const fs::path rel = realParent.lexically_relative(realRoot);
        inside = !pe && !re && !rel.empty() && *rel.begin() != ".." && *rel.begin() != ".";
    }
    if (!shaped || !plain || !inside) {
        Trace("snapshot: %s is not a picture of the snapshot folders; not deleted\n", path.c_str());
        return -1;
    }
    if (unlink(file.c_str()) != 0) {
        Trace("snapshot: cannot delete %s\n", path.c_str());
        return -1;
    }
    return 0;
}

}  // namespace ocv::snapshots
