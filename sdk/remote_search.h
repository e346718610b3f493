#pragma once
// One search of the recordings on a device: the request goes out at once, and the answer is
// collected when the caller asks for the next file, so a caller never waits on the device
// longer than it chooses to.
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "sdk/login_session.h"
#include "sdk/wire_recorded.h"

namespace ocv::sdk {

class FindSession {
public:
    FindSession(std::shared_ptr<LoginSession> login, int requestTimeoutMs);
    ~FindSession();

    // Sends the search. QVX_OK, or QVX_ERR_OFFLINE when the login is reconnecting.
    int Start(const wire::SearchCondition& condition);
    // A QVX_FIND_* result; fills the 208-byte description for QVX_FIND_FILE.
    int Next(uint8_t* description);
    // Waits for the answer (up to the request time-out) and copies the 64-byte day marks.
    int Marks(char* marks);
    // Forgets the answer; a reply that still comes is dropped.
    void Close();

    int32_t loginHandle() const { return login_->handle(); }

private:
    enum class State { kWaiting, kDone, kRefused, kError };
    // Takes the answer over once it is in, or gives up after the time-out (mutex_ held).
    void Collect(bool wait);

    std::shared_ptr<LoginSession> login_;
    const std::chrono::milliseconds timeout_;
    std::mutex mutex_;
    std::shared_ptr<LoginSession::Pending> pending_;
    std::chrono::steady_clock::time_point deadline_;
    State state_ = State::kError;
    std::vector<uint8_t> reply_;  // the FindFileReply payload
    uint32_t count_ = 0;
    uint32_t next_ = 0;
};

}  // namespace ocv::sdk
