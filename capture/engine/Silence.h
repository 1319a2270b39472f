#pragma once

#include <gst/audio/audio.h>

namespace capture {

// A buffer of `frames` frames of silence in the given sound format, without times; null when
// it cannot be written.
GstBuffer* silentSound(const GstAudioInfo& audio, guint64 frames);

}  // namespace capture
