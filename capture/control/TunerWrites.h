#pragma once

#include "capture/devices/Tuner.h"
#include "capture/engine/FailureMessage.h"

#include <optional>


namespace capture {

class VideoView;

// The windows' channel and sound, written to a device's tuner. A card that another program
// holds for the moment keeps what it had and the view says so for a while: a click must not end
// the program for that.
class TunerWrites {
public:
    explicit TunerWrites(VideoView& view) : m_view(view) {}

    // A device chosen after the tuner was set up gets the channel and sound put before.
    void giveSettings(Tuner& tuner, std::optional<double> channel, bool muted);
    // Whether the tuner took it (a device without a tuner takes everything).
    bool tune(Tuner* tuner, double channel);
    bool mute(Tuner* tuner, bool muted);

private:
    void showHeld(HeldWrite what);

    VideoView& m_view;
};

}  // namespace capture
