#include "InfoReport.h"

#include "capture/contract/Member.h"
#include "capture/devices/CameraSettings.h"
#include "capture/tv/ChannelTables.h"

#include <cstdio>
#include <iomanip>

namespace capture::info {
namespace {

std::string megahertz(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

void printVideoDevice(std::ostream& out, int index, const std::string& name, VideoDevice& device)
{
    out << "  " << index << ": " << name << (device.tuner() ? "  (TV tuner)" : "")
        << (device.isVirtualCamera() ? "  (virtual camera)" : "")
        << (device.sharedThroughPipeWire() ? "  (shared through PipeWire)" : "") << '\n';
    const auto inputs = device.inputs();
    for (std::size_t input = 0; input < inputs.size(); ++input) {
        out << "       input " << input << ": " << inputs[input] << '\n';
        const auto formats = device.formats(static_cast<int>(input));
        for (std::size_t format = 0; format < formats.size(); ++format)
            out << "         format " << format << ": " << formats[format].name()
                << (formats[format].converted ? "  (converted)" : "") << '\n';
    }
}

void printEncoders(std::ostream& out, const char* title, const std::vector<EncoderInfo>& encoders)
{
    out << title << '\n';
    if (encoders.empty())
        out << "  (none)\n";
    for (std::size_t index = 0; index < encoders.size(); ++index) {
        // The listed name already carries the factory where two encoders share a long name.
        const EncoderInfo& encoder = encoders[index];
        const std::string factory = " (" + encoder.factory + ")";
        const bool named = encoder.longName.size() >= factory.size()
                           && encoder.longName.compare(encoder.longName.size() - factory.size(), factory.size(), factory) == 0;
        out << "  " << index << ": " << encoder.longName << (named ? "" : factory) << '\n';
    }
}

}  // namespace

void printOverview(std::ostream& out, const DeviceCatalogue& devices, const EncoderCatalogue& encoders)
{
    out << "Video devices\n";
    for (int index = 0; index < devices.videoCount(); ++index)
        printVideoDevice(out, index, devices.videoName(index), devices.video(index));
    out << "Audio devices\n";
    for (int index = 0; index < devices.audioCount(); ++index)
        out << "  " << index << ": " << devices.audioName(index) << '\n';
    printEncoders(out, "Video encoders", encoders.video);
    printEncoders(out, "Audio encoders", encoders.audio);
    if (encoders.leftOut.empty())
        return;
    out << "Encoders not offered (tried on the test picture or tone)\n";
    for (const EncoderLeftOut& left : encoders.leftOut)
        out << "  " << left.factory << ": " << left.reason << '\n';
}

void printKeptCameras(std::ostream& out, const KeptCameras& cameras)
{
    out << "Cameras that keep settings (" << cameras.folder().string() << ")\n";
    const auto entries = cameras.all();
    if (entries.empty())
        out << "  (none)\n";
    for (const KeptCameras::Entry& entry : entries) {
        const KeptSettings& kept = entry.settings;
        out << "  " << (kept.camera.empty() ? entry.file.filename().string() : kept.camera);
        if (!kept.name.empty())
            out << "  \"" << kept.name << '"';
        out << (kept.keeping ? "" : "  (keeping off)") << '\n';
        out << "       file: " << entry.file.string() << '\n';
        if (kept.input)
            out << "       input " << *kept.input << '\n';
        if (kept.countryCode)
            out << "       country code " << *kept.countryCode << '\n';
        if (kept.format)
            out << "       format " << kept.format->name() << '\n';
        for (const KeptControl& control : kept.controls)
            out << "       " << (control.key.empty() ? "control" : control.key) << " = "
                << (control.kind == ControlKind::String ? '"' + control.text + '"' : std::to_string(control.value))
                << '\n';
        for (const std::string& problem : entry.problems)
            out << "       not read: " << problem << '\n';
    }
}

void printDeviceSettings(std::ostream& out, int index, VideoDevice& device, const std::string& name)
{
    out << "Video device " << index << ": " << (name.empty() ? device.name() : name) << '\n';
    out << std::left << std::setw(24) << "Setting" << std::right << std::setw(10) << "Supported" << std::setw(8)
        << "Min" << std::setw(8) << "Max" << std::setw(8) << "Step" << std::setw(8) << "Value" << '\n';
    for (const Member property : cameraProperties) {
        const SettingRange range = CameraSettings(device.controls()).range(property);
        out << std::left << std::setw(24) << memberName(property) << std::right << std::setw(10)
            << (range.supported ? "yes" : "no");
        if (range.supported)
            out << std::setw(8) << range.min << std::setw(8) << range.max << std::setw(8) << range.step
                << std::setw(8) << range.value;
        out << '\n';
    }
    out << "TV tuner: " << (device.tuner() ? "yes" : "no") << '\n';
}

int printChannels(std::ostream& out, double countryCode)
{
    const auto choice = tv::countryFor(countryCode);
    if (!choice)
        return 0;
    for (const auto& channel : choice->table->channels)
        out << channel.name << '\t' << megahertz(channel.frequencyMHz) << " MHz\n";
    return static_cast<int>(choice->table->channels.size());
}

}  // namespace capture::info
