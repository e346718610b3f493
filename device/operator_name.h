#pragma once
// The operator logged in now, for the operation log entries the device side writes ("" when
// nobody is). Set on the UI thread at login and logout; read from any thread.
#include <mutex>
#include <string>

namespace ocv {

class OperatorName {
public:
    void Set(std::string name) {
        std::lock_guard lock(mutex_);
        name_ = std::move(name);
    }
    std::string Get() const {
        std::lock_guard lock(mutex_);
        return name_;
    }

private:
    mutable std::mutex mutex_;
    std::string name_;
};

}  // namespace ocv
