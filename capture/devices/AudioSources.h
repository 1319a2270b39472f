#pragma once

#include "VideoDevice.h"

#include <memory>
#include <vector>

namespace capture {

// The machine's sound inputs by their readable names: the sound server's sources (PulseAudio,
// or PipeWire through its PulseAudio service or its own plugin) first, then the ALSA capture
// devices of cards the server does not offer, so that a microphone is listed once, through
// the server when one runs. Asks each provider once; without a server or a sound card the
// list is empty, without waiting.
std::vector<std::unique_ptr<AudioDevice>> discoverAudioSources();

// The list made of what a sound server and the ALSA provider offer, as discoverAudioSources
// makes it.
std::vector<std::unique_ptr<AudioDevice>> audioSourcesOf(std::vector<GstHandle<GstDevice>> server,
                                                         std::vector<GstHandle<GstDevice>> alsa);

}  // namespace capture
