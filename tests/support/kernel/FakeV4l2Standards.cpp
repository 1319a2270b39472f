#include "FakeV4l2Standards.h"

#include <cerrno>
#include <cstring>
#include <iterator>

namespace capture {
namespace {

struct Named {
    v4l2_std_id id;
    const char* name;
};

// In the core's order: a wider group before its members, so that a set holding a whole group
// lists the group once.
constexpr Named standards[] = {
    {V4L2_STD_NTSC, "NTSC"},       {V4L2_STD_NTSC_M, "NTSC-M"},     {V4L2_STD_NTSC_M_JP, "NTSC-M-JP"},
    {V4L2_STD_NTSC_M_KR, "NTSC-M-KR"}, {V4L2_STD_NTSC_443, "NTSC-443"}, {V4L2_STD_PAL, "PAL"},
    {V4L2_STD_PAL_BG, "PAL-BG"},   {V4L2_STD_PAL_B, "PAL-B"},       {V4L2_STD_PAL_B1, "PAL-B1"},
    {V4L2_STD_PAL_G, "PAL-G"},     {V4L2_STD_PAL_H, "PAL-H"},       {V4L2_STD_PAL_I, "PAL-I"},
    {V4L2_STD_PAL_DK, "PAL-DK"},   {V4L2_STD_PAL_D, "PAL-D"},       {V4L2_STD_PAL_D1, "PAL-D1"},
    {V4L2_STD_PAL_K, "PAL-K"},     {V4L2_STD_PAL_M, "PAL-M"},       {V4L2_STD_PAL_N, "PAL-N"},
    {V4L2_STD_PAL_Nc, "PAL-Nc"},   {V4L2_STD_PAL_60, "PAL-60"},     {V4L2_STD_SECAM, "SECAM"},
    {V4L2_STD_SECAM_B, "SECAM-B"}, {V4L2_STD_SECAM_G, "SECAM-G"},   {V4L2_STD_SECAM_H, "SECAM-H"},
    {V4L2_STD_SECAM_DK, "SECAM-DK"}, {V4L2_STD_SECAM_D, "SECAM-D"}, {V4L2_STD_SECAM_K, "SECAM-K"},
    {V4L2_STD_SECAM_K1, "SECAM-K1"}, {V4L2_STD_SECAM_L, "SECAM-L"}, {V4L2_STD_SECAM_LC, "SECAM-Lc"},
};

// The colour systems stay in the set after they are listed: their variants follow them.
bool isColourSystem(v4l2_std_id id)
{
    return id == V4L2_STD_NTSC || id == V4L2_STD_PAL || id == V4L2_STD_SECAM;
}

}  // namespace

int enumerateStandard(v4l2_std_id supported, v4l2_standard& standard)
{
    if (!supported)
        return ENODATA;
    v4l2_std_id left = supported;
    std::uint32_t index = 0;
    for (const auto& entry : standards) {
        if ((left & entry.id) != entry.id)
            continue;
        if (index++ < standard.index) {
            if (!isColourSystem(entry.id))
                left &= ~entry.id;
            continue;
        }
        const std::uint32_t asked = standard.index;
        standard = {};
        standard.index = asked;
        standard.id = entry.id;
        std::strncpy(reinterpret_cast<char*>(standard.name), entry.name, sizeof standard.name - 1);
        const bool lines525 = (entry.id & V4L2_STD_525_60) != 0;
        standard.frameperiod = lines525 ? v4l2_fract{1001, 30000} : v4l2_fract{1, 25};
        standard.framelines = lines525 ? 525 : 625;
        return 0;
    }
    return EINVAL;
}

}  // namespace capture
