#pragma once

#include <gst/gst.h>

#include <memory>

namespace capture {

// Both streams of a recording end where it was stopped. A record branch that fell behind (its
// queue dropped the newest pictures or sound) or a driver that dropped the last frames would
// otherwise end its stream early, and an AVI, which keeps no timestamps, would hold less of it
// than of the other. At end-of-stream the picture branch repeats its last picture, and the
// sound branch adds silence, up to the moment of the stop, as they do for gaps on the way.
// What either branch still carries from after the stop is left out, so both end at the stop:
// the sound to the sample, the picture within half a frame.
//
// pictureInput is the pad behind videorate, where the pictures come at the constant rate and
// each stands alone (raw or Motion JPEG); soundInput is audiorate's in the sound branch (raw
// sound); either may be null.
class RecordingEnd {
public:
    static std::shared_ptr<RecordingEnd> attach(GstPad* pictureInput, GstPad* soundInput);

    // The running time the recording stops at; call before end-of-stream enters the branches.
    void stopAt(GstClockTime runningTime);

    struct Branch;
    struct PictureBranch;
    struct SoundBranch;

private:
    RecordingEnd() = default;
    std::shared_ptr<PictureBranch> m_picture;
    std::shared_ptr<SoundBranch> m_sound;
};

}  // namespace capture
