#include "V4l2Discovery.h"

#include "V4l2Devices.h"

namespace capture {

DeviceCatalogue discoverDevices()
{
    return DeviceCatalogue::discover([] { return openV4l2VideoDevices(systemV4l2Io(), v4l2NodeDirectory()); });
}

}  // namespace capture
