#include "widgets/event_bridge.h"

#include <QMetaObject>

namespace ocv {
namespace {
constexpr size_t kBatch = 256;  // events handed out before the loop looks at other work
}

EventBridge::EventBridge(CoreEventHub& hub, QObject* parent) : QObject(parent), reader_(hub.Subscribe()) {
    // Runs on the publisher's thread: only posts, at most one call until it has run.
    reader_->SetWakeHandler([this] {
        if (!wakePosted_.exchange(true))
            QMetaObject::invokeMethod(this, [this] { DeliverPending(); }, Qt::QueuedConnection);
    });
}

EventBridge::~EventBridge() {
    // After this the hub calls no wake handler of ours; a call already queued dies with us.
    reader_.reset();
}

int EventBridge::Subscribe(QObject* context, uint64_t mask, Handler handler, MissedHandler missed) {
    int id = nextId_++;
    subscriptions_.push_back(Subscription{id, context, mask, std::move(handler), std::move(missed)});
    return id;
}

void EventBridge::Unsubscribe(int id) {
    for (auto& s : subscriptions_)
        if (s.id == id) s.context = nullptr;
}

void EventBridge::DeliverPending() {
    wakePosted_ = false;
    std::vector<CoreEventHub::Event> events;
    for (;;) {
        events.clear();
        uint64_t missed = reader_->Read(&events, kBatch);
        // Handlers may subscribe or unsubscribe: they work on a copy.
        std::erase_if(subscriptions_, [](const Subscription& s) { return s.context.isNull(); });
        std::vector<Subscription> now = subscriptions_;
        if (missed > 0)
            for (const Subscription& s : now)
                if (s.context && s.missed) s.missed();
        for (const CoreEventHub::Event& e : events) {
            const uint64_t kind = uint64_t{1} << e.payload.index();
            for (const Subscription& s : now)
                if ((s.mask & kind) && s.context) s.handler(e.payload);
        }
        if (events.size() < kBatch) break;
    }
}

}  // namespace ocv
