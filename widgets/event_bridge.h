#pragma once
// Delivers the core's events to windows on the user-interface thread. One reader of the hub
// wakes the bridge (a queued call, coalesced: one per burst of events); the bridge hands each
// event, in order, to the windows subscribed to its kind. Windows never poll and never see a
// worker thread. A window whose subscription fell more than the hub holds behind is told so and
// re-reads what it shows.
#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "runtime/core_events.h"

namespace ocv {

class EventBridge : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const CoreEvent&)>;
    using MissedHandler = std::function<void()>;

    explicit EventBridge(CoreEventHub& hub, QObject* parent = nullptr);
    ~EventBridge() override;

    // handler runs on the UI thread for each event of a kind in mask (CoreEventHub::MaskOf);
    // missed when some were lost. The subscription ends when context is destroyed, or with
    // Unsubscribe. Returns its id.
    int Subscribe(QObject* context, uint64_t mask, Handler handler, MissedHandler missed = {});
    void Unsubscribe(int id);

    // Delivers what is pending now, without waiting for the queued call (tests, and a window
    // that must show the latest state before it paints).
    void DeliverPending();

private:
    struct Subscription {
        int id;
        QPointer<QObject> context;
        uint64_t mask;
        Handler handler;
        MissedHandler missed;
    };

    std::unique_ptr<CoreEventHub::Reader> reader_;
    std::atomic<bool> wakePosted_{false};
    std::vector<Subscription> subscriptions_;
    int nextId_ = 1;
};

}  // namespace ocv
