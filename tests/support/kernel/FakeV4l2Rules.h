#pragma once

// Small rules of the kernel's V4L2 core that the model's parts share.

#include "FakeV4l2Device.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

namespace capture::fakev4l2 {


template <std::size_t N>
inline void copyText(std::uint8_t (&target)[N], const std::string& text)
{
    std::memset(target, 0, N);
    std::memcpy(target, text.data(), std::min(text.size(), N - 1));
}

template <std::size_t N>
inline void copyText(char (&target)[N], const std::string& text)
{
    std::memset(target, 0, N);
    std::memcpy(target, text.data(), std::min(text.size(), N - 1));
}

inline bool isMenu(std::uint32_t type)
{
    return type == V4L2_CTRL_TYPE_MENU || type == V4L2_CTRL_TYPE_INTEGER_MENU;
}

// What the framework enumerates with NEXT_COMPOUND: arrays and compound types.
inline bool isCompound(const FakeV4l2Hardware::Control& control)
{
    return !control.dimensions.empty() || control.type >= V4L2_CTRL_COMPOUND_TYPES;
}

// What the single-value ioctls (G_CTRL, S_CTRL) cannot carry.
inline bool isWide(const FakeV4l2Hardware::Control& control)
{
    return isCompound(control) || control.type == V4L2_CTRL_TYPE_INTEGER64 || control.type == V4L2_CTRL_TYPE_STRING;
}

inline std::uint32_t elementCount(const FakeV4l2Hardware::Control& control)
{
    std::uint32_t count = 1;
    for (const std::uint32_t dimension : control.dimensions)
        count *= dimension;
    return count;
}

inline std::uint32_t elementSize(const FakeV4l2Hardware::Control& control)
{
    if (control.type >= V4L2_CTRL_COMPOUND_TYPES)
        return control.elementSize;
    if (control.type == V4L2_CTRL_TYPE_STRING)
        return static_cast<std::uint32_t>(control.maximum) + 1;
    return control.type == V4L2_CTRL_TYPE_INTEGER64 ? sizeof(std::int64_t) : sizeof(std::int32_t);
}

inline std::string defaultText(const FakeV4l2Hardware::Control& control)
{
    return std::string(static_cast<std::size_t>(std::max<std::int64_t>(control.minimum, 0)), ' ');
}

// The control framework's rounding of an integer control: half a step up, clamp, then down
// to the step grid counted from the minimum; near the maximum it takes the maximum first,
// which the grid may then round below.
inline std::int64_t roundToRange(std::int64_t value, const FakeV4l2Hardware::Control& control)
{
    const std::int64_t step = std::max(1, control.step);
    if (control.maximum >= 0 && value >= control.maximum - step / 2)
        value = control.maximum;
    else if (value <= std::numeric_limits<std::int64_t>::max() - step / 2)
        value += step / 2;
    value = std::clamp<std::int64_t>(value, control.minimum, control.maximum);
    // Unsigned: the distance across a full 64-bit range does not fit a signed number.
    const std::uint64_t offset = (static_cast<std::uint64_t>(value) - static_cast<std::uint64_t>(control.minimum))
        / static_cast<std::uint64_t>(step) * static_cast<std::uint64_t>(step);
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(control.minimum) + offset);
}

inline std::uint32_t distance(std::uint32_t a, std::uint32_t b)
{
    return a > b ? a - b : b - a;
}

inline std::int64_t monotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

inline std::uint32_t pageAligned(std::uint32_t size)
{
    const auto page = static_cast<std::uint32_t>(sysconf(_SC_PAGESIZE));
    return (size + page - 1) / page * page;
}

// videobuf2 wants room for at least one plane with the multi-planar buffer type.
inline bool planesFit(const v4l2_buffer& buffer)
{
    return buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE || (buffer.m.planes && buffer.length >= 1);
}

constexpr std::uint32_t maxBuffers = 32;  // videobuf2's VB2_MAX_FRAME

constexpr unsigned long knownRequests[] = {
    VIDIOC_QUERYCAP, VIDIOC_ENUMINPUT, VIDIOC_G_INPUT, VIDIOC_S_INPUT, VIDIOC_G_STD, VIDIOC_S_STD,
    VIDIOC_QUERYCTRL, VIDIOC_QUERY_EXT_CTRL, VIDIOC_QUERYMENU, VIDIOC_G_CTRL, VIDIOC_S_CTRL,
    VIDIOC_G_EXT_CTRLS, VIDIOC_S_EXT_CTRLS, VIDIOC_TRY_EXT_CTRLS, VIDIOC_ENUM_FMT, VIDIOC_ENUM_FRAMESIZES,
    VIDIOC_ENUM_FRAMEINTERVALS, VIDIOC_G_FMT, VIDIOC_TRY_FMT, VIDIOC_S_FMT, VIDIOC_G_PARM, VIDIOC_S_PARM,
    VIDIOC_REQBUFS, VIDIOC_QUERYBUF, VIDIOC_QBUF, VIDIOC_DQBUF, VIDIOC_G_TUNER, VIDIOC_S_TUNER,
    VIDIOC_G_FREQUENCY, VIDIOC_S_FREQUENCY, VIDIOC_STREAMON, VIDIOC_STREAMOFF, VIDIOC_G_PRIORITY, VIDIOC_S_PRIORITY,
    VIDIOC_ENUMAUDIO, VIDIOC_G_AUDIO, VIDIOC_S_AUDIO, VIDIOC_ENUM_FREQ_BANDS, VIDIOC_ENUMSTD, VIDIOC_QUERYSTD,
    VIDIOC_SUBSCRIBE_EVENT, VIDIOC_UNSUBSCRIBE_EVENT, VIDIOC_DQEVENT,
};

// The control framework's names of the classes these cards use.
inline const char* className(std::uint32_t controlClass)
{
    switch (controlClass) {
    case V4L2_CTRL_CLASS_USER:
        return "User Controls";
    case V4L2_CTRL_CLASS_CAMERA:
        return "Camera Controls";
    case V4L2_CTRL_CLASS_IMAGE_SOURCE:
        return "Image Source Controls";
    case V4L2_CTRL_CLASS_IMAGE_PROC:
        return "Image Processing Controls";
    default:
        return "Controls";
    }
}

}  // namespace capture::fakev4l2
