#pragma once

#include "capture/engine/CaptureEngine.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>

namespace capture::testing {

// Counts the preview's pictures and keeps a copy of the last one.
class CountingFrameSink : public FrameSink {
public:
    void present(const QImage& frame) override
    {
        std::lock_guard lock(m_mutex);
        m_last = frame.copy();
        if (!m_first)
            m_first = std::chrono::steady_clock::now();
        ++m_frames;
    }
    // When the first picture after this call arrives.
    void awaitFirst()
    {
        std::lock_guard lock(m_mutex);
        m_first.reset();
    }
    std::optional<std::chrono::steady_clock::time_point> first() const
    {
        std::lock_guard lock(m_mutex);
        return m_first;
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
    std::optional<std::chrono::steady_clock::time_point> m_first;
    std::atomic<int> m_frames{0};
};

}  // namespace capture::testing
