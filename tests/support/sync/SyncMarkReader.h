#pragma once

#include <string>
#include <vector>

namespace capture {

// What an AVI recording of the built-in devices says about picture and sound in step, read
// from the file alone: the flashes of the sync box in its pictures, the beeps in its sound,
// and how long each stream lasts.
struct SyncReading {
    std::string error;                 // empty when the file could be read to its end
    std::vector<double> flashes;       // seconds from the start of the picture
    std::vector<double> beeps;         // seconds from the start of the sound
    std::vector<double> offsetsMs;     // per flash with a beep within half a mark period: beep - flash
    double frameSeconds = 0;           // one picture's time
    double pictureEnd = 0;             // end of the last picture, seconds
    double soundEnd = 0;

    // Last pair's offset less the first's; 0 with fewer than two pairs.
    double driftMs() const { return offsetsMs.size() < 2 ? 0 : offsetsMs.back() - offsetsMs.front(); }
};

// Decodes the file's first video and first audio stream. A flash starts where the sync box's
// corner turns bright; a beep starts where the sound's pitch rises to the beep's.
SyncReading readSyncMarks(const std::string& path);

}  // namespace capture
