#pragma once

#include "V4l2File.h"
#include "capture/devices/DeviceControls.h"

#include <map>

namespace capture {

// Every control of a V4L2 node, through the node's own open file (so it works while another
// program streams): VIDIOC_QUERY_EXT_CTRL with NEXT_CTRL and NEXT_COMPOUND in the driver's
// order, named by their classes, menus through VIDIOC_QUERYMENU, values through the single and
// extended control ioctls, changes through V4L2_EVENT_CTRL.
class V4l2DeviceControls final : public DeviceControls {
public:
    explicit V4l2DeviceControls(const V4l2File& file);
    ~V4l2DeviceControls() override;

    std::vector<DeviceControl> list() override;
    std::optional<DeviceControl> read(std::uint32_t id) override;
    std::optional<std::int64_t> value(std::uint32_t id) override;
    ControlWrite write(std::uint32_t id, std::int64_t value) override;
    ControlWrite writeText(std::uint32_t id, const std::string& text) override;
    int watch(const std::vector<std::uint32_t>& ids) override;
    void unwatch() override;
    std::vector<std::uint32_t> changes() override;
    std::vector<std::pair<std::uint32_t, ControlWrite>> resetToDefaults() override;

private:
    std::optional<ControlKind> kindOf(std::uint32_t id);
    ControlWrite refusal(std::uint32_t id, int error);

    const V4l2File& m_file;
    std::map<std::uint32_t, ControlKind> m_kinds;  // a control's kind never changes
    bool m_watching = false;
};

}  // namespace capture
