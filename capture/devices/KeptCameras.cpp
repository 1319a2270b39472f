#include "KeptCameras.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace capture {

namespace fs = std::filesystem;

namespace {

// A camera's identity as a file name: what a shell and a person read easily.
std::string fileNameOf(const std::string& camera)
{
    std::string name;
    for (const char c : camera) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.'
            || c == '-';
        if (plain)
            name += c;
        else if (name.empty() || name.back() != '_')
            name += '_';
    }
    return name + ".conf";
}

QString qPath(const fs::path& path) { return QString::fromStdString(path.string()); }

}  // namespace

KeptCameras::KeptCameras(fs::path folder) : m_folder(std::move(folder)) {}

fs::path KeptCameras::defaultFolder()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return fs::path(config.toStdString()) / "orvex" / "cameras";
}

fs::path KeptCameras::fileOf(const std::string& camera) const
{
    return m_folder / fileNameOf(camera);
}

std::optional<KeptCameras::Entry> KeptCameras::read(const fs::path& path) const
{
    QFile file(qPath(path));
    if (!file.exists())
        return std::nullopt;
    Entry entry{path, {}, {}};
    if (!file.open(QIODevice::ReadOnly)) {
        entry.problems.push_back("the file cannot be read: " + file.errorString().toStdString());
        return entry;
    }
    // A kept file is a few lines; anything far longer is not one.
    const QByteArray text = file.read(1 << 20);
    KeptSettingsRead content = readKeptSettings(std::string_view(text.constData(), static_cast<size_t>(text.size())));
    entry.settings = std::move(content.settings);
    entry.problems = std::move(content.problems);
    return entry;
}

std::optional<KeptCameras::Entry> KeptCameras::load(const std::string& camera) const
{
    std::optional<Entry> entry = read(fileOf(camera));
    if (entry && !entry->settings.camera.empty() && entry->settings.camera != camera)
        entry->problems.push_back("the file belongs to \"" + entry->settings.camera + "\"");
    return entry;
}

std::vector<KeptCameras::Entry> KeptCameras::all() const
{
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(m_folder, error))
        if (item.path().extension() == ".conf")
            files.push_back(item.path());
    std::sort(files.begin(), files.end());
    std::vector<Entry> entries;
    for (const fs::path& file : files)
        if (auto entry = read(file))
            entries.push_back(std::move(*entry));
    return entries;
}

std::string KeptCameras::save(const KeptSettings& settings) const
{
    if (!QDir().mkpath(qPath(m_folder)))
        return "the folder " + m_folder.string() + " cannot be made";
    QSaveFile file(qPath(fileOf(settings.camera)));
    const std::string text = keptSettingsText(settings);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())
        || !file.commit())
        return file.errorString().toStdString();
    return {};
}

void KeptCameras::forget(const std::string& camera) const
{
    std::error_code error;
    fs::remove(fileOf(camera), error);
}

}  // namespace capture
