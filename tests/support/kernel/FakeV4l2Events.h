#pragma once

#include <linux/videodev2.h>

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

namespace capture {

// The event side of a V4L2 node's open files, as the core keeps it: subscriptions per file,
// and per subscription at most one pending control event, a newer change merged into it (the
// control framework's one-element queue), dequeued in the order they were raised.
class FakeV4l2Events {
public:
    void subscribe(int file, const v4l2_event_subscription& subscription);
    // V4L2_EVENT_ALL drops every subscription of the file; its pending events go with them.
    void unsubscribe(int file, const v4l2_event_subscription& subscription);
    // Queues a control event for every file subscribed to `event.id`; the file that made the
    // change only when it asked for its own changes back.
    void raise(const v4l2_event& event, int changedBy);
    // Queues for one file only (the initial value at subscription).
    void raiseFor(int file, const v4l2_event& event);
    // 0, or ENOENT when nothing is pending.
    int dequeue(int file, v4l2_event& event);
    bool pending(int file) const;
    void closed(int file);

private:
    struct Subscription {
        int file;
        std::uint32_t type;
        std::uint32_t id;
        std::uint32_t flags;
    };
    struct Pending {
        int file;
        v4l2_event event;
    };

    void queue(int file, const v4l2_event& event);

    std::vector<Subscription> m_subscriptions;
    std::deque<Pending> m_pending;
    std::map<int, std::uint32_t> m_sequence;  // the next sequence number, by file
};

}  // namespace capture
