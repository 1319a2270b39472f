#include "GstRegistryStamp.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include <sys/stat.h>

namespace capture {

namespace fs = std::filesystem;

namespace {

long long nanoseconds(const timespec& time) { return time.tv_sec * 1'000'000'000LL + time.tv_nsec; }

std::string variable(const RegistryPlace& place, const char* name)
{
    return place.environment(name).value_or(std::string());
}

std::string userFolder(const RegistryPlace& place, const char* variableName, const char* underHome)
{
    if (std::string folder = variable(place, variableName); !folder.empty())
        return folder;
    return variable(place, "HOME") + underHome;
}

// What GStreamer compares to tell that a plugin changed, for every file under the folder: its
// path, size and time of change, folded into one number (FNV-1a).
void foldPlugins(const std::string& folder, std::uint64_t& digest)
{
    auto fold = [&digest](const std::string& text) {
        for (const unsigned char byte : text)
            digest = (digest ^ byte) * 1099511628211ULL;
    };
    std::error_code error;
    std::vector<std::string> files;
    for (fs::recursive_directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
        files.push_back(entry->path().string());
    std::sort(files.begin(), files.end());  // the folder's own order is not stable
    for (const std::string& file : files) {
        struct stat status {};
        if (::stat(file.c_str(), &status) == 0)
            fold(file + " " + std::to_string(status.st_size) + " " + std::to_string(nanoseconds(status.st_mtim)) + "\n");
    }
}

}  // namespace

RegistryPlace RegistryPlace::ofProcess()
{
    return {[](const char* name) -> std::optional<std::string> {
                const char* value = std::getenv(name);
                return value ? std::optional<std::string>(value) : std::nullopt;
            },
            ORVEX_GST_PLUGINS_DIR, "registry." ORVEX_GST_TARGET_CPU ".bin"};
}

std::optional<std::string> registryStamp(const RegistryPlace& place)
{
    for (const char* chosen : {"GST_REGISTRY_1_0", "GST_REGISTRY", "GST_PLUGIN_PATH_1_0", "GST_PLUGIN_PATH",
                               "GST_PLUGIN_SYSTEM_PATH_1_0", "GST_PLUGIN_SYSTEM_PATH", "GST_REGISTRY_UPDATE",
                               "GST_REGISTRY_DISABLE"})
        if (place.environment(chosen))
            return std::nullopt;
    const std::string registry = userFolder(place, "XDG_CACHE_HOME", "/.cache") + "/gstreamer-1.0/" + place.registryName;
    struct stat status {};
    if (::stat(registry.c_str(), &status) != 0)
        return std::nullopt;
    std::uint64_t plugins = 14695981039346656037ULL;
    foldPlugins(userFolder(place, "XDG_DATA_HOME", "/.local/share") + "/gstreamer-1.0/plugins", plugins);
    foldPlugins(place.systemPlugins, plugins);
    return registry + " " + std::to_string(status.st_size) + " " + std::to_string(nanoseconds(status.st_mtim)) +
           "; plugins " + std::to_string(plugins);
}

}  // namespace capture
