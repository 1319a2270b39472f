#pragma once

#include <vector>

namespace capture {

// The sound going through the control just now, per channel, in dB below full scale
// (0 is the loudest a sample can be, -100 and below is silence).
struct SoundLevel {
    std::vector<double> peak;   // the loudest sample of the last interval
    std::vector<double> decay;  // the peak, falling slowly: what a meter shows
    std::vector<double> rms;    // the average loudness of the last interval
    double silentSeconds = 0;   // how long every channel has been silent

    // Below this peak a channel counts as silent: hiss of an unplugged input, not a programme.
    static constexpr double SilenceDb = -50;
};

}  // namespace capture
