#pragma once

#include <gst/gst.h>

#include <memory>
#include <thread>

namespace capture {

// While the video source sends nothing (a tape's blank stretch, a loose cable, a driver that
// drops every buffer), the recording's picture is held on its last frame. avimux interleaves
// by waiting for each stream in turn: without pictures it would take no sound either, the
// sound's queue would overflow, and the sound of the stall would be lost (audiorate later
// puts silence in its place). Here the last picture is fed again into the record branch a few
// times a second, stamped with the clock's time; videorate repeats it for every frame in
// between, as it does for frames the source missed. When pictures come back they follow on.
// Nothing is fed while pictures are still queued for the muxer (a disk that fell behind).
//
// entry is the picture record branch's first pad (a queue's input, which never blocks);
// pipeline gives the clock. A thread of its own watches; it ends with stop() or destruction.
class PictureHold {
public:
    PictureHold(GstElement* pipeline, GstPad* entry, GstClockTime frameDuration);
    ~PictureHold();

    PictureHold(const PictureHold&) = delete;
    PictureHold& operator=(const PictureHold&) = delete;

    // No more pictures are fed; returns once the thread has ended.
    void stop();

    struct Shared;

private:
    void run();

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

}  // namespace capture
