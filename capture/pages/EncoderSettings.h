#pragma once

#include <map>
#include <string>

namespace capture {

// An encoder's properties as the user changed them: property name to the value as
// gst_util_set_object_arg reads it ("true", "42", "0.5", an enum's nick, plain text).
using EncoderSettings = std::map<std::string, std::string>;

}  // namespace capture
