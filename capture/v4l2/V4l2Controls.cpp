#include "V4l2Controls.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace capture {
namespace {

std::string fixedText(const char* text, std::size_t size)
{
    return std::string(text, strnlen(text, size));
}

V4l2ControlInfo fromExtQuery(const v4l2_query_ext_ctrl& query)
{
    V4l2ControlInfo info;
    info.id = query.id;
    info.type = query.type;
    info.name = fixedText(query.name, sizeof query.name);
    info.minimum = query.minimum;
    info.maximum = query.maximum;
    info.step = query.step;
    info.defaultValue = query.default_value;
    info.flags = query.flags;
    return info;
}

V4l2ControlInfo fromQuery(const v4l2_queryctrl& query)
{
    V4l2ControlInfo info;
    info.id = query.id;
    info.type = query.type;
    info.name = fixedText(reinterpret_cast<const char*>(query.name), sizeof query.name);
    info.minimum = query.minimum;
    info.maximum = query.maximum;
    info.step = static_cast<std::uint32_t>(query.step);
    info.defaultValue = query.default_value;
    info.flags = query.flags;
    return info;
}

// One query; `id` may carry V4L2_CTRL_FLAG_NEXT_CTRL. Falls back to the old ioctl on ENOTTY.
std::optional<V4l2ControlInfo> query(const V4l2File& file, std::uint32_t id)
{
    v4l2_query_ext_ctrl ext{};
    ext.id = id;
    int error = file.ioctl(VIDIOC_QUERY_EXT_CTRL, &ext);
    if (error == 0)
        return fromExtQuery(ext);
    if (error != ENOTTY)
        return std::nullopt;

    v4l2_queryctrl old{};
    old.id = id;
    if (file.ioctl(VIDIOC_QUERYCTRL, &old) != 0)
        return std::nullopt;
    return fromQuery(old);
}

}  // namespace

bool V4l2ControlInfo::writable() const
{
    return !(flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY));
}

std::optional<V4l2ControlInfo> queryControl(const V4l2File& file, std::uint32_t id)
{
    auto info = query(file, id);
    // A driver that ignores the id's flag bits could answer another control.
    if (info && info->id != id)
        return std::nullopt;
    return info;
}

std::vector<V4l2ControlInfo> listControls(const V4l2File& file)
{
    std::vector<V4l2ControlInfo> controls;
    std::uint32_t id = 0;
    while (auto info = query(file, id | V4L2_CTRL_FLAG_NEXT_CTRL)) {
        // The enumeration must move forward; a driver that repeats itself would loop forever.
        if (!controls.empty() && info->id <= controls.back().id)
            break;
        id = info->id;
        if (info->type != V4L2_CTRL_TYPE_CTRL_CLASS)
            controls.push_back(std::move(*info));
    }
    return controls;
}

bool hasMenuEntry(const V4l2File& file, std::uint32_t id, std::uint32_t index)
{
    v4l2_querymenu menu{};
    menu.id = id;
    menu.index = index;
    return file.ioctl(VIDIOC_QUERYMENU, &menu) == 0;
}

int readControl(const V4l2File& file, std::uint32_t id, std::int32_t& value)
{
    v4l2_control control{};
    control.id = id;
    const int error = file.ioctl(VIDIOC_G_CTRL, &control);
    if (error == 0)
        value = control.value;
    return error;
}

int writeControl(const V4l2File& file, std::uint32_t id, std::int32_t value)
{
    v4l2_control control{};
    control.id = id;
    control.value = value;
    return file.ioctl(VIDIOC_S_CTRL, &control);
}

std::int32_t alignToControl(const V4l2ControlInfo& info, std::int64_t requested)
{
    const std::int64_t low = std::max<std::int64_t>(info.minimum, std::numeric_limits<std::int32_t>::min());
    const std::int64_t high = std::max(low, std::min<std::int64_t>(info.maximum, std::numeric_limits<std::int32_t>::max()));
    const std::int64_t step = info.step == 0 ? 1 : static_cast<std::int64_t>(std::min<std::uint64_t>(info.step, 1u << 30));

    const std::int64_t clamped = std::clamp(requested, low, high);
    // Offsets from the minimum: round to the nearest step, halves up, but never past the last
    // grid point inside the range (a maximum off the grid is not reachable).
    const std::int64_t lastOffset = (high - low) / step * step;
    const std::int64_t offset = std::min((clamped - low + step / 2) / step * step, lastOffset);
    return static_cast<std::int32_t>(low + offset);
}

}  // namespace capture
