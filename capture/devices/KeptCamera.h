#pragma once

#include "DeviceControls.h"
#include "KeptCameras.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace capture {

// One camera's controls while the control uses it, with what the camera keeps: while keeping
// is on, every write that takes is kept, whoever makes it (the page, the sliders); what is
// kept goes back onto the device when asked. Everything else is the device's own.
class KeptCamera final : public DeviceControls {
public:
    // Loads what the camera keeps. A file that could not be read whole is applied as far as it
    // was read, but not written again until keeping is switched on anew.
    KeptCamera(DeviceControls& device, const KeptCameras& store, std::string camera, std::string name);

    std::vector<DeviceControl> list() override;
    std::optional<DeviceControl> read(std::uint32_t id) override { return m_device.read(id); }
    std::optional<std::int64_t> value(std::uint32_t id) override { return m_device.value(id); }
    ControlWrite write(std::uint32_t id, std::int64_t value) override;
    ControlWrite writeText(std::uint32_t id, const std::string& text) override;
    int watch(const std::vector<std::uint32_t>& ids) override { return m_device.watch(ids); }
    void unwatch() override { m_device.unwatch(); }
    std::vector<std::uint32_t> changes() override { return m_device.changes(); }
    std::vector<std::pair<std::uint32_t, ControlWrite>> resetToDefaults() override;

    const std::string& camera() const { return m_kept.camera; }
    bool keeping() const { return m_keeping; }
    // Whether apply() has anything to put back.
    bool applies() const { return m_kept.keeping && !m_kept.controls.empty(); }
    // On: keeps the camera's settings as they are now (each control a person moved from its
    // default, and the source in use), then every change. Off: what is kept stays in its file
    // but is neither applied nor added to.
    void setKeeping(bool on);
    // Keeps nothing more and deletes the file.
    void forget();

    // The source in use, kept while keeping is on.
    void useSource(std::optional<int> input, std::optional<double> countryCode, std::optional<VideoFormat> format);
    // What is kept of the source, while keeping is on.
    std::optional<KeptSettings> keptSource() const;

    // Puts what is kept back on the device: automatic modes first, then the manual values they
    // leave writable, each clamped to what the device takes now.
    void apply();
    // After streaming has started, for cameras that put controls back by themselves then: every
    // kept control is written again, but for a volatile one (read from the camera itself)
    // found at its kept value. Answers those written.
    std::vector<std::uint32_t> applyChanged();

    // What the last load, apply or save could not do, a sentence each.
    const std::vector<std::string>& problems() const { return m_problems; }

private:
    void inClusterOrder(const std::function<void(const KeptControl&, const DeviceControl*)>& visit);
    void keepWrite(std::uint32_t id, std::int64_t value, const std::string& text);
    void save();

    DeviceControls& m_device;
    const KeptCameras& m_store;
    KeptSettings m_kept;
    bool m_keeping = false;
    std::vector<std::string> m_problems;
    std::map<std::uint32_t, DeviceControl> m_described;  // the controls as last listed
};

// What a control that keeps this value is set to on this device now, or why it cannot be.
struct KeptValue {
    std::int64_t value = 0;
    std::string text;
    std::string note;  // set when the value had to change to fit: clamped, off its step
    std::string refusal;  // set when it cannot be applied at all
};
KeptValue fitKept(const KeptControl& kept, const DeviceControl& control);

}  // namespace capture
