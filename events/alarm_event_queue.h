#pragma once
// The alarm event queue the alarm window reads, and the notification lists of the live view
// (record states) and the map page (map alarms). Writers never block on readers: a reader that
// falls more than the capacity behind loses the oldest entries only.
#include <cstdint>
#include <mutex>
#include <vector>

namespace ocv {

// Alarm and event codes of the queue.
enum AlarmEventCode : int32_t {
    kEventMotionStart = 2,
    kEventMotionStop = 3,
    kEventInputStart = 4,
    kEventInputStop = 5,
    kEventAudioStart = 6,
    kEventAudioStop = 7,
    kEventTemperatureNormal = 18,
    kEventTemperatureAbnormal = 19,
};

struct AlarmEvent {
    uint16_t valid;     // 1 once written
    uint16_t extra;
    int32_t channelId;
    int32_t code;
    uint32_t time;      // seconds since 1970
    char text[32];      // at most 31 characters
};
static_assert(sizeof(AlarmEvent) == 48);

class AlarmEventQueue {
public:
    static constexpr int kCapacity = 1000;

    void Post(int channelId, int code, const char* text, uint32_t time, int extra);
    // Copies the entries after *cursor (0 for a new reader) into out and advances the cursor.
    // A cursor more than kCapacity behind skips to the oldest entry still held.
    void ReadFrom(uint64_t* cursor, std::vector<AlarmEvent>* out);
    // Entries held (saturates at kCapacity) and the next write position (wraps 999 -> 0).
    int Count();
    int WriteIndex();

private:
    std::mutex mutex_;
    AlarmEvent ring_[kCapacity]{};
    uint64_t written_ = 0;  // entries ever written
};

struct NotifyItem {
    int32_t channelId;
    int32_t number;   // alarm type for the map list, 0 for record states
    uint32_t time;
    uint32_t reserved;
    char text[32];
};
static_assert(sizeof(NotifyItem) == 48);

// Appended to only while its consumer page is open, so nothing piles up while nobody reads.
class NotifyList {
public:
    void SetConsumerOpen(bool open);
    void Append(int channelId, int number, uint32_t time);
    // Moves every item into out.
    void Drain(std::vector<NotifyItem>* out);

private:
    static constexpr size_t kMaxItems = 4096;  // a page that stops draining cannot grow it forever
    std::mutex mutex_;
    bool open_ = false;
    std::vector<NotifyItem> items_;
};

}  // namespace ocv
