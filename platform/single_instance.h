#pragma once
// The named lock that keeps one client per user session. An flock dies with its process,
// so a crashed client never leaves a stale lock behind.
#include <string>

namespace ocv {

class SingleInstance {
public:
    SingleInstance() = default;
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // 0 when this process now holds the lock, -2 when another process holds it,
    // -1 when the lock file cannot be created.
    int Acquire(const std::string& name);
    void Release();

    // The lock file of a name: in $XDG_RUNTIME_DIR when set and usable, else /tmp.
    static std::string LockPath(const std::string& name);

private:
    int fd_ = -1;
};

}  // namespace ocv
