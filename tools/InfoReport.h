#pragma once

#include "capture/devices/DeviceCatalogue.h"
#include "capture/devices/EncoderCatalogue.h"
#include "capture/devices/KeptCameras.h"

#include <ostream>

namespace capture::info {

// The video devices with their inputs and formats, the audio devices and the encoders, each
// numbered as the programs list them.
void printOverview(std::ostream& out, const DeviceCatalogue& devices, const EncoderCatalogue& encoders);

// The cameras that keep settings: each one's identity, file and what it keeps, with the
// lines of its file that could not be read.
void printKeptCameras(std::ostream& out, const KeptCameras& cameras);

// The ten picture settings of one device (supported, min, max, step, value) and its tuner.
// The name is the one the catalogue lists; the device's own when empty.
void printDeviceSettings(std::ostream& out, int index, VideoDevice& device, const std::string& name = {});

// One line per channel of the country's table: the name as the programs list it, a tab, and
// the vision carrier in MHz. Answers how many channels were printed (0 for a code without a
// table).
int printChannels(std::ostream& out, double countryCode);

}  // namespace capture::info
