#include "FakeV4l2Events.h"

#include <algorithm>
#include <cerrno>
#include <time.h>

namespace capture {

void FakeV4l2Events::subscribe(int file, const v4l2_event_subscription& subscription)
{
    // Subscribing again to the same event only changes its flags.
    for (auto& held : m_subscriptions)
        if (held.file == file && held.type == subscription.type && held.id == subscription.id) {
            held.flags = subscription.flags;
            return;
        }
    m_subscriptions.push_back({file, subscription.type, subscription.id, subscription.flags});
}

void FakeV4l2Events::unsubscribe(int file, const v4l2_event_subscription& subscription)
{
    const auto matches = [&](std::uint32_t type, std::uint32_t id) {
        return subscription.type == V4L2_EVENT_ALL || (type == subscription.type && id == subscription.id);
    };
    std::erase_if(m_subscriptions, [&](const Subscription& held) { return held.file == file && matches(held.type, held.id); });
    std::erase_if(m_pending, [&](const Pending& held) { return held.file == file && matches(held.event.type, held.event.id); });
}

void FakeV4l2Events::raise(const v4l2_event& event, int changedBy)
{
    for (const auto& held : m_subscriptions)
        if (held.type == event.type && held.id == event.id
            && (held.file != changedBy || (held.flags & V4L2_EVENT_SUB_FL_ALLOW_FEEDBACK)))
            queue(held.file, event);
}

void FakeV4l2Events::raiseFor(int file, const v4l2_event& event)
{
    queue(file, event);
}

void FakeV4l2Events::queue(int file, const v4l2_event& event)
{
    Pending pending{file, event};
    // What changed since the application last looked: both changes, the newest state, queued
    // anew behind the others.
    const auto older = std::find_if(m_pending.begin(), m_pending.end(), [&](const Pending& held) {
        return held.file == file && held.event.type == event.type && held.event.id == event.id;
    });
    if (older != m_pending.end()) {
        pending.event.u.ctrl.changes |= older->event.u.ctrl.changes;
        m_pending.erase(older);
    }
    pending.event.sequence = m_sequence[file]++;
    clock_gettime(CLOCK_MONOTONIC, &pending.event.timestamp);
    m_pending.push_back(pending);
}

int FakeV4l2Events::dequeue(int file, v4l2_event& event)
{
    const auto found = std::find_if(m_pending.begin(), m_pending.end(), [&](const Pending& held) { return held.file == file; });
    if (found == m_pending.end())
        return ENOENT;
    event = found->event;
    m_pending.erase(found);
    event.pending = static_cast<std::uint32_t>(
        std::count_if(m_pending.begin(), m_pending.end(), [&](const Pending& held) { return held.file == file; }));
    return 0;
}

bool FakeV4l2Events::pending(int file) const
{
    return std::any_of(m_pending.begin(), m_pending.end(), [&](const Pending& held) { return held.file == file; });
}

void FakeV4l2Events::closed(int file)
{
    std::erase_if(m_subscriptions, [&](const Subscription& held) { return held.file == file; });
    std::erase_if(m_pending, [&](const Pending& held) { return held.file == file; });
    m_sequence.erase(file);
}

}  // namespace capture
