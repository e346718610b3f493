#pragma once
// What the system settings page reads from the file system before it can show it: the drives
// with their free space, which alarm sound files are there, and whether the autostart entry
// exists. A remote folder can keep a disk call waiting, so the survey runs on a worker thread
// ("settings-survey") and the page is told when it is ready.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "events/alarm_sound.h"
#include "setup/system_drive_map.h"

namespace ocv {

struct SystemSurvey {
    std::vector<DriveRow> drives;
    bool soundFilePresent[kSoundKindCount] = {};
    bool autostart = false;
    int serial = 0;  // counts the surveys, 1 for the first
};

// Takes the survey (on the calling thread).
SystemSurvey TakeSystemSurvey();

class SystemSurveyWorker {
public:
    // ready runs on the worker thread after each survey; it must only hand the news on (post a
    // message), never touch a window.
    explicit SystemSurveyWorker(std::function<void()> ready);
    ~SystemSurveyWorker();
    SystemSurveyWorker(const SystemSurveyWorker&) = delete;
    SystemSurveyWorker& operator=(const SystemSurveyWorker&) = delete;

    // Asks for a new survey; requests made while one runs are served by one more survey.
    // Returns the serial of the survey that answers this request (it sees every change made
    // before the call).
    int Request();
    // The latest finished survey (serial 0 before the first). Any thread.
    SystemSurvey Latest() const;

private:
    void Run();

    std::function<void()> ready_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool requested_ = false;
    bool stopping_ = false;
    SystemSurvey latest_;
    int started_ = 0;  // surveys begun; each takes the next serial
    std::thread thread_;
};

}  // namespace ocv
