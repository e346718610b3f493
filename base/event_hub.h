#pragma once
// A bounded publish/subscribe hub for state changes that windows show.
//
// Owners publish an event once; any number of readers each keep their own cursor and are woken
// rather than polling. Publishing never blocks on readers: the hub keeps the latest `capacity`
// events, and a reader that falls further behind is told how many it missed (it should then
// re-read whatever state it shows).
//
// Payload is a std::variant of small copyable event structs; a reader may restrict itself to
// some alternatives with a kind mask (bit i = alternative i), so it is neither woken by nor
// handed events it does not show.
//
// Threads: Publish from any thread. A reader is used by one thread at a time. Wake handlers run
// on the publishing thread with the hub's reader list locked: they must not block and must not
// call back into the hub (post a message, set a flag, signal a condition variable).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <variant>
#include <vector>

namespace ocv {

template <class Payload>
class EventHub {
public:
    static_assert(std::variant_size_v<Payload> <= 64, "a kind mask has 64 bits");
    static constexpr uint64_t kAllKinds = ~uint64_t{0};

    struct Event {
        uint64_t sequence = 0;  // 1 for the first event ever published
        Payload payload;
    };

    class Reader {
    public:
        // Copies up to `max` events published after this reader's cursor into `out` (appended)
        // and advances the cursor past them. Returns how many events (of any kind) were lost
        // because the reader fell more than the hub's capacity behind; 0 normally. A reader that
        // reads with a limit reads again until it gets fewer than `max`: the events left behind
        // wake it only when another one is published.
        uint64_t Read(std::vector<Event>* out, size_t max = SIZE_MAX) {
            wakeArmed_.store(true, std::memory_order_release);  // before reading: no lost wake
            return hub_->ReadFrom(this, out, max);
        }
        // Sleeps until an event for this reader is published, the hub closes or the time-out
        // passes; true when there is something to read.
        bool Wait(std::chrono::milliseconds timeout) { return hub_->WaitFor(this, timeout); }
        // Called (on the publisher's thread) when an event for this reader arrives after the
        // reader last read: once per batch, not once per event.
        void SetWakeHandler(std::function<void()> handler) {
            std::lock_guard lock(hub_->readersMutex_);
            wake_ = std::move(handler);
        }
        // Events published but not read yet (without the mask).
        uint64_t Backlog() const { return hub_->Published() - cursor_.load(); }
        ~Reader() { hub_->Unsubscribe(this); }
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;

    private:
        friend class EventHub;
        Reader(EventHub* hub, uint64_t mask, uint64_t cursor) : hub_(hub), mask_(mask), cursor_(cursor) {}
        EventHub* hub_;
        const uint64_t mask_;
        std::atomic<uint64_t> cursor_;  // sequence of the last event consumed
        std::atomic<bool> wakeArmed_{true};
        std::function<void()> wake_;    // guarded by the hub's readersMutex_
    };

    explicit EventHub(size_t capacity = 4096) : ring_(std::max<size_t>(capacity, 1)) {}
    ~EventHub() { Close(); }
    EventHub(const EventHub&) = delete;
    EventHub& operator=(const EventHub&) = delete;

    // A reader of the kinds in `mask` that starts with the next event published. The hub must
    // outlive its readers.
    std::unique_ptr<Reader> Subscribe(uint64_t mask = kAllKinds) {
        std::lock_guard lock(readersMutex_);
        std::unique_ptr<Reader> reader(new Reader(this, mask, Published()));
        readers_.push_back(reader.get());
        return reader;
    }

    template <class Kind>
    static constexpr uint64_t MaskOf() {
        return uint64_t{1} << IndexOf<Kind>(std::make_index_sequence<std::variant_size_v<Payload>>{});
    }

    // Returns the event's sequence number.
    uint64_t Publish(const Payload& payload) {
        uint64_t sequence;
        {
            std::lock_guard lock(ringMutex_);
            sequence = written_ + 1;
            ring_[written_ % ring_.size()] = Event{sequence, payload};
            written_ = sequence;
        }
        const uint64_t kind = uint64_t{1} << payload.index();
        {
            std::lock_guard lock(readersMutex_);
            for (Reader* r : readers_) {
                if (!(r->mask_ & kind)) continue;
                if (r->wakeArmed_.exchange(false, std::memory_order_acq_rel) && r->wake_) r->wake_();
            }
        }
        waitCv_.notify_all();
        return sequence;
    }

    // Wakes every waiting reader for good (shutdown).
    void Close() {
        {
            std::lock_guard lock(ringMutex_);
            closed_ = true;
        }
        waitCv_.notify_all();
    }

    uint64_t Published() const {
        std::lock_guard lock(ringMutex_);
        return written_;
    }
    size_t Capacity() const { return ring_.size(); }

private:
    template <class Kind, size_t... I>
    static constexpr size_t IndexOf(std::index_sequence<I...>) {
        size_t index = 0;
        ((std::is_same_v<Kind, std::variant_alternative_t<I, Payload>> ? (index = I, true) : false) || ...);
        return index;
    }

    uint64_t ReadFrom(Reader* r, std::vector<Event>* out, size_t max) {
        std::lock_guard lock(ringMutex_);
        uint64_t cursor = r->cursor_.load();
        uint64_t oldest = written_ > ring_.size() ? written_ - ring_.size() + 1 : 1;
        uint64_t missed = 0;
        if (cursor + 1 < oldest) {
            missed = oldest - cursor - 1;
            cursor = oldest - 1;
        }
        size_t copied = 0;
        while (cursor < written_ && copied < max) {
            const Event& e = ring_[cursor % ring_.size()];  // sequence cursor + 1
            ++cursor;
            if (r->mask_ & (uint64_t{1} << e.payload.index())) {
                out->push_back(e);
                ++copied;
            }
        }
        r->cursor_.store(cursor);
        return missed;
    }

    bool WaitFor(Reader* r, std::chrono::milliseconds timeout) {
        std::unique_lock lock(ringMutex_);
        auto pending = [&] {
            for (uint64_t s = r->cursor_.load() + 1; s <= written_; ++s) {
                if (s + ring_.size() <= written_) return true;  // overwritten: the reader must catch up
                if (r->mask_ & (uint64_t{1} << ring_[(s - 1) % ring_.size()].payload.index())) return true;
            }
            return false;
        };
        waitCv_.wait_for(lock, timeout, [&] { return closed_ || pending(); });
        return pending();
    }

    void Unsubscribe(Reader* r) {
        std::lock_guard lock(readersMutex_);
        readers_.erase(std::remove(readers_.begin(), readers_.end(), r), readers_.end());
    }

    mutable std::mutex ringMutex_;
    std::condition_variable waitCv_;
    std::vector<Event> ring_;
    uint64_t written_ = 0;
    bool closed_ = false;

    std::mutex readersMutex_;  // the reader list and every reader's wake handler
    std::vector<Reader*> readers_;
};

}  // namespace ocv
