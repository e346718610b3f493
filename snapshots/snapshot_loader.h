#pragma once
// The snapshot viewer's disk work on a thread of its own ("snapshot-load"): listing days,
// channel folders and pictures, decoding thumbnails and the large picture, and deleting. The
// viewer hands it jobs and gets each result through a callback that runs on the loader's thread
// and only passes the result on. A newer listing makes the thumbnails of older ones stop.
#include <QImage>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "snapshots/snapshot_folders.h"

namespace ocv::snapshots {

struct ScanRequest {
    std::string root;
    SnapshotDay day;            // invalid: the newest day that has pictures
    std::string channelFolder;  // "" for every channel
};

struct ScanResult {
    int generation = 0;
    std::vector<SnapshotDay> days;
    SnapshotDay day;  // the day listed
    std::vector<ChannelFolder> folders;
    SnapshotListing listing;
};

struct ThumbnailResult {
    int generation = 0;
    int index = 0;  // into the listing's files
    QImage image;   // null when the file could not be decoded
};

struct PictureResult {
    std::string path;
    QImage image;
};

struct DeleteResult {
    std::string path;
    bool deleted = false;
};

class SnapshotLoader {
public:
    struct Callbacks {
        std::function<void(ScanResult)> scanned;
        std::function<void(ThumbnailResult)> thumbnail;
        std::function<void(PictureResult)> picture;
        std::function<void(DeleteResult)> deleted;
    };
    SnapshotLoader(Callbacks callbacks, QSize thumbnailSize);
    ~SnapshotLoader();
    SnapshotLoader(const SnapshotLoader&) = delete;
    SnapshotLoader& operator=(const SnapshotLoader&) = delete;

    // Returns the listing's generation (what its results carry).
    int Scan(ScanRequest request);
    void LoadPicture(std::string path);
    void Delete(std::string root, std::string path);

private:
    struct Job {
        enum Kind { kScan, kPicture, kDelete } kind;
        ScanRequest scan;
        std::string path;
        int generation = 0;
    };
    void Run();
    void RunScan(const Job& job);
    void RunQuickJob(const Job& job);
    void RunWaitingQuickJobs();
    bool Superseded(int generation);

    Callbacks callbacks_;
    QSize thumbnailSize_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    int generation_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

// Reads an image scaled down to fit size (decoding only what is needed for JPEG). Null on
// failure or for a file over 64 MiB.
QImage ReadScaledImage(const std::string& path, QSize fit);

}  // namespace ocv::snapshots
