#pragma once

namespace ostrel {

// The program's title: the caption of its message boxes.
inline constexpr const char* ProgramTitle = "ostrel";

}  // namespace ostrel
