#pragma once

#include <functional>
#include <optional>
#include <string>

namespace capture {

// Whether a sound or camera server could answer here, told from the environment and the file
// system alone. A GStreamer device provider asked while no server runs still loads its client
// libraries and tries to connect: several milliseconds on every start of a program, for nothing.
// These follow where the servers' own client libraries look, and err on the side of asking.
struct ServerLookup {
    std::function<std::optional<std::string>(const char* name)> environment;  // set variables
    bool root = false;       // the process runs as root (a sound server is not started for it)
    std::string systemRoot;  // prefixed to system paths (/run, /etc, /usr/bin); empty for the real ones

    static ServerLookup ofProcess();
};

// A PulseAudio server or PipeWire's PulseAudio service: a server named in the environment or the
// client configuration, a socket in the places the client library tries, or a server the client
// library would start itself.
bool pulseServerMayAnswer(const ServerLookup& lookup = ServerLookup::ofProcess());

// A PipeWire daemon: a remote named in the environment, or the socket of the default one.
bool pipeWireMayAnswer(const ServerLookup& lookup = ServerLookup::ofProcess());

// A sound card that records: the kernel makes a /dev/snd/pcmC<card>D<device>c node for each
// capture device, which is what ALSA's device provider lists.
bool soundCardMayAnswer(const ServerLookup& lookup = ServerLookup::ofProcess());

}  // namespace capture
