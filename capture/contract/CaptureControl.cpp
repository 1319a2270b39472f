#include "CaptureControl.h"

#include <string>

namespace capture {

RangeNumbering rangeNumbering(Member property)
{
    switch (property) {
    case Member::Brightness: return {1, 2, 4};
    case Member::Contrast: return {3, 2, 5};
    default:
        if (isCameraProperty(property))
            return {4, 3, 6};
    }
    throw CaptureError("Member " + std::to_string(number(property)) + " is not a camera setting");
}

}  // namespace capture
