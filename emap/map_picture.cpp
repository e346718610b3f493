#include "emap/map_picture.h"

#include <pthread.h>
#include <sys/stat.h>

#include <QImageReader>

#include "emap/map_rules.h"
#include "platform/file_util.h"
#include "store/records.h"
#include "base/trace.h"

namespace ocv {
namespace {

// A decoded picture of this many pixels takes 160 MiB; larger ones are refused before decoding.
constexpr int64_t kMaxPixels = int64_t{40} << 20;

// The picture format of a readable, acceptable file ("png" or "jpeg"); empty otherwise.
QByteArray CheckPicture(const std::string& path, int* width, int* height, const char** error) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "The picture cannot be read";
        return {};
    }
    if (st.st_size > kMaxMapPictureBytes) {
        *error = "The picture is too large";
        return {};
    }
    QImageReader reader(QString::fromLocal8Bit(path.c_str()));
    reader.setDecideFormatFromContent(true);
    QByteArray format = reader.format();
    if (format != "png" && format != "jpeg") {
        *error = "The picture must be a PNG or JPEG file";
        return {};
    }
    QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxMapPictureSide || size.height() > kMaxMapPictureSide ||
        int64_t{size.width()} * size.height() > kMaxPixels) {
        *error = "The picture is too large";
        return {};
    }
    *width = size.width();
    *height = size.height();
    return format;
}

}  // namespace

MapPictureImport ImportMapPicture(const std::string& source, const std::string& folder, const ClockSnapshot& now,
                                  int sequence) {
    MapPictureImport out;
    QByteArray format = CheckPicture(source, &out.width, &out.height, &out.error);
    if (format.isEmpty()) return out;
    // Decoded once, so a damaged file is refused now rather than shown as an empty map later.
    QImageReader reader(QString::fromLocal8Bit(source.c_str()), format);
    if (reader.read().isNull()) {
        out.error = "The picture must be a PNG or JPEG file";
        return out;
    }
    std::string path = folder + "/" + NewMapPictureName(now, sequence, format == "png" ? "png" : "jpg");
    if (path.size() >= static_cast<size_t>(kPathBytes)) {
        Trace("map picture: %s is longer than a stored path may be\n", path.c_str());
        out.error = "The picture cannot be copied";
        return out;
    }
    if (MakeDirectories(folder) != 0 || CopyFileAtomically(source, path) != 0) {
        Trace("map picture: cannot copy %s to %s\n", source.c_str(), path.c_str());
        out.error = "The picture cannot be copied";
        return out;
    }
    out.rc = 0;
    out.path = path;
    return out;
}

QImage LoadMapPicture(const std::string& path) {
    int width = 0, height = 0;
    const char* error = nullptr;
    QByteArray format = CheckPicture(path, &width, &height, &error);
    if (format.isEmpty()) {
        Trace("map picture %s: %s\n", path.c_str(), error ? error : "unreadable");
        return {};
    }
    QImageReader reader(QString::fromLocal8Bit(path.c_str()), format);
    return reader.read();
}

MapPictureWorker::MapPictureWorker() {
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "emap-picture");
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || !tasks_.empty(); });
            if (stop_) break;
            std::function<void()> task = std::move(tasks_.front());
            tasks_.pop_front();
            busy_ = true;
            lock.unlock();
            task();
            lock.lock();
            busy_ = false;
            if (tasks_.empty()) idle_.notify_all();
        }
        busy_ = false;
        idle_.notify_all();
    });
}

MapPictureWorker::~MapPictureWorker() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        tasks_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

void MapPictureWorker::Post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
}

void MapPictureWorker::WaitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return stop_ || (tasks_.empty() && !busy_); });
}

}  // namespace ocv
