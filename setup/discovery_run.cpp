#include "setup/discovery_run.h"

#include <pthread.h>

#include <cstring>
#include <vector>

#include "base/trace.h"

namespace ocv {

DiscoveryRun::~DiscoveryRun() {
    // The handle first: a search under way returns at once and no callback runs afterwards.
    DestroyHandle();
    Join();
}

void DiscoveryRun::Join() {
    if (worker_.joinable()) worker_.join();
    if (exchange_.joinable()) exchange_.join();
}

bool DiscoveryRun::HasHandle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return handle_ != 0;
}

void DiscoveryRun::DestroyHandle() {
    QVX_HANDLE handle;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handle = handle_;
        handle_ = 0;
    }
    if (handle != 0) QVX_SDK_SchDestroy(handle);
}

void DiscoveryRun::OnFound(const void* record, int32_t size, void* user) {
    if (size != QVX_FOUND_DEVICE_SIZE || record == nullptr) return;
    QVX_FOUND_DEVICE copy;
    std::memcpy(&copy, record, sizeof copy);
    static_cast<DiscoveryRun*>(user)->found_(copy);
}

DiscoveryRun::StartResult DiscoveryRun::Start(int protocol, const std::vector<SearchTarget>& targets, bool lan) {
    if (searching_.load()) return kStillSearching;
    if (worker_.joinable()) worker_.join();
    // A settings exchange uses the handle of the search it came from.
    if (exchange_.joinable()) exchange_.join();
    DestroyHandle();
    QVX_HANDLE handle = 0;
    if (int rc = QVX_SDK_SchInitEx(&handle, kSearchTimeoutMs, protocol); rc != 0 || handle <= 0) {
        Trace("device search with protocol %d: no discovery handle (%d)\n", protocol, rc);
        return kNoHandle;
    }
    QVX_SDK_SchLanSearch(handle, lan ? 1 : 0);
    for (const SearchTarget& t : targets)
        if (QVX_SDK_SchAddTarget(handle, t.address.c_str(), t.port) != 0)
            Trace("device search: target %s:%u refused\n", t.address.c_str(), unsigned(t.port));
    QVX_SDK_SchCallBack(handle, &DiscoveryRun::OnFound, this);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handle_ = handle;
    }
    searching_ = true;
    worker_ = std::thread([handle, this] {
        pthread_setname_np(pthread_self(), "sch-search");
        // Answers reach the callback; the copies are not needed.
        std::vector<uint8_t> buffer(256 * QVX_FOUND_DEVICE_SIZE);
        int32_t count = 0;
        QVX_SDK_SchSearch(handle, buffer.data(), uint32_t(buffer.size()), &count);
        searching_ = false;
    });
    return kStarted;
}

bool DiscoveryRun::ApplyAsync(const QVX_FOUND_DEVICE& record, const std::string& user, const std::string& password,
                              std::function<void(int)> done) {
    QVX_HANDLE handle;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handle = handle_;
    }
    if (handle == 0 || exchanging_.load()) return false;
    if (exchange_.joinable()) exchange_.join();
    exchanging_ = true;
    exchange_ = std::thread([this, handle, record, user, password, done = std::move(done)] {
        pthread_setname_np(pthread_self(), "sch-netcfg");
        int result = QVX_SDK_SchCmd(handle, &record, user.c_str(), password.c_str());
        exchanging_ = false;
        done(result);
    });
    return true;
}

}  // namespace ocv
