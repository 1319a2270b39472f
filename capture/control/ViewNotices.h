#pragma once

#include <chrono>

namespace capture {

// How long a notice on the picture stays (a held card, a held setting).
constexpr std::chrono::milliseconds noticeTime{4000};

}  // namespace capture
