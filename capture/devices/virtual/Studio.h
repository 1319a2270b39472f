#pragma once

#include <atomic>

namespace capture {

// What the virtual devices share: the tuner's sound is the test tone, so muting the tuner
// silences the tone. Read by streaming threads, written by the GUI thread.
class Studio {
public:
    void setMuted(bool muted) { m_muted.store(muted, std::memory_order_release); }
    bool muted() const { return m_muted.load(std::memory_order_acquire); }

private:
    std::atomic<bool> m_muted{false};
};

}  // namespace capture
