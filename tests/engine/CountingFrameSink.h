#pragma once

#include "capture/engine/CaptureEngine.h"

#include <atomic>
#include <mutex>

namespace capture::testing {

// Counts the preview's pictures and keeps a copy of the last one.
class CountingFrameSink : public FrameSink {
public:
    void present(const QImage& frame) override
    {
        std::lock_guard lock(m_mutex);
        m_last = frame.copy();
        ++m_frames;
    }
    int frames() const { return m_frames; }
    QImage last() const
    {
        std::lock_guard lock(m_mutex);
        return m_last;
    }

private:
    mutable std::mutex m_mutex;
    QImage m_last;
    std::atomic<int> m_frames{0};
};

}  // namespace capture::testing
