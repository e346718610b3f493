#pragma once
// Paces decoded pictures by their timestamps when the port keeps a picture buffer
// (QVXPlay_SetPlayerBufNumber N > 0). Times are passed in, so tests drive it without
// sleeping.
//
// The first picture is due at once and anchors the stream's time line to the clock; each
// later picture is due at the anchor plus its timestamp distance. A picture that arrives
// late moves the anchor so that it is due now: the buffer absorbs the network's jitter
// from then on. A full buffer hands its oldest picture out at once and moves the anchor
// the other way, so the delay never exceeds the buffer. A timestamp that goes backwards or
// jumps more than kMaxStepMs re-anchors.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

namespace ocv::player {

template <typename T>
class PresentSchedule {
public:
    static constexpr int64_t kMaxStepMs = 2000;

    void SetCapacity(size_t capacity) { capacity_ = capacity; }
    size_t Capacity() const { return capacity_; }
    size_t Size() const { return items_.size(); }

    // Queues a picture; pictures that must go out now (capacity overflow) are appended
    // to due.
    void Push(T item, uint32_t timestampMs, int64_t nowUs, std::vector<T>* due) {
        int64_t dueUs;
        if (!anchored_ || !PlausibleStep(timestampMs)) {
            Anchor(timestampMs, std::max(nowUs, lastDueUs_));
        }
        dueUs = DueTime(timestampMs);
        if (dueUs < nowUs) {
            Anchor(timestampMs, nowUs);
            dueUs = nowUs;
        }
        lastTimestampMs_ = timestampMs;
        lastDueUs_ = dueUs;
        items_.push_back(Entry{std::move(item), dueUs});
        while (items_.size() > capacity_ && !items_.empty()) {
            // Pull the whole time line forward by the oldest picture's wait.
            int64_t shiftUs = items_.front().dueUs - nowUs;
            if (shiftUs > 0) {
                anchorUs_ -= shiftUs;
                lastDueUs_ -= shiftUs;
                for (Entry& e : items_) e.dueUs -= shiftUs;
            }
            due->push_back(std::move(items_.front().item));
            items_.pop_front();
        }
    }

    // Appends the pictures due at nowUs, oldest first.
    void TakeDue(int64_t nowUs, std::vector<T>* due) {
        while (!items_.empty() && items_.front().dueUs <= nowUs) {
            due->push_back(std::move(items_.front().item));
            items_.pop_front();
        }
    }

    std::optional<int64_t> NextDueUs() const {
        if (items_.empty()) return std::nullopt;
        return items_.front().dueUs;
    }

    // Drops the queued pictures and forgets the time line.
    void Clear() {
        items_.clear();
        anchored_ = false;
        lastDueUs_ = INT64_MIN;
    }

private:
    struct Entry {
        T item;
        int64_t dueUs;
    };

    bool PlausibleStep(uint32_t timestampMs) const {
        int64_t step = static_cast<int32_t>(timestampMs - lastTimestampMs_);
        return step >= 0 && step <= kMaxStepMs;
    }
    void Anchor(uint32_t timestampMs, int64_t atUs) {
        anchored_ = true;
        anchorTimestampMs_ = timestampMs;
        anchorUs_ = atUs;
    }
    int64_t DueTime(uint32_t timestampMs) const {
        return anchorUs_ + int64_t{static_cast<int32_t>(timestampMs - anchorTimestampMs_)} * 1000;
    }

    size_t capacity_ = 0;
    std::deque<Entry> items_;
    bool anchored_ = false;
    uint32_t anchorTimestampMs_ = 0;
    int64_t anchorUs_ = 0;
    uint32_t lastTimestampMs_ = 0;
    int64_t lastDueUs_ = INT64_MIN;
};

}  // namespace ocv::player
