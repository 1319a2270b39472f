#include "V4l2PixelFormats.h"

#include <linux/videodev2.h>

#include <array>

namespace capture {
namespace {

struct Mapping {
    std::uint32_t fourcc;
    const char* name;
};

constexpr std::array mappings{
    Mapping{V4L2_PIX_FMT_YUYV, "YUY2"},
    Mapping{V4L2_PIX_FMT_UYVY, "UYVY"},
    Mapping{V4L2_PIX_FMT_YVYU, "YVYU"},
    Mapping{V4L2_PIX_FMT_NV12, "NV12"},
    Mapping{V4L2_PIX_FMT_NV21, "NV21"},
    Mapping{V4L2_PIX_FMT_NV16, "NV16"},
    Mapping{V4L2_PIX_FMT_NV61, "NV61"},
    Mapping{V4L2_PIX_FMT_NV24, "NV24"},
    Mapping{V4L2_PIX_FMT_YUV420, "I420"},
    Mapping{V4L2_PIX_FMT_YVU420, "YV12"},
    Mapping{V4L2_PIX_FMT_YUV422P, "Y42B"},
    Mapping{V4L2_PIX_FMT_YUV411P, "Y41B"},
    Mapping{V4L2_PIX_FMT_YUV410, "YUV9"},
    Mapping{V4L2_PIX_FMT_YVU410, "YVU9"},
    Mapping{V4L2_PIX_FMT_GREY, "GRAY8"},
    Mapping{V4L2_PIX_FMT_Y16, "GRAY16_LE"},
    Mapping{V4L2_PIX_FMT_RGB24, "RGB"},
    Mapping{V4L2_PIX_FMT_BGR24, "BGR"},
    Mapping{V4L2_PIX_FMT_RGB565, "RGB16"},
    Mapping{V4L2_PIX_FMT_RGB555, "RGB15"},
    Mapping{V4L2_PIX_FMT_XBGR32, "BGRx"},
    Mapping{V4L2_PIX_FMT_BGR32, "BGRx"},
    Mapping{V4L2_PIX_FMT_XRGB32, "xRGB"},
    Mapping{V4L2_PIX_FMT_RGB32, "xRGB"},
    Mapping{V4L2_PIX_FMT_ABGR32, "BGRA"},
    Mapping{V4L2_PIX_FMT_ARGB32, "ARGB"},
    Mapping{V4L2_PIX_FMT_MJPEG, "MJPG"},
    Mapping{V4L2_PIX_FMT_JPEG, "MJPG"},
};

}  // namespace

std::string gstFormatName(std::uint32_t fourcc)
{
    for (const auto& mapping : mappings)
        if (mapping.fourcc == fourcc)
            return mapping.name;
    return {};
}

}  // namespace capture
