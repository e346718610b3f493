#include "events/alarm_event_queue.h"

#include <cstring>

namespace ocv {

void AlarmEventQueue::Post(int channelId, int code, const char* text, uint32_t time, int extra) {
    AlarmEvent e{};
    e.valid = 1;
    e.extra = static_cast<uint16_t>(extra);
    e.channelId = channelId;
    e.code = code;
    e.time = time;
    if (text) strncpy(e.text, text, sizeof e.text - 1);
    std::lock_guard lock(mutex_);
    ring_[written_ % kCapacity] = e;
    ++written_;
}

void AlarmEventQueue::ReadFrom(uint64_t* cursor, std::vector<AlarmEvent>* out) {
    std::lock_guard lock(mutex_);
    if (*cursor > written_) *cursor = written_;
    if (written_ - *cursor > static_cast<uint64_t>(kCapacity)) *cursor = written_ - kCapacity;
    for (; *cursor < written_; ++*cursor) out->push_back(ring_[*cursor % kCapacity]);
}

int AlarmEventQueue::Count() {
    std::lock_guard lock(mutex_);
    return written_ >= static_cast<uint64_t>(kCapacity) ? kCapacity : static_cast<int>(written_);
}

int AlarmEventQueue::WriteIndex() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(written_ % kCapacity);
}

void NotifyList::SetConsumerOpen(bool open) {
    std::lock_guard lock(mutex_);
    open_ = open;
    if (!open) items_.clear();
}

void NotifyList::Append(int channelId, int number, uint32_t time) {
    std::lock_guard lock(mutex_);
    if (!open_) return;
    if (items_.size() >= kMaxItems) items_.erase(items_.begin());
    NotifyItem item{};
    item.channelId = channelId;
    item.number = number;
    item.time = time;
    items_.push_back(item);
}

void NotifyList::Drain(std::vector<NotifyItem>* out) {
    std::lock_guard lock(mutex_);
    out->insert(out->end(), items_.begin(), items_.end());
    items_.clear();
}

}  // namespace ocv
