#include "JpegFrames.h"

#include "tests/support/emulator/EmulatedPictures.h"

#include <algorithm>

namespace usbwebcam {

using capture::emulated::cameraCycle;

JpegFrames::JpegFrames(FrameSize size) : m_size(size)
{
    // One marked frame first, so that the sync box is there from the first mark on (a stream
    // may start before the cycle is encoded, seconds under emulation), then the plain frames
    // in order, then the other marked ones, which are wanted only once every 2 s.
    m_todo.emplace_back(0, true);
    for (const bool marked : {false, true})
        for (std::uint32_t index = marked ? 1 : 0; index < cameraCycle; ++index)
            m_todo.emplace_back(index, marked);
    m_worker = std::thread(&JpegFrames::encode, this);
}

JpegFrames::~JpegFrames()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_worker.join();
}

const std::vector<std::uint8_t>* JpegFrames::find(std::uint32_t index, bool marked)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_ready.find({index % cameraCycle, marked});
    return found == m_ready.end() ? nullptr : found->second;
}

const std::vector<std::uint8_t>* JpegFrames::nearestMarked(std::uint32_t index)
{
    std::lock_guard lock(m_mutex);
    const std::vector<std::uint8_t>* nearest = nullptr;
    std::uint32_t distance = cameraCycle;
    for (const auto& [key, frame] : m_ready) {
        const std::uint32_t apart = (key.first + cameraCycle - index % cameraCycle) % cameraCycle;
        if (key.second && std::min(apart, cameraCycle - apart) < distance) {
            distance = std::min(apart, cameraCycle - apart);
            nearest = frame;
        }
    }
    return nearest;
}

void JpegFrames::want(std::uint32_t index, bool marked)
{
    const Key key{index % cameraCycle, marked};
    std::lock_guard lock(m_mutex);
    const auto queued = std::find(m_todo.begin(), m_todo.end(), key);
    if (queued != m_todo.end() && queued != m_todo.begin()) {
        m_todo.erase(queued);
        m_todo.push_front(key);
    }
}

void JpegFrames::encode()
{
    for (;;) {
        Key key;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop || m_todo.empty())
                return;
            key = m_todo.front();
            m_todo.pop_front();
        }
        // The emulated camera's cache keeps every frame for the life of the process.
        const auto& frame = capture::emulated::cameraJpegFrame(m_size.width, m_size.height, key.first, key.second);
        std::lock_guard lock(m_mutex);
        m_ready.emplace(key, &frame);
    }
}

}  // namespace usbwebcam
