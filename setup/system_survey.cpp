#include "setup/system_survey.h"

#include <pthread.h>

#include "platform/app_dir.h"
#include "platform/autostart.h"
#include "platform/file_util.h"

namespace ocv {

SystemSurvey TakeSystemSurvey() {
    SystemSurvey survey;
    survey.drives = SurveyDrives();
    for (int k = 0; k < kSoundKindCount; ++k)
        survey.soundFilePresent[k] =
            FileExists(AppPath(std::string("Sound/") + SoundFileName(static_cast<SoundKind>(k))));
    survey.autostart = IsAutostartEnabled();
    return survey;
}

SystemSurveyWorker::SystemSurveyWorker(std::function<void()> ready) : ready_(std::move(ready)) {
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "settings-survey");
        Run();
    });
}

SystemSurveyWorker::~SystemSurveyWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

int SystemSurveyWorker::Request() {
    int serial = 0;
    {
        std::lock_guard lock(mutex_);
        requested_ = true;
        serial = started_ + 1;  // the next survey to start reads the state after this call
    }
    wake_.notify_all();
    return serial;
}

SystemSurvey SystemSurveyWorker::Latest() const {
    std::lock_guard lock(mutex_);
    return latest_;
}

void SystemSurveyWorker::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return requested_ || stopping_; });
        if (stopping_) return;
        requested_ = false;
        const int serial = ++started_;
        lock.unlock();
        SystemSurvey survey = TakeSystemSurvey();
        lock.lock();
        if (stopping_) return;
        survey.serial = serial;
        latest_ = std::move(survey);
        lock.unlock();
        if (ready_) ready_();
        lock.lock();
    }
}

}  // namespace ocv
