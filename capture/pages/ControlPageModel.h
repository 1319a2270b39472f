#pragma once

#include "capture/devices/DeviceControls.h"
#include "capture/devices/KeptCamera.h"
#include "capture/devices/Tuner.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace capture {

struct TunerState {
    std::optional<double> countryCode;
    std::optional<double> channel;
    bool muted = false;
};

struct LiveStatistics {
    bool recording = false;
    std::int64_t framesCaptured = 0;
    std::int64_t framesDropped = 0;
    std::uint64_t fileBytes = 0;
    std::int64_t framesBroken = 0;  // damaged or undecodable frames skipped
};

// What the control's own page shows: the sources in use, the current device's controls,
// its tuner, the recording file and the running figures.
class ControlPageModel {
public:
    virtual ~ControlPageModel() = default;

    virtual std::string videoDeviceName() const = 0;
    virtual std::string videoInputName() const = 0;
    virtual std::string videoFormatName() const = 0;
    virtual std::string audioDeviceName() const = 0;  // empty when sound is not captured
    // The sound's level per channel (decaying peak, dB below full scale); empty while the
    // control has no sound running.
    virtual std::vector<double> soundLevels() const { return {}; }

    // Every control of the current device.
    virtual DeviceControls& deviceControls() = 0;
    // What the current device keeps; nullptr for a model without kept settings.
    virtual KeptCamera* keptCamera() { return nullptr; }
    virtual std::optional<TunerState> tuner() const = 0;  // none when the device has no tuner
    // The device's tuner when it learns its stations by scanning; nullptr otherwise.
    virtual Tuner* stationScanner() { return nullptr; }

    virtual std::string recordingFile() const = 0;  // empty when not recording to a file
    virtual LiveStatistics statistics() const = 0;
    // What failed last, naming the part and its device or element; empty when nothing did.
    virtual std::string lastFailure() const = 0;
};

}  // namespace capture
