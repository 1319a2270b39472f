#pragma once

#include <stdexcept>
#include <string>

namespace capture {

// What a failing member of the capture control raises in its caller.
class CaptureError : public std::runtime_error {
public:
    explicit CaptureError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace capture
