#pragma once

#include "VideoDevice.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace capture {

// The machine's sound inputs by their readable names: the sound server's sources (PulseAudio,
// or PipeWire through its PulseAudio service or its own plugin) first, then the ALSA capture
// devices of cards the server does not offer, so that a microphone is listed once, through
// the server when one runs. Asks each provider once; without a server or a sound card the
// list is empty, without waiting and without loading GStreamer.
std::vector<std::unique_ptr<AudioDevice>> discoverAudioSources();

// The list made of what a sound server and the ALSA provider offer, as discoverAudioSources
// makes it.
std::vector<std::unique_ptr<AudioDevice>> audioSourcesOf(std::vector<GstHandle<GstDevice>> server,
                                                         std::vector<GstHandle<GstDevice>> alsa);

// An ALSA capture device as the list names it.
struct AlsaCapture {
    std::string cardName;          // "HDA Intel PCH", "Loopback"
    std::optional<int> card;       // the card's number
    std::optional<int> device;     // the PCM device's number on its card
    std::string deviceName;        // the PCM device's own name, "ALC892 Analog"
};

// What each is listed as: a card with one capture device by the card's name, as before; a card
// with several gives each its own name and number too ("Loopback: Loopback PCM (device 1)"),
// since its devices may share a name.
std::vector<std::string> alsaCaptureNames(const std::vector<AlsaCapture>& captures);

}  // namespace capture
