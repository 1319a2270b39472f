#pragma once

#include <atomic>

namespace capture {

// The virtual TV card's sound state: its mute control, as a real card's audio-mute control
// holds it. What can be heard is muted by the control's playback, not here, so that a
// recording keeps the tuner's sound.
class Studio {
public:
    void setMuted(bool muted) { m_muted.store(muted, std::memory_order_release); }
    bool muted() const { return m_muted.load(std::memory_order_acquire); }

private:
    std::atomic<bool> m_muted{false};
};

}  // namespace capture
