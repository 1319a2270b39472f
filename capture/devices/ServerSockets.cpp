#include "ServerSockets.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace capture {

namespace fs = std::filesystem;

namespace {

bool exists(const std::string& path)
{
    std::error_code error;
    return !path.empty() && fs::exists(path, error);
}

std::string variable(const ServerLookup& lookup, const char* name)
{
    return lookup.environment(name).value_or(std::string());
}

// The client configuration's settings that make a client look further than the local sockets,
// or not start a server: "key = value" lines, ';' and '#' begin comments; later files win.
struct PulseClientSettings {
    bool namesServer = false;
    bool autospawn = true;

    void read(const fs::path& file)
    {
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) {
            line = line.substr(0, line.find_first_of(";#"));
            const auto equals = line.find('=');
            if (equals == std::string::npos)
                continue;
            auto trimmed = [](std::string text) {
                const auto first = text.find_first_not_of(" \t\r");
                const auto last = text.find_last_not_of(" \t\r");
                return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
            };
            const std::string key = trimmed(line.substr(0, equals));
            const std::string value = trimmed(line.substr(equals + 1));
            const bool yes = value == "yes" || value == "true" || value == "on" || value == "1";
            if (key == "default-server" && !value.empty())
                namesServer = true;
            else if ((key == "auto-connect-localhost" || key == "auto-connect-display") && yes)
                namesServer = true;
            else if (key == "autospawn")
                autospawn = yes;
        }
    }

    // A file, then the .conf files of its ".d" folder in name order.
    void readWithFolder(const fs::path& file)
    {
        read(file);
        std::error_code error;
        std::vector<fs::path> parts;
        for (const auto& entry : fs::directory_iterator(fs::path(file.string() + ".d"), error))
            if (entry.path().extension() == ".conf")
                parts.push_back(entry.path());
        std::sort(parts.begin(), parts.end());
        for (const fs::path& part : parts)
            read(part);
    }
};

std::string machineId(const ServerLookup& lookup)
{
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        std::ifstream in(lookup.systemRoot + path);
        std::string id;
        if (std::getline(in, id) && !id.empty())
            return id;
    }
    return {};
}

}  // namespace

ServerLookup ServerLookup::ofProcess()
{
    ServerLookup lookup;
    lookup.environment = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value && *value ? std::optional<std::string>(value) : std::nullopt;
    };
    lookup.root = getuid() == 0;
    return lookup;
}

bool pulseServerMayAnswer(const ServerLookup& lookup)
{
    if (lookup.environment("PULSE_SERVER") || lookup.environment("PULSE_CLIENTCONFIG"))
        return true;

    const std::string home = variable(lookup, "HOME");
    const std::string configHome = lookup.environment("XDG_CONFIG_HOME").value_or(home + "/.config");
    PulseClientSettings settings;
    settings.readWithFolder(lookup.systemRoot + "/etc/pulse/client.conf");
    if (!home.empty() || lookup.environment("XDG_CONFIG_HOME"))
        settings.readWithFolder(configHome + "/pulse/client.conf");
    if (settings.namesServer)
        return true;

    const std::string runtime = variable(lookup, "XDG_RUNTIME_DIR");
    const std::string ownRuntime = variable(lookup, "PULSE_RUNTIME_PATH");
    if (exists(ownRuntime.empty() ? "" : ownRuntime + "/native"))
        return true;
    if (exists(runtime.empty() ? "" : runtime + "/pulse/native"))
        return true;
    // Without a runtime folder the client keeps its socket under the configuration folder.
    if (runtime.empty() && !home.empty() && exists(configHome + "/pulse/" + machineId(lookup) + "-runtime/native"))
        return true;
    if (exists(lookup.systemRoot + "/run/pulse/native") || exists(lookup.systemRoot + "/var/run/pulse/native"))
        return true;
    // The client library starts a server of its own, except for root.
    return !lookup.root && settings.autospawn && exists(lookup.systemRoot + "/usr/bin/pulseaudio");
}

bool pipeWireMayAnswer(const ServerLookup& lookup)
{
    if (lookup.environment("PIPEWIRE_REMOTE"))
        return true;
    for (const char* folder : {"PIPEWIRE_RUNTIME_DIR", "XDG_RUNTIME_DIR", "USERPROFILE"}) {
        const std::string path = variable(lookup, folder);
        if (!path.empty() && exists(path + "/pipewire-0"))
            return true;
    }
    return exists(lookup.systemRoot + "/run/pipewire/pipewire-0");
}

bool soundCardMayAnswer(const ServerLookup& lookup)
{
    std::error_code error;
    for (fs::directory_iterator entry(lookup.systemRoot + "/dev/snd", error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.starts_with("pcmC") && name.ends_with('c'))
            return true;
    }
    return false;
}

}  // namespace capture
