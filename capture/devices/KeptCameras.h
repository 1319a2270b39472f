#pragma once

#include "KeptSettings.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace capture {

// The cameras that keep settings: a file each in the user's configuration folder
// ($XDG_CONFIG_HOME/orvex/cameras). A file is replaced whole or not at all, so a crash
// while it is written leaves the one before.
class KeptCameras {
public:
    explicit KeptCameras(std::filesystem::path folder = defaultFolder());

    static std::filesystem::path defaultFolder();
    const std::filesystem::path& folder() const { return m_folder; }
    std::filesystem::path fileOf(const std::string& camera) const;

    struct Entry {
        std::filesystem::path file;
        KeptSettings settings;
        std::vector<std::string> problems;  // what could not be read
    };
    // What that camera keeps; nothing when it keeps nothing. A file that cannot be read at
    // all is an entry with no settings and the reason among its problems.
    std::optional<Entry> load(const std::string& camera) const;
    // Every camera with a file, in the order of their files' names.
    std::vector<Entry> all() const;

    // Empty, or why the file could not be written (the one before stays).
    std::string save(const KeptSettings& settings) const;
    void forget(const std::string& camera) const;

private:
    std::optional<Entry> read(const std::filesystem::path& file) const;

    std::filesystem::path m_folder;
};

}  // namespace capture
