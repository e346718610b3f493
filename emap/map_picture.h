#pragma once
// Map pictures off the user-interface thread: checking and copying the file the operator chose
// into the application directory, and decoding a map's picture for showing. A worker thread
// ("emap-picture") runs the requests in order.
#include <QImage>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "base/clock.h"

namespace ocv {

struct MapPictureImport {
    int rc = -1;         // 0, or -1 with error set
    std::string path;    // the copy, a full path
    const char* error = nullptr;  // English
    int width = 0, height = 0;
};

// Checks the chosen file (a PNG or JPEG by its content, within the size limits of map pictures,
// decodable) and copies it through a temporary file into folder under a new name. Any thread.
MapPictureImport ImportMapPicture(const std::string& source, const std::string& folder, const ClockSnapshot& now,
                                  int sequence);

// A map's picture decoded for showing; a null image when it is missing, not a picture or over
// the limits. Any thread.
QImage LoadMapPicture(const std::string& path);

class MapPictureWorker {
public:
    MapPictureWorker();
    ~MapPictureWorker();  // drops what waits, finishes what runs
    MapPictureWorker(const MapPictureWorker&) = delete;
    MapPictureWorker& operator=(const MapPictureWorker&) = delete;

    void Post(std::function<void()> task);
    // Tests: waits until every task posted so far has run.
    void WaitIdle();

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> tasks_;
    bool busy_ = false;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace ocv
