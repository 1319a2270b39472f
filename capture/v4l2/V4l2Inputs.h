#pragma once

#include "V4l2File.h"
#include "capture/devices/CameraIdentity.h"

#include <cstdint>
#include <string>
#include <vector>

namespace capture {

struct V4l2InputInfo {
    std::uint32_t index = 0;
    std::string name;
    std::uint32_t type = 0;   // V4L2_INPUT_TYPE_TUNER or _CAMERA (any non-tuner source)
    std::uint32_t tuner = 0;  // the tuner's index, for a tuner input
    std::uint64_t standards = 0;
    std::uint32_t capabilities = 0;
};

// The device's inputs in index order, until the driver answers EINVAL.
std::vector<V4l2InputInfo> enumerateInputs(const V4l2File& file);

// The capabilities of the node itself (device_caps when the driver gives them), 0 on failure.
std::uint32_t deviceCapabilities(const V4l2File& file);

// True for a node that captures only through the multi-planar API. Ask a file opened past
// libv4l2 (kernelV4l2Io()): its plugin presents such a node as a single-planar one.
bool isMultiPlanarOnly(const V4l2File& file);

// The card's name as the driver gives it; empty on failure.
std::string cardName(const V4l2File& file);
// A virtual camera (v4l2loopback): a node that captures only while a program feeds it.
bool isVirtualCamera(const V4l2File& file);
// Whether a program feeds the virtual camera now. With exclusive_caps=1 the driver says it can
// output only while no program feeds it, and capture while any program has the node open since
// one fed it: both, when its program left while a reader stays. A node that always says both
// (exclusive_caps=0) counts as fed once it captures.
bool virtualCameraFed(const V4l2File& file);
// What the node is, for its identity (CameraIdentity.h).
NodeDescription nodeDescription(const V4l2File& file);

}  // namespace capture
