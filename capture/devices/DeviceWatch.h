#pragma once

#include "DeviceCatalogue.h"

#include <functional>
#include <memory>
#include <vector>

namespace capture {

// Hot-plug: tells its owner when video devices may have come or gone, and brings a catalogue in
// line with the machine when asked. Lives on the owner's (the GUI) thread.
class DeviceWatch {
public:
    virtual ~DeviceWatch() = default;
    // Called from the event loop of the watch's thread, after the machine changed.
    virtual void setChangeHandler(std::function<void()> changed) = 0;
    // Lists the devices that came, takes out those that went and hands them back; the
    // devices that stayed keep their objects.
    virtual std::vector<std::unique_ptr<VideoDevice>> update(DeviceCatalogue& catalogue) = 0;
};

}  // namespace capture
