#include "KeptCamera.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace capture {

namespace {

bool keepable(ControlKind kind)
{
    return kind != ControlKind::Button && kind != ControlKind::Compound;
}

// What a person moved: a value away from its default that the device does not set by itself.
bool setByPerson(const DeviceControl& control)
{
    if (!control.writable() || !keepable(control.kind) || !control.hasValue || control.writeOnly)
        return false;
    if (control.isVolatile && control.inactive)
        return false;
    return control.kind == ControlKind::String ? control.text != control.defaultText
                                               : control.value != control.defaultValue;
}

std::string why(ControlWrite result)
{
    switch (result) {
    case ControlWrite::Busy: return "another program holds it";
    case ControlWrite::AutomaticIsOn: return "its automatic mode is on";
    case ControlWrite::OutOfRange: return "the camera refuses the value";
    case ControlWrite::ReadOnly: return "it cannot be set now";
    case ControlWrite::NoAnswer: return "the camera did not answer";
    case ControlWrite::Gone: return "the camera no longer has it";
    case ControlWrite::Applied: break;
    }
    return {};
}

std::string nameOf(const KeptControl& kept, const DeviceControl* control)
{
    if (control)
        return control->name;
    char id[16];
    std::snprintf(id, sizeof id, "0x%08x", kept.id);
    return kept.key.empty() ? std::string(id) : kept.key + " (" + id + ")";
}

}  // namespace

KeptValue fitKept(const KeptControl& kept, const DeviceControl& control)
{
    KeptValue fitted{kept.value, kept.text, {}, {}};
    if (kept.kind != control.kind) {
        fitted.refusal = "it holds another kind of value now";
        return fitted;
    }
    if (!control.writable()) {
        fitted.refusal = "it cannot be set";
        return fitted;
    }
    switch (control.kind) {
    case ControlKind::Integer:
    case ControlKind::Integer64:
    case ControlKind::Boolean:
        fitted.value = alignToStep(control.minimum, control.maximum, control.step, kept.value);
        break;
    case ControlKind::Menu:
    case ControlKind::IntegerMenu: {
        const bool offered = std::any_of(control.menu.begin(), control.menu.end(),
                                         [&](const ControlMenuEntry& entry) { return entry.index == kept.value; });
        if (!offered)
            fitted.refusal = "the camera no longer offers entry " + std::to_string(kept.value);
        break;
    }
    case ControlKind::Bitmask:
        fitted.value = static_cast<std::int64_t>(static_cast<std::uint64_t>(kept.value)
                                                 & static_cast<std::uint64_t>(control.maximum));
        break;
    case ControlKind::String:
        if (static_cast<std::int64_t>(kept.text.size()) > control.maximum)
            fitted.text = kept.text.substr(0, static_cast<std::size_t>(std::max<std::int64_t>(control.maximum, 0)));
        if (static_cast<std::int64_t>(fitted.text.size()) < control.minimum)
            fitted.refusal = "the text is shorter than the camera takes";
        if (fitted.text != kept.text && fitted.refusal.empty())
            fitted.note = "the text was cut to " + std::to_string(fitted.text.size()) + " characters";
        return fitted;
    case ControlKind::Button:
    case ControlKind::Compound: fitted.refusal = "it holds no value to keep"; return fitted;
    }
    if (fitted.refusal.empty() && fitted.value != kept.value)
        fitted.note = std::to_string(kept.value) + " is outside what it takes now, set to " + std::to_string(fitted.value);
    return fitted;
}

KeptCamera::KeptCamera(DeviceControls& device, const KeptCameras& store, std::string camera, std::string name)
    : m_device(device), m_store(store)
{
    m_kept.camera = std::move(camera);
    m_kept.name = std::move(name);
    m_kept.keeping = false;  // until a file says it keeps, or the person ticks the box
    std::optional<KeptCameras::Entry> entry = m_store.load(m_kept.camera);
    if (!entry)
        return;
    KeptSettings read = std::move(entry->settings);
    read.camera = m_kept.camera;
    read.name = m_kept.name;
    m_kept = std::move(read);
    m_problems = std::move(entry->problems);
    // A damaged file is read as far as it goes, and left alone until the person keeps again.
    m_keeping = m_kept.keeping && m_problems.empty();
    if (!m_problems.empty())
        m_problems.insert(m_problems.begin(), "The kept settings in " + entry->file.string()
                                                  + " could not all be read; the rest was applied. Tick \"Keep "
                                                    "these settings for this camera\" to keep the current ones.");
}

std::vector<DeviceControl> KeptCamera::list()
{
    std::vector<DeviceControl> controls = m_device.list();
    m_described.clear();
    for (const DeviceControl& control : controls)
        m_described.emplace(control.id, control);
    return controls;
}

ControlWrite KeptCamera::write(std::uint32_t id, std::int64_t value)
{
    const ControlWrite result = m_device.write(id, value);
    if (result == ControlWrite::Applied && m_keeping)
        keepWrite(id, value, {});
    return result;
}

ControlWrite KeptCamera::writeText(std::uint32_t id, const std::string& text)
{
    const ControlWrite result = m_device.writeText(id, text);
    if (result == ControlWrite::Applied && m_keeping)
        keepWrite(id, 0, text);
    return result;
}

std::vector<std::pair<std::uint32_t, ControlWrite>> KeptCamera::resetToDefaults()
{
    auto refused = m_device.resetToDefaults();
    if (m_keeping) {
        // Back at its defaults, the camera keeps only what would not go back.
        std::erase_if(m_kept.controls, [&](const KeptControl& kept) {
            return std::none_of(refused.begin(), refused.end(), [&](const auto& r) { return r.first == kept.id; });
        });
        save();
    }
    return refused;
}

void KeptCamera::keepWrite(std::uint32_t id, std::int64_t value, const std::string& text)
{
    auto described = m_described.find(id);
    if (described == m_described.end()) {
        const std::optional<DeviceControl> control = m_device.read(id);
        if (!control)
            return;
        described = m_described.emplace(id, *control).first;
    }
    const DeviceControl& control = described->second;
    if (!keepable(control.kind))
        return;
    // What the device made of the value (aligned to its step), where it can say.
    const std::optional<std::int64_t> stored = control.kind == ControlKind::String ? std::nullopt : m_device.value(id);
    m_kept.keep({id, control.kind, stored.value_or(value), text, control.key});
    save();
}

void KeptCamera::setKeeping(bool on)
{
    m_problems.clear();
    m_keeping = on;
    m_kept.keeping = on;
    if (on) {
        m_kept.controls.clear();
        for (const DeviceControl& control : list())
            if (setByPerson(control))
                m_kept.keep({control.id, control.kind, control.value, control.text, control.key});
    }
    save();
}

void KeptCamera::forget()
{
    m_store.forget(m_kept.camera);
    m_keeping = false;
    m_problems.clear();
    const KeptSettings none{m_kept.camera, m_kept.name, false, {}, {}, {}, {}};
    m_kept = none;
}

void KeptCamera::useSource(std::optional<int> input, std::optional<double> countryCode,
                           std::optional<VideoFormat> format)
{
    if (m_kept.input == input && m_kept.countryCode == countryCode && m_kept.format == format)
        return;
    m_kept.input = input;
    m_kept.countryCode = countryCode;
    m_kept.format = std::move(format);
    if (m_keeping)
        save();
}

std::optional<KeptSettings> KeptCamera::keptSource() const
{
    return m_kept.keeping ? std::optional<KeptSettings>(m_kept) : std::nullopt;
}

// Automatic modes first: switching one decides whether the manual values it governs take. The
// controls are listed afresh before each pass; a kept control the device lacks comes in the
// second, with no description.
void KeptCamera::inClusterOrder(const std::function<void(const KeptControl&, const DeviceControl*)>& visit)
{
    for (const bool automatic : {true, false}) {
        list();
        for (const KeptControl& kept : m_kept.controls) {
            const auto described = m_described.find(kept.id);
            const DeviceControl* control = described == m_described.end() ? nullptr : &described->second;
            if (control ? control->automaticMode == automatic : !automatic)
                visit(kept, control);
        }
    }
}

void KeptCamera::apply()
{
    if (!m_kept.keeping || m_kept.controls.empty())
        return;
    std::erase_if(m_problems, [](const std::string& p) { return p.rfind("Not put back: ", 0) == 0; });
    inClusterOrder([this](const KeptControl& kept, const DeviceControl* control) {
        auto skip = [&](const std::string& reason) {
            m_problems.push_back("Not put back: " + nameOf(kept, control) + ": " + reason + ".");
        };
        if (!control)
            return skip("the camera no longer has this control");
        const KeptValue fitted = fitKept(kept, *control);
        if (!fitted.refusal.empty())
            return skip(fitted.refusal);
        const ControlWrite result = control->kind == ControlKind::String ? m_device.writeText(kept.id, fitted.text)
                                                                         : m_device.write(kept.id, fitted.value);
        // A manual value under an automatic mode the camera keeps on is the mode's to set.
        if (result != ControlWrite::Applied && result != ControlWrite::AutomaticIsOn)
            skip(why(result));
        else if (!fitted.note.empty())
            skip(fitted.note);
    });
    // A damaged file is put back once, as the camera is taken: after that, what the person sets
    // with keeping off must not be overturned at the next start.
    if (!m_keeping)
        m_kept.keeping = false;
}

std::vector<std::uint32_t> KeptCamera::applyChanged()
{
    std::vector<std::uint32_t> written;
    if (!m_kept.keeping)
        return written;
    inClusterOrder([&](const KeptControl& kept, const DeviceControl* control) {
        if (!control || kept.kind == ControlKind::String)
            return;
        const KeptValue fitted = fitKept(kept, *control);
        // Only a volatile control's value is read from the camera; any other is the driver's
        // memory of the last write, which a camera that reset itself belies.
        const bool known = control->isVolatile && control->hasValue && control->value == fitted.value;
        if (fitted.refusal.empty() && !known && m_device.write(kept.id, fitted.value) == ControlWrite::Applied)
            written.push_back(kept.id);
    });
    return written;
}

void KeptCamera::save()
{
    const std::string failure = m_store.save(m_kept);
    std::erase_if(m_problems, [](const std::string& p) { return p.rfind("Not kept: ", 0) == 0; });
    if (!failure.empty())
        m_problems.push_back("Not kept: " + failure + ".");
}

}  // namespace capture
