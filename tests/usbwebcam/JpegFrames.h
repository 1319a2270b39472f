#pragma once

// The emulated camera's Motion JPEG frames at one size, encoded ahead by a thread of their own:
// under emulation a 1280x720 frame takes several frame intervals to encode, and a frame must
// leave when it is due.

#include "Descriptors.h"

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace usbwebcam {

class JpegFrames {
public:
    explicit JpegFrames(FrameSize size);
    ~JpegFrames();
    JpegFrames(const JpegFrames&) = delete;
    JpegFrames& operator=(const JpegFrames&) = delete;

    FrameSize size() const { return m_size; }
    // Frame `index` of the cycle, with the sync box or without, or nullptr while it is not
    // encoded yet.
    const std::vector<std::uint8_t>* find(std::uint32_t index, bool marked);
    // A marked frame as near `index` as is encoded, or nullptr.
    const std::vector<std::uint8_t>* nearestMarked(std::uint32_t index);
    // Encodes this one before the others.
    void want(std::uint32_t index, bool marked);

private:
    using Key = std::pair<std::uint32_t, bool>;
    void encode();

    const FrameSize m_size;
    std::mutex m_mutex;
    std::map<Key, const std::vector<std::uint8_t>*> m_ready;
    std::deque<Key> m_todo;
    bool m_stop = false;
    std::thread m_worker;  // last: it uses the members above
};

}  // namespace usbwebcam
