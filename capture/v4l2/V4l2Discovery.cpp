#include "V4l2Discovery.h"

#include "V4l2Devices.h"
#include "V4l2NodeWatch.h"

namespace capture {

DeviceCatalogue discoverDevices()
{
    return DeviceCatalogue::discover([] { return openV4l2VideoDevices(systemV4l2Io(), v4l2NodeDirectory()); });
}

std::unique_ptr<DeviceWatch> watchV4l2Nodes()
{
    return std::make_unique<V4l2NodeWatch>(systemV4l2Io(), v4l2NodeDirectory());
}

}  // namespace capture
