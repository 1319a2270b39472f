// The model's controls: queries, values, extended controls and their events.

#include "FakeV4l2Rules.h"

namespace capture {

using namespace fakev4l2;

// The control framework's array form. Every control is checked before any is set: that it
// exists and belongs to the class named in `which`, then (try and set) that it is writable and
// its value valid, which is adjusted in place as a set would store it. A failure names the
// control it stopped at in error_idx, or count where the request changed nothing: a get, or a
// set that failed its checks.
int FakeV4l2Device::extendedControls(int file, unsigned long request, v4l2_ext_controls& controls)
{
    if (controls.count && !controls.controls)
        return EFAULT;
    const bool get = request == VIDIOC_G_EXT_CTRLS;
    controls.error_idx = controls.count;
    if (controls.which == V4L2_CTRL_WHICH_REQUEST_VAL || (!get && controls.which == V4L2_CTRL_WHICH_DEF_VAL))
        return EINVAL;  // no media requests here; defaults cannot be changed
    controls.which = V4L2_CTRL_ID2WHICH(controls.which);
    if (controls.count == 0) {
        const bool anyClass = controls.which == V4L2_CTRL_WHICH_CUR_VAL || controls.which == V4L2_CTRL_WHICH_DEF_VAL;
        return anyClass || controlOrClass(controls.which | 1) ? 0 : EINVAL;
    }
    int error = checkExtended(request, controls);
    if (get || (error && request == VIDIOC_S_EXT_CTRLS))
        controls.error_idx = controls.count;
    if (error)
        return error;
    for (std::uint32_t index = 0; index < controls.count; ++index) {
        v4l2_ext_control& wanted = controls.controls[index];
        const auto* found = controlOrClass(wanted.id);
        if (get && isWide(*found)) {
            if ((error = getWide(*found, controls.which == V4L2_CTRL_WHICH_DEF_VAL, wanted))) {
                controls.error_idx = index;
                return error;
            }
            continue;
        }
        if (get) {
            wanted.value = static_cast<std::int32_t>(controls.which == V4L2_CTRL_WHICH_DEF_VAL ? found->defaultValue : found->value);
            continue;
        }
        if (request == VIDIOC_TRY_EXT_CTRLS)
            continue;
        controls.error_idx = index;
        if (isWide(*found)) {
            if ((error = setWide(file, *findControl(wanted.id), wanted)))
                return error;
            continue;
        }
        v4l2_control single{wanted.id, wanted.value};
        if ((error = setControl(single, file)))
            return error;
        wanted.value = single.value;
    }
    return 0;
}

int FakeV4l2Device::checkExtended(unsigned long request, v4l2_ext_controls& controls) const
{
    for (std::uint32_t index = 0; index < controls.count; ++index) {
        controls.error_idx = index;
        const std::uint32_t id = controls.controls[index].id;
        const bool ofClass = controls.which == V4L2_CTRL_WHICH_CUR_VAL || controls.which == V4L2_CTRL_WHICH_DEF_VAL
            || V4L2_CTRL_ID2WHICH(id) == controls.which;
        const auto* found = id < V4L2_CID_PRIVATE_BASE ? controlOrClass(id) : nullptr;  // no old-style private ids
        if (!ofClass || !found || (found->flags & V4L2_CTRL_FLAG_DISABLED))
            return EINVAL;
    }
    if (request == VIDIOC_G_EXT_CTRLS) {
        for (std::uint32_t index = 0; index < controls.count; ++index)
            if (liveFlags(*controlOrClass(controls.controls[index].id)) & V4L2_CTRL_FLAG_WRITE_ONLY)
                return EACCES;
        return 0;
    }
    for (std::uint32_t index = 0; index < controls.count; ++index) {
        controls.error_idx = index;
        v4l2_ext_control& wanted = controls.controls[index];
        const auto& found = *controlOrClass(wanted.id);
        if (found.flags & V4L2_CTRL_FLAG_READ_ONLY)
            return EACCES;
        if (request == VIDIOC_S_EXT_CTRLS && (liveFlags(found) & V4L2_CTRL_FLAG_GRABBED))
            return EBUSY;
        if (found.type == V4L2_CTRL_TYPE_STRING && !isCompound(found)) {
            if (!wanted.string || wanted.size == 0)
                return EFAULT;
            // The framework copies at most maximum + 1 bytes: a longer string is out of range.
            const auto length = static_cast<std::int64_t>(strnlen(wanted.string, wanted.size));
            if (length > found.maximum || length < found.minimum || (length - found.minimum) % std::max(1, found.step))
                return ERANGE;
            continue;
        }
        if (isCompound(found)) {
            if (!wanted.ptr || wanted.size < elementCount(found) * elementSize(found))
                return ENOSPC;
            continue;
        }
        const bool wide = found.type == V4L2_CTRL_TYPE_INTEGER64;
        std::int64_t value = wide ? wanted.value64 : wanted.value;
        if (const int error = validate(found, value))
            return error;
        if (wide)
            wanted.value64 = value;
        else
            wanted.value = static_cast<std::int32_t>(value);
    }
    return 0;
}

int FakeV4l2Device::getWide(const FakeV4l2Hardware::Control& control, bool defaults, v4l2_ext_control& wanted) const
{
    if (control.type == V4L2_CTRL_TYPE_INTEGER64 && !isCompound(control)) {
        wanted.value64 = defaults ? control.defaultValue : control.value;
        return 0;
    }
    // A payload: the caller's buffer must hold all of it, else it learns the size it needs.
    const std::uint32_t size = elementCount(control) * elementSize(control);
    if (wanted.size < size || !wanted.ptr) {
        wanted.size = size;
        return ENOSPC;
    }
    wanted.size = size;
    if (control.type == V4L2_CTRL_TYPE_STRING && !isCompound(control)) {
        const std::string text = defaults ? defaultText(control) : control.text;
        std::memset(wanted.string, 0, size);
        std::memcpy(wanted.string, text.data(), std::min<std::size_t>(text.size(), size - 1));
        return 0;
    }
    std::memset(wanted.ptr, 0, size);
    return 0;
}

// Checked already (checkExtended). Compound contents are not kept: a write takes no effect.
int FakeV4l2Device::setWide(int file, FakeV4l2Hardware::Control& control, v4l2_ext_control& wanted)
{
    if (isCompound(control))
        return 0;
    bool changed = false;
    if (control.type == V4L2_CTRL_TYPE_STRING) {
        const std::string text(wanted.string, strnlen(wanted.string, wanted.size));
        changed = text != control.text;
        control.text = text;
    } else {
        changed = control.value != wanted.value64;
        control.value = wanted.value64;
    }
    if (m_keepLog)
        m_writes.push_back({control.id, control.type == V4L2_CTRL_TYPE_STRING ? 0 : static_cast<std::int32_t>(wanted.value64), 0});
    if (changed)
        m_events.raise(controlEvent(control, V4L2_EVENT_CTRL_CH_VALUE), file);
    return 0;
}

int FakeV4l2Device::subscribeEvent(int file, const v4l2_event_subscription& subscription)
{
    // Only control events: these cards detect no source changes and end no stream.
    const auto* found = subscription.type == V4L2_EVENT_CTRL ? controlOrClass(subscription.id) : nullptr;
    if (!found)
        return EINVAL;
    m_events.subscribe(file, subscription);
    if ((subscription.flags & V4L2_EVENT_SUB_FL_SEND_INITIAL) && found->type != V4L2_CTRL_TYPE_CTRL_CLASS) {
        const std::uint32_t value = (found->flags & V4L2_CTRL_FLAG_WRITE_ONLY) ? 0 : V4L2_EVENT_CTRL_CH_VALUE;
        m_events.raiseFor(file, controlEvent(*found, V4L2_EVENT_CTRL_CH_FLAGS | value));
    }
    return 0;
}

v4l2_event FakeV4l2Device::controlEvent(const FakeV4l2Hardware::Control& control, std::uint32_t changes) const
{
    v4l2_event event{};
    event.type = V4L2_EVENT_CTRL;
    event.id = control.id;
    event.u.ctrl.changes = changes;
    event.u.ctrl.type = control.type;
    event.u.ctrl.flags = liveFlags(control);
    if (control.type == V4L2_CTRL_TYPE_INTEGER64)
        event.u.ctrl.value64 = control.value;
    else if (!isWide(control))
        event.u.ctrl.value = static_cast<std::int32_t>(control.value);
    event.u.ctrl.minimum = control.minimum;
    event.u.ctrl.maximum = control.maximum;
    event.u.ctrl.step = isMenu(control.type) ? 1 : control.step;
    event.u.ctrl.default_value = control.defaultValue;
    return event;
}

void FakeV4l2Device::setGrabbed(std::uint32_t id, bool grabbed)
{
    std::erase(m_grabbed, id);
    if (grabbed)
        m_grabbed.push_back(id);
}

void FakeV4l2Device::setStreamingElsewhere(bool streaming)
{
    m_elsewhere = streaming;
}

// Both query ioctls answer the same description of a control, in fields of their own widths.
template <typename Query>
int FakeV4l2Device::describeControl(Query& query) const
{
    const std::uint32_t wanted = query.id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
    // NEXT_CTRL walks the plain controls, NEXT_COMPOUND the compound ones (arrays included),
    // both together all.
    const bool plain = query.id & V4L2_CTRL_FLAG_NEXT_CTRL, compound = query.id & V4L2_CTRL_FLAG_NEXT_COMPOUND;
    const FakeV4l2Hardware::Control* found = (plain || compound) ? nextControl(wanted) : controlOrClass(wanted);
    while (found && (plain != compound) && isCompound(*found) != compound)
        found = nextControl(found->id);
    if (!found)
        return EINVAL;
    query = {};
    query.id = found->id;
    query.type = found->type;
    copyText(query.name, found->name);
    query.minimum = found->minimum;
    query.maximum = found->maximum;
    query.step = static_cast<decltype(query.step)>(found->step);
    query.default_value = found->defaultValue;
    query.flags = liveFlags(*found);
    return 0;
}

int FakeV4l2Device::queryExtendedControl(v4l2_query_ext_ctrl& query) const
{
    if (!m_hw.hasExtendedQuery)
        return ENOTTY;
    const int result = describeControl(query);
    if (result == 0) {
        const auto& found = *controlOrClass(query.id);
        query.elem_size = query.type == V4L2_CTRL_TYPE_CTRL_CLASS ? 0 : elementSize(found);
        query.elems = elementCount(found);
        query.nr_of_dims = static_cast<std::uint32_t>(std::min<std::size_t>(found.dimensions.size(), V4L2_CTRL_MAX_DIMS));
        std::copy_n(found.dimensions.begin(), query.nr_of_dims, query.dims);
        query.minimum = found.minimum;
        query.maximum = found.maximum;
        query.default_value = found.defaultValue;
        if (isCompound(found) || found.type == V4L2_CTRL_TYPE_STRING)
            query.flags |= V4L2_CTRL_FLAG_HAS_PAYLOAD;
    }
    return result;
}

int FakeV4l2Device::queryControl(v4l2_queryctrl& query) const { return describeControl(query); }

int FakeV4l2Device::queryMenu(v4l2_querymenu& menu) const
{
    const auto* found = control(menu.id);
    if (!found || !isMenu(found->type))
        return EINVAL;
    const auto index = static_cast<std::int64_t>(menu.index);
    if (index < found->minimum || index > found->maximum || menu.index >= found->menu.size()
        || found->menu[menu.index].empty())
        return EINVAL;
    if (found->type == V4L2_CTRL_TYPE_INTEGER_MENU) {
        // An integer menu's entries are numbers, written as text in the hardware's description.
        menu.value = std::stoll(found->menu[menu.index]);
    } else {
        std::uint8_t name[sizeof menu.name];
        copyText(name, found->menu[menu.index]);
        std::memcpy(menu.name, name, sizeof name);
    }
    menu.reserved = 0;
    return 0;
}

int FakeV4l2Device::getControl(v4l2_control& request) const
{
    const auto* found = controlOrClass(request.id);
    if (!found || (found->flags & V4L2_CTRL_FLAG_DISABLED) || isWide(*found))
        return EINVAL;
    if (liveFlags(*found) & V4L2_CTRL_FLAG_WRITE_ONLY)
        return EACCES;
    request.value = static_cast<std::int32_t>(found->value);
    return 0;
}

// The value is written back as stored: clamped and rounded to the step, as the kernel does (or
// left as it was, where the automatic mode keeps it).
int FakeV4l2Device::setControl(v4l2_control& request, int file)
{
    const std::int32_t requested = request.value;
    const auto finish = [&](int result) {
        if (m_keepLog)
            m_writes.push_back({request.id, requested, result});
        return result;
    };
    const auto* announced = controlOrClass(request.id);
    if (!announced || (announced->flags & V4L2_CTRL_FLAG_DISABLED))
        return finish(EINVAL);
    if (announced->flags & V4L2_CTRL_FLAG_READ_ONLY)
        return finish(EACCES);
    auto* found = findControl(request.id);
    if (isWide(*found))
        return finish(EINVAL);
    if (liveFlags(*found) & V4L2_CTRL_FLAG_GRABBED)
        return finish(EBUSY);
    std::int64_t value = request.value;
    if (const int error = validate(*found, value))
        return finish(error);

    // The controls whose automatic mode this one is: their INACTIVE flag may change with it.
    std::vector<std::pair<const FakeV4l2Hardware::Control*, bool>> followers;
    for (const auto& other : m_hw.controls)
        if (other.autoId == found->id)
            followers.emplace_back(&other, autoIsOn(other));
    // Under its automatic mode the hardware sets the value itself and a write is lost.
    if (!autoIsOn(*found) && found->value != value) {
        found->value = value;
        m_events.raise(controlEvent(*found, V4L2_EVENT_CTRL_CH_VALUE), file);
    }
    for (const auto& [follower, wasAuto] : followers)
        if (autoIsOn(*follower) != wasAuto)
            m_events.raise(controlEvent(*follower, V4L2_EVENT_CTRL_CH_FLAGS), noOwner);
    request.value = static_cast<std::int32_t>(found->value);
    return finish(0);
}

int FakeV4l2Device::validate(const FakeV4l2Hardware::Control& control, std::int64_t& value) const
{
    switch (control.type) {
    case V4L2_CTRL_TYPE_INTEGER:
    case V4L2_CTRL_TYPE_INTEGER64:
        value = roundToRange(value, control);
        return 0;
    case V4L2_CTRL_TYPE_BOOLEAN:
        value = value != 0;
        return 0;
    case V4L2_CTRL_TYPE_BITMASK:
        value = static_cast<std::uint32_t>(value) & static_cast<std::uint32_t>(control.maximum);
        return 0;
    case V4L2_CTRL_TYPE_BUTTON:
        value = 0;
        return 0;
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU:
        if (value < control.minimum || value > control.maximum)
            return ERANGE;
        if (static_cast<std::size_t>(value) >= control.menu.size() || control.menu[static_cast<std::size_t>(value)].empty())
            return EINVAL;
        return 0;
    default:
        return EINVAL;
    }
}

}  // namespace capture
