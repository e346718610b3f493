#include "sdk/remote_search.h"

#include <cstring>

#include "sdk/qvx_sdk.h"
#include "sdk/wire_format.h"

namespace ocv::sdk {

static_assert(sizeof(QVX_FILE_DESC) == wire::kFileDescriptionBytes);
static_assert(offsetof(QVX_FILE_DESC, fileNumber) == 8 && offsetof(QVX_FILE_DESC, recordType) == 12 &&
              offsetof(QVX_FILE_DESC, durationSec) == 16 && offsetof(QVX_FILE_DESC, sizeKiB) == 20 &&
              offsetof(QVX_FILE_DESC, startHour) == 36 && offsetof(QVX_FILE_DESC, startMinute) == 40 &&
              offsetof(QVX_FILE_DESC, startSecond) == 44 && offsetof(QVX_FILE_DESC, fileName) == 48);
static_assert(sizeof(QVX_FIND_COND) == wire::kConditionBytes);

FindSession::FindSession(std::shared_ptr<LoginSession> login, int requestTimeoutMs)
    : login_(std::move(login)), timeout_(requestTimeoutMs) {}

FindSession::~FindSession() { Close(); }

int FindSession::Start(const wire::SearchCondition& condition) {
    uint8_t payload[wire::kConditionBytes];
    wire::EncodeCondition(condition, payload);
    auto pending = login_->Submit(wire::kFindFile, std::vector<uint8_t>(payload, payload + sizeof payload));
    std::lock_guard<std::mutex> lock(mutex_);
    if (!pending) return QVX_ERR_OFFLINE;
    pending_ = std::move(pending);
    deadline_ = std::chrono::steady_clock::now() + timeout_;
    state_ = State::kWaiting;
    return QVX_OK;
}

void FindSession::Collect(bool wait) {
    if (state_ != State::kWaiting) return;
    Reply reply;
    {
        std::unique_lock<std::mutex> lock(pending_->mutex);
        bool finished = wait ? pending_->done.wait_until(lock, deadline_, [&] { return pending_->finished; })
                             : pending_->finished;
        if (!finished) {
            if (std::chrono::steady_clock::now() < deadline_) return;
            lock.unlock();
            login_->Abandon(pending_->sequence);
            pending_.reset();
            state_ = State::kError;
            return;
        }
        reply = std::move(pending_->reply);
    }
    pending_.reset();
    if (reply.result == QVX_ERR_DEVICE || (reply.result == QVX_OK && reply.kind != wire::kFindFileReply)) {
        // A device that does not know the search answers with a plain refusal.
        state_ = State::kRefused;
    } else if (reply.result != QVX_OK) {
        state_ = State::kError;
    } else {
        // The payload was checked against its layout when it arrived.
        reply_ = std::move(reply.payload);
        count_ = wire::GetU32(reply_.data() + 4);
        next_ = 0;
        state_ = State::kDone;
    }
}

int FindSession::Next(uint8_t* description) {
    std::lock_guard<std::mutex> lock(mutex_);
    Collect(false);
    switch (state_) {
    case State::kWaiting: return QVX_FIND_BUSY;
    case State::kRefused: return QVX_FIND_REFUSED;
    case State::kError: return QVX_FIND_ERROR;
    case State::kDone: break;
    }
    if (next_ >= count_) return QVX_FIND_NO_MORE;
    std::memcpy(description, reply_.data() + wire::kFindReplyFixedBytes + size_t(next_) * wire::kFileDescriptionBytes,
                wire::kFileDescriptionBytes);
    ++next_;
    return QVX_FIND_FILE;
}

int FindSession::Marks(char* marks) {
    std::lock_guard<std::mutex> lock(mutex_);
    Collect(true);
    switch (state_) {
    case State::kWaiting:
    case State::kError: return QVX_ERR_TIMEOUT;
    case State::kRefused: return QVX_ERR_DEVICE;
    case State::kDone: break;
    }
    std::memset(marks, 0, QVX_DAY_MARKS_SIZE);
    std::memcpy(marks, reply_.data() + 8, wire::kDayMarkBytes);
    return QVX_OK;
}

void FindSession::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_) login_->Abandon(pending_->sequence);
    pending_.reset();
    reply_.clear();
    state_ = State::kError;
}

}  // namespace ocv::sdk
