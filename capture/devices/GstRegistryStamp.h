#pragma once

#include <functional>
#include <optional>
#include <string>

namespace capture {

// Where GStreamer keeps its registry and finds its plugins, as it looks them up itself.
struct RegistryPlace {
    std::function<std::optional<std::string>(const char* name)> environment;  // set variables
    std::string systemPlugins;  // the folder the plugins of the system's packages are in
    std::string registryName;   // "registry.x86_64.bin"

    static RegistryPlace ofProcess();
};

// The registry file's path, size and time of change and those of every plugin GStreamer would
// look at, as one line that changes when GStreamer would scan again at its start, or when the
// registry is written again; nothing where the registry or the plugins are chosen by the
// environment, or there is no registry yet. Reads folders and file times only: no library is
// loaded.
std::optional<std::string> registryStamp(const RegistryPlace& place = RegistryPlace::ofProcess());

}  // namespace capture
