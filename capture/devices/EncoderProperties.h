#pragma once

#include <gst/gst.h>

namespace capture {

// Whether a property of an encoder is one of its settings: one the user may change on the
// encoder's page and the recording passes on. Readable (to show it), writable after
// construction, of a plain type (number, flag, choice, text), and the encoder's own rather than
// the generic element's name and parent.
bool isEncoderSetting(const GParamSpec* property);

}  // namespace capture
