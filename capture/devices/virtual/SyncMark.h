#pragma once

#include <algorithm>
#include <cstdint>

namespace capture {

// The built-in devices mark picture and sound at the same moments of running time, so that
// any recording of them shows where the two meet: the frame on screen at a mark carries a white
// box in its top right corner (over the black bar, so a snapshot still shows the pattern), and
// the tone changes pitch for a short beep at the same level.
constexpr std::uint64_t syncMarkPeriodNs = 2'000'000'000;
constexpr std::uint64_t syncBeepNs = 100'000'000;
constexpr double syncBeepHz = 3000.0;

// True when the span [start, start + duration) holds a mark's moment.
constexpr bool holdsSyncMark(std::uint64_t start, std::uint64_t duration)
{
    const std::uint64_t sinceMark = start % syncMarkPeriodNs;
    return sinceMark == 0 || sinceMark + std::max<std::uint64_t>(duration, 1) > syncMarkPeriodNs;
}

// The box: a sixth of the height square, inset from the corner by a twentieth.
struct SyncBox {
    int x, y, size;
};
constexpr SyncBox syncBoxOf(int width, int height)
{
    const int size = std::max(4, height / 6) & ~1;
    const int inset = std::max(2, height / 20) & ~1;
    return {std::max(0, width - inset - size), inset, size};
}

}  // namespace capture
