#include "V4l2Controls.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace capture {
namespace {

int queryOld(const V4l2File& file, std::uint32_t id, v4l2_query_ext_ctrl& query)
{
    v4l2_queryctrl old{};
    old.id = id & ~std::uint32_t(V4L2_CTRL_FLAG_NEXT_COMPOUND);
    if (const int error = file.ioctl(VIDIOC_QUERYCTRL, &old))
        return error;
    query = {};
    query.id = old.id;
    query.type = old.type;
    std::memcpy(query.name, old.name, std::min(sizeof query.name, sizeof old.name));
    query.minimum = old.minimum;
    query.maximum = old.maximum;
    query.step = static_cast<std::uint32_t>(old.step);
    query.default_value = old.default_value;
    query.flags = old.flags;
    query.elems = 1;
    query.elem_size = old.type == V4L2_CTRL_TYPE_INTEGER64 ? 8 : 4;
    return 0;
}

}  // namespace

int queryControl(const V4l2File& file, std::uint32_t id, v4l2_query_ext_ctrl& query)
{
    query = {};
    query.id = id;
    const int error = file.ioctl(VIDIOC_QUERY_EXT_CTRL, &query);
    return error == ENOTTY ? queryOld(file, id, query) : error;
}

bool hasControl(const V4l2File& file, std::uint32_t id)
{
    v4l2_query_ext_ctrl query{};
    return queryControl(file, id, query) == 0 && query.id == id;
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

}  // namespace capture
