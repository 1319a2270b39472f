#include "V4l2DeviceControls.h"

#include "V4l2Controls.h"
#include "capture/devices/AutomaticModes.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace capture {
namespace {

// A menu wider than this is not a list anyone reads; the driver is asked for no more entries.
constexpr std::int64_t MaxMenuEntries = 1024;
// Drained per call, so that a driver raising events without end cannot hold the page.
constexpr int MaxEventsPerCall = 512;

std::string fixedText(const char* text, std::size_t size)
{
    return std::string(text, strnlen(text, size));
}

bool isArray(const v4l2_query_ext_ctrl& query)
{
    return query.nr_of_dims > 0 || (query.flags & V4L2_CTRL_FLAG_DYNAMIC_ARRAY);
}

ControlKind kindOf(const v4l2_query_ext_ctrl& query)
{
    if (isArray(query))
        return ControlKind::Compound;
    switch (query.type) {
    case V4L2_CTRL_TYPE_INTEGER:
        return ControlKind::Integer;
    case V4L2_CTRL_TYPE_BOOLEAN:
        return ControlKind::Boolean;
    case V4L2_CTRL_TYPE_MENU:
        return ControlKind::Menu;
    case V4L2_CTRL_TYPE_INTEGER_MENU:
        return ControlKind::IntegerMenu;
    case V4L2_CTRL_TYPE_BUTTON:
        return ControlKind::Button;
    case V4L2_CTRL_TYPE_INTEGER64:
        return ControlKind::Integer64;
    case V4L2_CTRL_TYPE_BITMASK:
        return ControlKind::Bitmask;
    case V4L2_CTRL_TYPE_STRING:
        return ControlKind::String;
    default:
        return ControlKind::Compound;
    }
}

std::string elementTypeOf(std::uint32_t type)
{
    switch (type) {
    case V4L2_CTRL_TYPE_INTEGER:
        return "s32";
    case V4L2_CTRL_TYPE_BOOLEAN:
        return "bool";
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU:
        return "menu";
    case V4L2_CTRL_TYPE_INTEGER64:
        return "s64";
    case V4L2_CTRL_TYPE_BITMASK:
        return "bitmask";
    case V4L2_CTRL_TYPE_STRING:
        return "string";
    case V4L2_CTRL_TYPE_U8:
        return "u8";
    case V4L2_CTRL_TYPE_U16:
        return "u16";
    case V4L2_CTRL_TYPE_U32:
        return "u32";
    case V4L2_CTRL_TYPE_AREA:
        return "area";
    default: {
        char text[24];
        std::snprintf(text, sizeof text, "type 0x%04x", type);
        return text;
    }
    }
}

// Where a driver announces no class control, the class is named as the framework names it.
std::string fallbackSection(std::uint32_t id)
{
    switch (V4L2_CTRL_ID2CLASS(id)) {
    case V4L2_CTRL_CLASS_USER:
        return "User Controls";
    case V4L2_CTRL_CLASS_CAMERA:
        return "Camera Controls";
    default:
        return "Controls";
    }
}

bool isSingleValue(ControlKind kind)
{
    return kind != ControlKind::Integer64 && kind != ControlKind::String && kind != ControlKind::Compound;
}

// One control of the extended ioctls, for the 64-bit and text values the single ones lack.
int extended(const V4l2File& file, unsigned long request, std::uint32_t which, v4l2_ext_control& control)
{
    v4l2_ext_controls controls{};
    controls.which = which;
    controls.count = 1;
    controls.controls = &control;
    return file.ioctl(request, &controls);
}

void readValue(const V4l2File& file, const v4l2_query_ext_ctrl& query, DeviceControl& control)
{
    if (control.writeOnly || control.kind == ControlKind::Button || control.kind == ControlKind::Compound)
        return;
    if (isSingleValue(control.kind)) {
        std::int32_t value = 0;
        if (readControl(file, control.id, value) == 0) {
            control.value = value;
            control.hasValue = true;
        }
        return;
    }
    v4l2_ext_control ext{};
    ext.id = control.id;
    if (control.kind == ControlKind::Integer64) {
        if (extended(file, VIDIOC_G_EXT_CTRLS, V4L2_CTRL_WHICH_CUR_VAL, ext) == 0) {
            control.value = ext.value64;
            control.hasValue = true;
        }
        return;
    }
    // A string's maximum is its length without the terminating zero.
    std::vector<char> text(static_cast<std::size_t>(std::clamp<std::int64_t>(query.maximum, 0, 1 << 20)) + 1, '\0');
    ext.size = static_cast<std::uint32_t>(text.size());
    ext.string = text.data();
    if (extended(file, VIDIOC_G_EXT_CTRLS, V4L2_CTRL_WHICH_CUR_VAL, ext) == 0) {
        control.text = fixedText(text.data(), text.size());
        control.hasValue = true;
    }
    std::fill(text.begin(), text.end(), '\0');
    ext = {};
    ext.id = control.id;
    ext.size = static_cast<std::uint32_t>(text.size());
    ext.string = text.data();
    if (extended(file, VIDIOC_G_EXT_CTRLS, V4L2_CTRL_WHICH_DEF_VAL, ext) == 0)
        control.defaultText = fixedText(text.data(), text.size());
}

void readMenu(const V4l2File& file, DeviceControl& control)
{
    const std::int64_t last = std::min(control.maximum, control.minimum + MaxMenuEntries - 1);
    for (std::int64_t index = std::max<std::int64_t>(control.minimum, 0); index <= last; ++index) {
        v4l2_querymenu entry{};
        entry.id = control.id;
        entry.index = static_cast<std::uint32_t>(index);
        // Holes answer EINVAL: the driver does not offer that entry.
        if (file.ioctl(VIDIOC_QUERYMENU, &entry) != 0)
            continue;
        control.menu.push_back({index, control.kind == ControlKind::IntegerMenu
                                           ? std::to_string(static_cast<long long>(entry.value))
                                           : fixedText(reinterpret_cast<const char*>(entry.name), sizeof entry.name)});
    }
}

DeviceControl describe(const V4l2File& file, const v4l2_query_ext_ctrl& query, const std::string& section)
{
    DeviceControl control;
    control.id = query.id;
    control.kind = kindOf(query);
    control.name = fixedText(query.name, sizeof query.name);
    control.key = controlKey(control.name);
    control.section = section;
    control.minimum = query.minimum;
    control.maximum = query.maximum;
    control.step = query.step;
    control.defaultValue = query.default_value;
    control.readOnly = query.flags & V4L2_CTRL_FLAG_READ_ONLY;
    control.writeOnly = query.flags & V4L2_CTRL_FLAG_WRITE_ONLY;
    control.inactive = query.flags & V4L2_CTRL_FLAG_INACTIVE;
    control.grabbed = query.flags & V4L2_CTRL_FLAG_GRABBED;
    control.isVolatile = query.flags & V4L2_CTRL_FLAG_VOLATILE;
    control.automaticMode = isAutomaticMode(query.id) || (query.flags & V4L2_CTRL_FLAG_UPDATE);
    if (control.kind == ControlKind::Compound) {
        control.elementType = elementTypeOf(query.type);
        for (std::uint32_t dimension = 0; dimension < std::min<std::uint32_t>(query.nr_of_dims, V4L2_CTRL_MAX_DIMS); ++dimension)
            control.dimensions.push_back(query.dims[dimension]);
        if (control.dimensions.empty())
            control.dimensions.push_back(std::max<std::uint32_t>(query.elems, 1));
    }
    if (control.kind == ControlKind::Menu || control.kind == ControlKind::IntegerMenu)
        readMenu(file, control);
    readValue(file, query, control);
    return control;
}

ControlWrite outcome(int error, bool inactive)
{
    switch (error) {
    case 0:
        return ControlWrite::Applied;
    case EBUSY:
        return ControlWrite::Busy;
    case EACCES:
    case EPERM:
        // uvcvideo refuses a manual control while its automatic mode is on.
        return inactive ? ControlWrite::AutomaticIsOn : ControlWrite::ReadOnly;
    case ERANGE:
    case EINVAL:
    case ENOSPC:
    case EILSEQ:
        return ControlWrite::OutOfRange;
    case ENODEV:
    case ENXIO:
        return ControlWrite::Gone;
    default:
        return ControlWrite::NoAnswer;
    }
}

}  // namespace

V4l2DeviceControls::V4l2DeviceControls(const V4l2File& file) : m_file(file) {}

V4l2DeviceControls::~V4l2DeviceControls()
{
    unwatch();
}

std::vector<DeviceControl> V4l2DeviceControls::list()
{
    std::vector<DeviceControl> controls;
    std::map<std::uint32_t, std::string> sections;  // by class
    v4l2_query_ext_ctrl found{};
    std::uint32_t last = 0;
    while (queryControl(m_file, last | V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND, found) == 0) {
        // The enumeration must move forward; a driver that repeats itself would loop forever.
        if (found.id <= last && last != 0)
            break;
        last = found.id;
        if (found.type == V4L2_CTRL_TYPE_CTRL_CLASS) {
            sections[V4L2_CTRL_ID2CLASS(found.id)] = fixedText(found.name, sizeof found.name);
            continue;
        }
        if (found.flags & V4L2_CTRL_FLAG_DISABLED)
            continue;
        const auto named = sections.find(V4L2_CTRL_ID2CLASS(found.id));
        controls.push_back(describe(m_file, found, named != sections.end() ? named->second : fallbackSection(found.id)));
        m_kinds[found.id] = controls.back().kind;
    }
    return controls;
}

std::optional<DeviceControl> V4l2DeviceControls::read(std::uint32_t id)
{
    v4l2_query_ext_ctrl found{};
    if (queryControl(m_file, id, found) != 0 || found.id != id || (found.flags & V4L2_CTRL_FLAG_DISABLED)
        || found.type == V4L2_CTRL_TYPE_CTRL_CLASS)
        return std::nullopt;
    v4l2_query_ext_ctrl announced{};
    const std::uint32_t classId = V4L2_CTRL_ID2CLASS(id) | 1;
    const bool hasClass = queryControl(m_file, classId, announced) == 0 && announced.type == V4L2_CTRL_TYPE_CTRL_CLASS;
    DeviceControl control = describe(m_file, found, hasClass ? fixedText(announced.name, sizeof announced.name) : fallbackSection(id));
    m_kinds[id] = control.kind;
    return control;
}

std::optional<ControlKind> V4l2DeviceControls::kindOf(std::uint32_t id)
{
    if (const auto known = m_kinds.find(id); known != m_kinds.end())
        return known->second;
    v4l2_query_ext_ctrl found{};
    if (queryControl(m_file, id, found) != 0 || found.id != id)
        return std::nullopt;
    return m_kinds[id] = capture::kindOf(found);
}

ControlWrite V4l2DeviceControls::refusal(std::uint32_t id, int error)
{
    // Why is read from the control's flags as they are now.
    v4l2_query_ext_ctrl found{};
    if (queryControl(m_file, id, found) != 0 || found.id != id || (found.flags & V4L2_CTRL_FLAG_DISABLED))
        return ControlWrite::Gone;
    if (found.flags & V4L2_CTRL_FLAG_READ_ONLY)
        return ControlWrite::ReadOnly;
    return outcome(error, found.flags & V4L2_CTRL_FLAG_INACTIVE);
}

// A put is one write: a control's kind never changes, so it is looked up once, and the flags
// are read only when the driver refuses, to say why.
ControlWrite V4l2DeviceControls::write(std::uint32_t id, std::int64_t value)
{
    const auto kind = kindOf(id);
    if (!kind)
        return ControlWrite::Gone;
    if (*kind == ControlKind::Compound || *kind == ControlKind::String)
        return ControlWrite::OutOfRange;
    int error;
    if (*kind == ControlKind::Integer64) {
        v4l2_ext_control ext{};
        ext.id = id;
        ext.value64 = value;
        error = extended(m_file, VIDIOC_S_EXT_CTRLS, V4L2_CTRL_WHICH_CUR_VAL, ext);
    } else {
        // A 32-bit control takes no value outside 32 bits: refused here rather than wrapped.
        if (*kind != ControlKind::Bitmask && (value < INT32_MIN || value > INT32_MAX))
            return ControlWrite::OutOfRange;
        if (*kind == ControlKind::Bitmask && (value < 0 || value > UINT32_MAX))
            return ControlWrite::OutOfRange;
        error = writeControl(m_file, id, static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
    }
    return error == 0 ? ControlWrite::Applied : refusal(id, error);
}

std::optional<std::int64_t> V4l2DeviceControls::value(std::uint32_t id)
{
    const auto kind = kindOf(id);
    if (!kind || *kind == ControlKind::String || *kind == ControlKind::Compound || *kind == ControlKind::Button)
        return std::nullopt;
    if (*kind == ControlKind::Integer64) {
        v4l2_ext_control ext{};
        ext.id = id;
        if (extended(m_file, VIDIOC_G_EXT_CTRLS, V4L2_CTRL_WHICH_CUR_VAL, ext) != 0)
            return std::nullopt;
        return std::int64_t{ext.value64};
    }
    std::int32_t current = 0;
    if (readControl(m_file, id, current) != 0)
        return std::nullopt;
    return *kind == ControlKind::Bitmask ? std::int64_t(static_cast<std::uint32_t>(current)) : current;
}

ControlWrite V4l2DeviceControls::writeText(std::uint32_t id, const std::string& text)
{
    v4l2_query_ext_ctrl found{};
    if (queryControl(m_file, id, found) != 0 || found.id != id || (found.flags & V4L2_CTRL_FLAG_DISABLED))
        return ControlWrite::Gone;
    if (capture::kindOf(found) != ControlKind::String)
        return ControlWrite::OutOfRange;
    if (found.flags & V4L2_CTRL_FLAG_READ_ONLY)
        return ControlWrite::ReadOnly;
    if (static_cast<std::int64_t>(text.size()) > found.maximum || text.find('\0') != std::string::npos)
        return ControlWrite::OutOfRange;
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    v4l2_ext_control ext{};
    ext.id = id;
    ext.size = static_cast<std::uint32_t>(buffer.size());
    ext.string = buffer.data();
    return outcome(extended(m_file, VIDIOC_S_EXT_CTRLS, V4L2_CTRL_WHICH_CUR_VAL, ext),
                   found.flags & V4L2_CTRL_FLAG_INACTIVE);
}

int V4l2DeviceControls::watch(const std::vector<std::uint32_t>& ids)
{
    unwatch();
    for (const std::uint32_t id : ids) {
        v4l2_event_subscription subscription{};
        subscription.type = V4L2_EVENT_CTRL;
        subscription.id = id;
        // Our own writes too: a write to an automatic mode changes its partners' flags, and the
        // framework reports those to the writer only with feedback allowed.
        subscription.flags = V4L2_EVENT_SUB_FL_ALLOW_FEEDBACK;
        if (m_file.ioctl(VIDIOC_SUBSCRIBE_EVENT, &subscription) == 0)
            m_watching = true;
    }
    return m_watching ? m_file.pollDescriptor() : -1;
}

void V4l2DeviceControls::unwatch()
{
    if (!m_watching)
        return;
    v4l2_event_subscription all{};
    all.type = V4L2_EVENT_ALL;
    m_file.ioctl(VIDIOC_UNSUBSCRIBE_EVENT, &all);
    m_watching = false;
}

std::vector<std::uint32_t> V4l2DeviceControls::changes()
{
    std::vector<std::uint32_t> changed;
    if (!m_watching)
        return changed;
    v4l2_event event{};
    for (int count = 0; count < MaxEventsPerCall && m_file.ioctl(VIDIOC_DQEVENT, &event) == 0; ++count) {
        if (event.type == V4L2_EVENT_CTRL && std::find(changed.begin(), changed.end(), event.id) == changed.end())
            changed.push_back(event.id);
        event = {};
    }
    return changed;
}

std::vector<std::pair<std::uint32_t, ControlWrite>> V4l2DeviceControls::resetToDefaults()
{
    std::map<std::uint32_t, ControlWrite> results;
    const auto atDefault = [](const DeviceControl& control) {
        return control.kind == ControlKind::String ? control.text == control.defaultText
                                                   : control.value == control.defaultValue;
    };
    const auto settable = [](const DeviceControl& control) {
        return control.writable() && control.kind != ControlKind::Button && control.hasValue;
    };
    const auto reset = [&](const DeviceControl& control) {
        results[control.id] = control.kind == ControlKind::String ? writeText(control.id, control.defaultText)
                                                                   : write(control.id, control.defaultValue);
    };

    std::vector<DeviceControl> controls = list();
    for (const auto& control : controls)
        if (settable(control) && !control.automaticMode && !atDefault(control))
            reset(control);
    for (const auto& control : controls)
        if (settable(control) && control.automaticMode && !atDefault(control))
            reset(control);
    // A manual value its automatic mode overrode until now (or held the old value under it)
    // is written again once the modes are back.
    for (const auto& control : list())
        if (settable(control) && !control.automaticMode && !control.inactive && !atDefault(control)
            && !control.isVolatile)
            reset(control);

    std::vector<std::pair<std::uint32_t, ControlWrite>> refused;
    for (const auto& control : controls) {
        const auto result = results.find(control.id);
        // Under an automatic mode that stays on, a manual value is the mode's to set.
        if (result != results.end() && result->second != ControlWrite::Applied
            && result->second != ControlWrite::AutomaticIsOn)
            refused.emplace_back(control.id, result->second);
    }
    return refused;
}

}  // namespace capture
