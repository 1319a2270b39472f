#include "V4l2Standards.h"

#include <linux/videodev2.h>

namespace capture {

std::uint64_t v4l2Standard(tv::Standard standard)
{
    switch (standard) {
    case tv::Standard::NtscM: return V4L2_STD_NTSC_M;
    case tv::Standard::NtscMJapan: return V4L2_STD_NTSC_M_JP;
    case tv::Standard::NtscMKorea: return V4L2_STD_NTSC_M_KR;
    case tv::Standard::PalBG: return V4L2_STD_PAL_BG;
    case tv::Standard::PalI: return V4L2_STD_PAL_I;
    case tv::Standard::PalDK: return V4L2_STD_PAL_DK;
    case tv::Standard::PalM: return V4L2_STD_PAL_M;
    case tv::Standard::PalNc: return V4L2_STD_PAL_Nc;
    case tv::Standard::SecamL: return V4L2_STD_SECAM_L;
    case tv::Standard::SecamDK: return V4L2_STD_SECAM_DK;
    }
    return 0;
}

std::uint64_t v4l2StandardFallback(tv::Standard standard)
{
    switch (standard) {
    case tv::Standard::NtscM:
    case tv::Standard::NtscMJapan:
    case tv::Standard::NtscMKorea:
        return V4L2_STD_NTSC;
    case tv::Standard::PalBG:
    case tv::Standard::PalI:
    case tv::Standard::PalDK:
        // 625-line PAL only: PAL-M and PAL-N are other line systems.
        return V4L2_STD_PAL;
    case tv::Standard::SecamL:
    case tv::Standard::SecamDK:
        return V4L2_STD_SECAM;
    case tv::Standard::PalM:
    case tv::Standard::PalNc:
        return 0;
    }
    return 0;
}

}  // namespace capture
