#pragma once

#include <cstdint>

namespace capture {

// What Start answers: 0 once capturing, -1 when the recording cannot be made (the file cannot
// be created, an encoder cannot take the stream), -2 when the file's name is empty or its
// folder does not exist.
enum StartStatus : std::int16_t { Started = 0, CannotRecord = -1, FileNotFound = -2 };

}  // namespace capture
