#include "FakeV4l2Device.h"
#include "FakeV4l2Standards.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

namespace capture {
namespace {

template <std::size_t N>
void copyText(std::uint8_t (&target)[N], const std::string& text)
{
    std::memset(target, 0, N);
    std::memcpy(target, text.data(), std::min(text.size(), N - 1));
}

template <std::size_t N>
void copyText(char (&target)[N], const std::string& text)
{
    std::memset(target, 0, N);
    std::memcpy(target, text.data(), std::min(text.size(), N - 1));
}

bool isMenu(std::uint32_t type)
{
    return type == V4L2_CTRL_TYPE_MENU || type == V4L2_CTRL_TYPE_INTEGER_MENU;
}

// What the framework enumerates with NEXT_COMPOUND: arrays and compound types.
bool isCompound(const FakeV4l2Hardware::Control& control)
{
    return !control.dimensions.empty() || control.type >= V4L2_CTRL_COMPOUND_TYPES;
}

// What the single-value ioctls (G_CTRL, S_CTRL) cannot carry.
bool isWide(const FakeV4l2Hardware::Control& control)
{
    return isCompound(control) || control.type == V4L2_CTRL_TYPE_INTEGER64 || control.type == V4L2_CTRL_TYPE_STRING;
}

std::uint32_t elementCount(const FakeV4l2Hardware::Control& control)
{
    std::uint32_t count = 1;
    for (const std::uint32_t dimension : control.dimensions)
        count *= dimension;
    return count;
}

std::uint32_t elementSize(const FakeV4l2Hardware::Control& control)
{
    if (control.type >= V4L2_CTRL_COMPOUND_TYPES)
        return control.elementSize;
    if (control.type == V4L2_CTRL_TYPE_STRING)
        return static_cast<std::uint32_t>(control.maximum) + 1;
    return control.type == V4L2_CTRL_TYPE_INTEGER64 ? sizeof(std::int64_t) : sizeof(std::int32_t);
}

std::string defaultText(const FakeV4l2Hardware::Control& control)
{
    return std::string(static_cast<std::size_t>(std::max<std::int64_t>(control.minimum, 0)), ' ');
}

// The control framework's rounding of an integer control: half a step up, clamp, then down
// to the step grid counted from the minimum; near the maximum it takes the maximum first,
// which the grid may then round below.
std::int64_t roundToRange(std::int64_t value, const FakeV4l2Hardware::Control& control)
{
    const std::int64_t step = std::max(1, control.step);
    if (control.maximum >= 0 && value >= control.maximum - step / 2)
        value = control.maximum;
    else if (value <= std::numeric_limits<std::int64_t>::max() - step / 2)
        value += step / 2;
    value = std::clamp<std::int64_t>(value, control.minimum, control.maximum);
    // Unsigned: the distance across a full 64-bit range does not fit a signed number.
    const std::uint64_t offset = (static_cast<std::uint64_t>(value) - static_cast<std::uint64_t>(control.minimum))
        / static_cast<std::uint64_t>(step) * static_cast<std::uint64_t>(step);
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(control.minimum) + offset);
}

std::uint32_t distance(std::uint32_t a, std::uint32_t b)
{
    return a > b ? a - b : b - a;
}

std::int64_t monotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::uint32_t pageAligned(std::uint32_t size)
{
    const auto page = static_cast<std::uint32_t>(sysconf(_SC_PAGESIZE));
    return (size + page - 1) / page * page;
}

// videobuf2 wants room for at least one plane with the multi-planar buffer type.
bool planesFit(const v4l2_buffer& buffer)
{
    return buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE || (buffer.m.planes && buffer.length >= 1);
}

constexpr std::uint32_t maxBuffers = 32;  // videobuf2's VB2_MAX_FRAME

constexpr unsigned long knownRequests[] = {
    VIDIOC_QUERYCAP, VIDIOC_ENUMINPUT, VIDIOC_G_INPUT, VIDIOC_S_INPUT, VIDIOC_G_STD, VIDIOC_S_STD,
    VIDIOC_QUERYCTRL, VIDIOC_QUERY_EXT_CTRL, VIDIOC_QUERYMENU, VIDIOC_G_CTRL, VIDIOC_S_CTRL,
    VIDIOC_G_EXT_CTRLS, VIDIOC_S_EXT_CTRLS, VIDIOC_TRY_EXT_CTRLS, VIDIOC_ENUM_FMT, VIDIOC_ENUM_FRAMESIZES,
    VIDIOC_ENUM_FRAMEINTERVALS, VIDIOC_G_FMT, VIDIOC_TRY_FMT, VIDIOC_S_FMT, VIDIOC_G_PARM, VIDIOC_S_PARM,
    VIDIOC_REQBUFS, VIDIOC_QUERYBUF, VIDIOC_QBUF, VIDIOC_DQBUF, VIDIOC_G_TUNER, VIDIOC_S_TUNER,
    VIDIOC_G_FREQUENCY, VIDIOC_S_FREQUENCY, VIDIOC_STREAMON, VIDIOC_STREAMOFF, VIDIOC_G_PRIORITY, VIDIOC_S_PRIORITY,
    VIDIOC_ENUMAUDIO, VIDIOC_G_AUDIO, VIDIOC_S_AUDIO, VIDIOC_ENUM_FREQ_BANDS, VIDIOC_ENUMSTD, VIDIOC_QUERYSTD,
    VIDIOC_SUBSCRIBE_EVENT, VIDIOC_UNSUBSCRIBE_EVENT, VIDIOC_DQEVENT,
};

// The control framework's names of the classes these cards use.
const char* className(std::uint32_t controlClass)
{
    switch (controlClass) {
    case V4L2_CTRL_CLASS_USER:
        return "User Controls";
    case V4L2_CTRL_CLASS_CAMERA:
        return "Camera Controls";
    case V4L2_CTRL_CLASS_IMAGE_SOURCE:
        return "Image Source Controls";
    case V4L2_CTRL_CLASS_IMAGE_PROC:
        return "Image Processing Controls";
    default:
        return "Controls";
    }
}

}  // namespace

FakeV4l2Device::FakeV4l2Device(FakeV4l2Hardware hardware) : m_hw(std::move(hardware))
{
    std::sort(m_hw.controls.begin(), m_hw.controls.end(),
              [](const auto& a, const auto& b) { return a.id < b.id; });
    for (auto& control : m_hw.controls)
        if (control.type == V4L2_CTRL_TYPE_STRING && control.text.empty())
            control.text = defaultText(control);
    // The framework adds a class control, read- and write-only, ahead of each class's first control.
    for (const auto& control : m_hw.controls) {
        const std::uint32_t controlClass = V4L2_CTRL_ID2CLASS(control.id);
        if (!m_classes.empty() && m_classes.back().id == (controlClass | 1))
            continue;
        FakeV4l2Hardware::Control announced;
        announced.id = controlClass | 1;
        announced.type = V4L2_CTRL_TYPE_CTRL_CLASS;
        announced.name = className(controlClass);
        announced.step = 0;
        announced.flags = V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY;
        m_classes.push_back(announced);
    }
    for (const auto& tuner : m_hw.tuners)
        m_frequencies.push_back(std::clamp(tuner.frequency, tuner.rangeLow, tuner.rangeHigh));
    if (m_hw.standards)
        m_standard = (m_hw.standards & V4L2_STD_PAL_BG) ? V4L2_STD_PAL_BG : (m_hw.standards & -m_hw.standards);

    m_format.pixelformat = V4L2_PIX_FMT_YUYV;
    m_format.width = 640;
    m_format.height = 480;
    refitFormat();
}

// What a driver does on an input or standard change: a format the input still offers keeps
// its pixel format and size (a TV decoder's size follows the standard); otherwise the input's
// first format at its first size.
void FakeV4l2Device::refitFormat()
{
    const auto& formats = inputFormats();
    const auto* kept = findFormat(m_format.pixelformat);
    const bool sizeKept = kept
        && (kept->stepwise || std::any_of(kept->sizes.begin(), kept->sizes.end(), [&](const auto& size) {
               return size.width == m_format.width && size.height == m_format.height;
           }));
    if (kept && kept->sizes.empty() && !kept->stepwise) {
        m_format.width = is525Lines() ? 640 : 768;
        m_format.height = is525Lines() ? 480 : 576;
    } else if (!sizeKept) {
        m_format.pixelformat = formats.empty() ? V4L2_PIX_FMT_YUYV : formats.front().fourcc;
        m_format.width = 640;
        m_format.height = 480;
        if (!formats.empty() && !formats.front().sizes.empty()) {
            m_format.width = formats.front().sizes.front().width;
            m_format.height = formats.front().sizes.front().height;
        } else if (!formats.empty() && !formats.front().stepwise) {
            m_format.width = is525Lines() ? 640 : 768;
            m_format.height = is525Lines() ? 480 : 576;
        }
    }
    if (!formats.empty())
        tryPixFormat(m_format);
    m_interval = firstInterval();
}

FakeV4l2Device::~FakeV4l2Device()
{
    freeBuffers();
}

int FakeV4l2Device::handle(int file, unsigned long request, void* argument)
{
    if (m_keepLog)
        m_requests.push_back(request);
    if (m_unplugged)
        return ENODEV;
    // The kernel copies the argument in before it looks at it: a known request without one
    // answers EFAULT; an unknown one ENOTTY whatever it carries.
    if (!argument)
        return std::find(std::begin(knownRequests), std::end(knownRequests), request) != std::end(knownRequests) ? EFAULT : ENOTTY;
    // A node without a tuner has no tuner requests at all.
    if (m_hw.tuners.empty()
        && (request == VIDIOC_G_TUNER || request == VIDIOC_S_TUNER || request == VIDIOC_G_FREQUENCY || request == VIDIOC_S_FREQUENCY
            || request == VIDIOC_ENUM_FREQ_BANDS))
        return ENOTTY;
    if (const int refused = privilege(file, request))
        return refused;

    switch (request) {
    case VIDIOC_G_PRIORITY:
        *static_cast<std::uint32_t*>(argument) = priority();
        return 0;
    case VIDIOC_S_PRIORITY:
        return setPriority(file, *static_cast<std::uint32_t*>(argument));
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS:
    case VIDIOC_TRY_EXT_CTRLS:
        return extendedControls(file, request, *static_cast<v4l2_ext_controls*>(argument));
    case VIDIOC_SUBSCRIBE_EVENT:
        return subscribeEvent(file, *static_cast<v4l2_event_subscription*>(argument));
    case VIDIOC_UNSUBSCRIBE_EVENT:
        // The core answers 0 whether or not the file held the subscription.
        m_events.unsubscribe(file, *static_cast<v4l2_event_subscription*>(argument));
        return 0;
    case VIDIOC_DQEVENT:
        return m_events.dequeue(file, *static_cast<v4l2_event*>(argument));
    case VIDIOC_ENUMSTD:
        return enumerateStandard(*static_cast<v4l2_standard*>(argument));
    case VIDIOC_QUERYSTD:
        return queryStandard(*static_cast<v4l2_std_id*>(argument));
    case VIDIOC_ENUMAUDIO:
        return audioInput(*static_cast<v4l2_audio*>(argument), false);
    case VIDIOC_G_AUDIO:
        return audioInput(*static_cast<v4l2_audio*>(argument), true);
    case VIDIOC_S_AUDIO: {
        // The audio input follows the video input on these cards.
        const auto& audio = *static_cast<v4l2_audio*>(argument);
        return audio.index == m_input && audio.index < m_hw.audioInputs.size() ? 0 : EINVAL;
    }
    case VIDIOC_ENUM_FREQ_BANDS: {
        // The core answers for drivers with one band: the tuner's range.
        auto& band = *static_cast<v4l2_frequency_band*>(argument);
        const auto* tuner = findTuner(band.tuner);
        if (!tuner || band.index != 0 || band.type != tuner->type)
            return EINVAL;
        band = {band.tuner, band.type, 0, tuner->capability | V4L2_TUNER_CAP_FREQ_BANDS, tuner->rangeLow, tuner->rangeHigh,
                V4L2_BAND_MODULATION_VSB, {}};
        return 0;
    }
    case VIDIOC_S_TUNER: {
        const auto& tuner = *static_cast<v4l2_tuner*>(argument);
        return findTuner(tuner.index) ? 0 : EINVAL;
    }
    case VIDIOC_QUERYCAP:
        return queryCapabilities(*static_cast<v4l2_capability*>(argument));
    case VIDIOC_ENUMINPUT:
        return enumerateInput(*static_cast<v4l2_input*>(argument));
    case VIDIOC_G_INPUT:
        if (m_hw.inputs.empty())
            return ENOTTY;
        *static_cast<int*>(argument) = static_cast<int>(m_input);
        return 0;
    case VIDIOC_S_INPUT:
        return setInput(*static_cast<int*>(argument));
    case VIDIOC_G_STD:
        return getStandard(*static_cast<v4l2_std_id*>(argument));
    case VIDIOC_S_STD:
        return setStandard(*static_cast<v4l2_std_id*>(argument));
    case VIDIOC_QUERYCTRL:
        return queryControl(*static_cast<v4l2_queryctrl*>(argument));
    case VIDIOC_QUERY_EXT_CTRL:
        return queryExtendedControl(*static_cast<v4l2_query_ext_ctrl*>(argument));
    case VIDIOC_QUERYMENU:
        return queryMenu(*static_cast<v4l2_querymenu*>(argument));
    case VIDIOC_G_CTRL:
        return getControl(*static_cast<v4l2_control*>(argument));
    case VIDIOC_S_CTRL:
        return setControl(*static_cast<v4l2_control*>(argument), file);
    case VIDIOC_ENUM_FMT:
        return enumerateFormat(*static_cast<v4l2_fmtdesc*>(argument));
    case VIDIOC_ENUM_FRAMESIZES:
        return enumerateFrameSize(*static_cast<v4l2_frmsizeenum*>(argument));
    case VIDIOC_ENUM_FRAMEINTERVALS:
        return enumerateFrameInterval(*static_cast<v4l2_frmivalenum*>(argument));
    case VIDIOC_G_FMT:
        return getFormat(*static_cast<v4l2_format*>(argument));
    case VIDIOC_TRY_FMT:
        return tryFormat(*static_cast<v4l2_format*>(argument));
    case VIDIOC_S_FMT: {
        auto& format = *static_cast<v4l2_format*>(argument);
        // videobuf2: no format change while buffers exist.
        if (format.type == captureType() && busy())
            return EBUSY;
        const int error = tryFormat(format);
        if (error == 0) {
            m_format = pixOf(format);
            m_interval = firstInterval();
        }
        return error;
    }
    case VIDIOC_G_PARM:
        return getParameters(*static_cast<v4l2_streamparm*>(argument));
    case VIDIOC_S_PARM:
        return setParameters(*static_cast<v4l2_streamparm*>(argument));
    case VIDIOC_REQBUFS: {
        auto& buffers = *static_cast<v4l2_requestbuffers*>(argument);
        const int error = requestBuffers(file, buffers);
        if (error == 0 && buffers.count == 0 && m_privileged == file)
            m_privileged = noOwner;
        return error;
    }
    case VIDIOC_QUERYBUF:
        return queryBuffer(*static_cast<v4l2_buffer*>(argument));
    case VIDIOC_QBUF:
        return queueBuffer(file, *static_cast<v4l2_buffer*>(argument));
    case VIDIOC_DQBUF:
        return dequeueBuffer(file, *static_cast<v4l2_buffer*>(argument));
    case VIDIOC_G_TUNER:
        return getTuner(*static_cast<v4l2_tuner*>(argument));
    case VIDIOC_G_FREQUENCY:
        return getFrequency(*static_cast<v4l2_frequency*>(argument));
    case VIDIOC_S_FREQUENCY:
        return setFrequency(*static_cast<v4l2_frequency*>(argument));
    case VIDIOC_STREAMON:
        return streamOn(file, *static_cast<std::uint32_t*>(argument));
    case VIDIOC_STREAMOFF:
        return streamOff(file, *static_cast<std::uint32_t*>(argument));
    default:
        return ENOTTY;
    }
}

int FakeV4l2Device::privilege(int file, unsigned long request)
{
    if (!m_hw.privilegedStreaming)
        return 0;
    switch (request) {
    case VIDIOC_S_INPUT:
    case VIDIOC_S_FMT:
    case VIDIOC_S_PARM:
    case VIDIOC_REQBUFS:
    case VIDIOC_STREAMON:
        if (m_privileged != noOwner && m_privileged != file)
            return EBUSY;
        m_privileged = file;
        return 0;
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF:
    case VIDIOC_DQBUF:
    case VIDIOC_STREAMOFF:
        return m_privileged == file ? 0 : EBUSY;
    default:
        return 0;
    }
}

void FakeV4l2Device::closed(int file)
{
    if (m_privileged == file)
        m_privileged = noOwner;
    if (m_owner == file) {
        m_streamOn = false;
        freeBuffers();
        m_owner = noOwner;
    }
    if (m_reader == file)
        m_reader = noOwner;
    m_priorities.erase(file);
    m_events.closed(file);
}

int FakeV4l2Device::audioInput(v4l2_audio& audio, bool current) const
{
    if (m_hw.audioInputs.empty())
        return ENOTTY;
    const std::uint32_t index = current ? m_input : audio.index;
    if (index >= m_hw.audioInputs.size())
        return EINVAL;
    audio = {};
    audio.index = index;
    copyText(audio.name, m_hw.audioInputs[index]);
    audio.capability = V4L2_AUDCAP_STEREO;
    return 0;
}

std::uint32_t FakeV4l2Device::priority() const
{
    std::uint32_t highest = V4L2_PRIORITY_DEFAULT;
    for (const auto& [file, priority] : m_priorities)
        highest = std::max(highest, priority);
    return highest;
}

int FakeV4l2Device::setPriority(int file, std::uint32_t priority)
{
    if (priority > V4L2_PRIORITY_RECORD)
        return EINVAL;
    const auto own = m_priorities.find(file);
    const std::uint32_t mine = own == m_priorities.end() ? std::uint32_t(V4L2_PRIORITY_DEFAULT) : own->second;
    if (this->priority() > mine)
        return EBUSY;
    m_priorities[file] = priority == V4L2_PRIORITY_UNSET ? std::uint32_t(V4L2_PRIORITY_DEFAULT) : priority;
    return 0;
}

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

const FakeV4l2Hardware::Control* FakeV4l2Device::control(std::uint32_t id) const
{
    for (const auto& control : m_hw.controls)
        if (control.id == id)
            return &control;
    return nullptr;
}

std::int32_t FakeV4l2Device::controlValue(std::uint32_t id) const
{
    const auto* found = control(id);
    return found ? static_cast<std::int32_t>(found->value) : 0;
}

std::uint32_t FakeV4l2Device::frequency(std::uint32_t tuner) const
{
    for (std::size_t position = 0; position < m_hw.tuners.size(); ++position)
        if (m_hw.tuners[position].index == tuner)
            return m_frequencies[position];
    return 0;
}

int FakeV4l2Device::count(unsigned long request) const
{
    return static_cast<int>(std::count(m_requests.begin(), m_requests.end(), request));
}

void FakeV4l2Device::clearLog()
{
    m_requests.clear();
    m_writes.clear();
    m_tunes.clear();
}

FakeV4l2Hardware::Control* FakeV4l2Device::findControl(std::uint32_t id)
{
    return const_cast<FakeV4l2Hardware::Control*>(control(id));
}

const FakeV4l2Hardware::Tuner* FakeV4l2Device::findTuner(std::uint32_t index) const
{
    for (const auto& tuner : m_hw.tuners)
        if (tuner.index == index)
            return &tuner;
    return nullptr;
}

const std::vector<FakeV4l2Hardware::PixelFormat>& FakeV4l2Device::inputFormats() const
{
    if (m_input < m_hw.inputs.size() && !m_hw.inputs[m_input].formats.empty())
        return m_hw.inputs[m_input].formats;
    return m_hw.formats;
}

std::uint32_t FakeV4l2Device::captureType() const
{
    return (m_hw.deviceCaps & V4L2_CAP_VIDEO_CAPTURE_MPLANE) ? V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE
                                                           : V4L2_BUF_TYPE_VIDEO_CAPTURE;
}

const FakeV4l2Hardware::PixelFormat* FakeV4l2Device::findFormat(std::uint32_t fourcc) const
{
    for (const auto& format : inputFormats())
        if (format.fourcc == fourcc)
            return &format;
    return nullptr;
}

// The next control or class control by id; both lists are sorted.
const FakeV4l2Hardware::Control* FakeV4l2Device::nextControl(std::uint32_t after) const
{
    const FakeV4l2Hardware::Control* next = nullptr;
    for (const auto* list : {&m_hw.controls, &m_classes}) {
        const auto found = std::find_if(list->begin(), list->end(), [&](const auto& control) { return control.id > after; });
        if (found != list->end() && (!next || found->id < next->id))
            next = &*found;
    }
    return next;
}

const FakeV4l2Hardware::Control* FakeV4l2Device::controlOrClass(std::uint32_t id) const
{
    if (const auto* found = control(id))
        return found;
    for (const auto& announced : m_classes)
        if (announced.id == id)
            return &announced;
    return nullptr;
}

bool FakeV4l2Device::autoIsOn(const FakeV4l2Hardware::Control& control) const
{
    return control.autoId && controlValue(control.autoId) != control.manualValue;
}

std::uint32_t FakeV4l2Device::liveFlags(const FakeV4l2Hardware::Control& control) const
{
    std::uint32_t flags = control.flags;
    // The framework's own flags for a button: it has no value to read.
    if (control.type == V4L2_CTRL_TYPE_BUTTON)
        flags |= V4L2_CTRL_FLAG_WRITE_ONLY | V4L2_CTRL_FLAG_EXECUTE_ON_WRITE;
    if (autoIsOn(control))
        flags |= V4L2_CTRL_FLAG_INACTIVE;
    if (std::find(m_grabbed.begin(), m_grabbed.end(), control.id) != m_grabbed.end())
        flags |= V4L2_CTRL_FLAG_GRABBED;
    return flags;
}

std::uint16_t FakeV4l2Device::signalAt(const FakeV4l2Hardware::Tuner& tuner) const
{
    const double unitsPerMHz = (tuner.capability & V4L2_TUNER_CAP_LOW) ? 16000.0 : 16.0;
    const double megahertz = frequency(tuner.index) / unitsPerMHz;
    for (const double station : m_hw.stationsMHz)
        if (std::fabs(station - megahertz) < 0.3)
            return 0xffff;
    return 0;
}

std::uint32_t FakeV4l2Device::signal() const
{
    if (m_input >= m_hw.inputs.size() || m_hw.inputs[m_input].type != V4L2_INPUT_TYPE_TUNER)
        return 0;
    const auto* tuner = findTuner(m_hw.inputs[m_input].tuner);
    return tuner ? signalAt(*tuner) : 0;
}

bool FakeV4l2Device::receiving() const
{
    if (m_input < m_hw.inputs.size() && m_hw.inputs[m_input].type == V4L2_INPUT_TYPE_TUNER)
        return signal() != 0;
    return true;
}

bool FakeV4l2Device::is525Lines() const
{
    return (m_standard & V4L2_STD_525_60) != 0;
}

int FakeV4l2Device::queryCapabilities(v4l2_capability& capability) const
{
    capability = {};
    copyText(capability.driver, m_hw.driver);
    copyText(capability.card, m_hw.card);
    copyText(capability.bus_info, m_hw.busInfo);
    capability.version = (6u << 16) | (1u << 8);
    // The V4L2 core adds the extended pixel format to every node's capabilities.
    capability.capabilities = m_hw.deviceCaps | m_hw.otherNodeCaps | V4L2_CAP_EXT_PIX_FORMAT;
    if (m_hw.reportsDeviceCaps) {
        capability.capabilities |= V4L2_CAP_DEVICE_CAPS;
        capability.device_caps = m_hw.deviceCaps | V4L2_CAP_EXT_PIX_FORMAT;
    }
    return 0;
}

int FakeV4l2Device::enumerateInput(v4l2_input& input) const
{
    if (input.index >= m_hw.inputs.size())
        return EINVAL;
    const auto& source = m_hw.inputs[input.index];
    const std::uint32_t index = input.index;
    input = {};
    input.index = index;
    copyText(input.name, source.name);
    input.type = source.type;
    input.tuner = source.tuner;
    input.std = source.standards;
    input.capabilities = source.standards ? V4L2_IN_CAP_STD : 0;
    if (input.index < m_hw.audioInputs.size())
        input.audioset = 1u << input.index;
    if (source.type == V4L2_INPUT_TYPE_TUNER) {
        const auto* tuner = findTuner(source.tuner);
        if (!tuner || signalAt(*tuner) == 0)
            input.status = V4L2_IN_ST_NO_SIGNAL;
    }
    return 0;
}

int FakeV4l2Device::setInput(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_hw.inputs.size())
        return EINVAL;
    if (busy() && static_cast<std::uint32_t>(index) != m_input)
        return EBUSY;
    if (static_cast<std::uint32_t>(index) != m_input) {
        m_input = static_cast<std::uint32_t>(index);
        refitFormat();
    }
    return 0;
}

int FakeV4l2Device::getStandard(v4l2_std_id& id) const
{
    if (!m_hw.standards)
        return ENOTTY;
    if (m_input < m_hw.inputs.size() && !m_hw.inputs[m_input].standards)
        return ENODATA;
    id = m_standard;
    return 0;
}

v4l2_std_id FakeV4l2Device::inputStandards() const
{
    return m_input < m_hw.inputs.size() ? m_hw.inputs[m_input].standards : m_hw.standards;
}

int FakeV4l2Device::enumerateStandard(v4l2_standard& standard) const
{
    return m_hw.standards ? capture::enumerateStandard(inputStandards(), standard) : ENOTTY;
}

// The decoder locks to the standard set, when a picture arrives; without one it knows none.
int FakeV4l2Device::queryStandard(v4l2_std_id& id) const
{
    if (!m_hw.standards)
        return ENOTTY;
    if (!inputStandards())
        return ENODATA;
    id = receiving() ? m_standard : V4L2_STD_UNKNOWN;
    return 0;
}

int FakeV4l2Device::setStandard(v4l2_std_id id)
{
    if (!m_hw.standards)
        return ENOTTY;
    const v4l2_std_id supported = id & m_hw.standards;
    if (!supported)
        return EINVAL;
    if (m_input < m_hw.inputs.size() && !m_hw.inputs[m_input].standards)
        return ENODATA;
    // The standard in use may be set again while streaming; another one may not.
    if (busy() && supported != m_standard)
        return EBUSY;
    if (supported != m_standard) {
        m_standard = supported;
        refitFormat();
    }
    return 0;
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

int FakeV4l2Device::enumerateFormat(v4l2_fmtdesc& description) const
{
    if (description.type != captureType() || description.index >= inputFormats().size())
        return EINVAL;
    const auto& format = inputFormats()[description.index];
    const v4l2_fmtdesc asked = description;
    description = {};
    description.index = asked.index;
    description.type = asked.type;
    description.pixelformat = format.fourcc;
    copyText(description.description, format.description);
    description.flags = (format.fourcc == V4L2_PIX_FMT_MJPEG || format.fourcc == V4L2_PIX_FMT_JPEG) ? V4L2_FMT_FLAG_COMPRESSED : 0;
    return 0;
}

int FakeV4l2Device::enumerateFrameSize(v4l2_frmsizeenum& size) const
{
    if (!m_hw.listsFrameSizes)
        return ENOTTY;
    const auto* format = findFormat(size.pixel_format);
    if (!format)
        return EINVAL;
    if (format->stepwise) {
        if (size.index != 0)
            return EINVAL;
        size.type = V4L2_FRMSIZE_TYPE_STEPWISE;
        size.stepwise = *format->stepwise;
        return 0;
    }
    if (size.index >= format->sizes.size())
        return EINVAL;
    size.reserved[0] = size.reserved[1] = 0;
    size.type = V4L2_FRMSIZE_TYPE_DISCRETE;
    size.discrete.width = format->sizes[size.index].width;
    size.discrete.height = format->sizes[size.index].height;
    return 0;
}

int FakeV4l2Device::enumerateFrameInterval(v4l2_frmivalenum& interval) const
{
    if (!m_hw.listsFrameSizes)
        return ENOTTY;
    const auto* format = findFormat(interval.pixel_format);
    if (!format)
        return EINVAL;
    for (const auto& size : format->sizes) {
        if (size.width != interval.width || size.height != interval.height)
            continue;
        if (interval.index >= size.intervals.size())
            return EINVAL;
        interval.reserved[0] = interval.reserved[1] = 0;
        interval.type = V4L2_FRMIVAL_TYPE_DISCRETE;
        interval.discrete = size.intervals[interval.index];
        return 0;
    }
    return EINVAL;
}

int FakeV4l2Device::getFormat(v4l2_format& format) const
{
    if (format.type != captureType())
        return EINVAL;
    setPix(format, m_format);
    return 0;
}

int FakeV4l2Device::tryFormat(v4l2_format& format) const
{
    if (format.type != captureType() || inputFormats().empty())
        return EINVAL;
    v4l2_pix_format pix = pixOf(format);
    tryPixFormat(pix);
    setPix(format, pix);
    return 0;
}

// The single-planar and the one-plane multi-planar description of the same format.
v4l2_pix_format FakeV4l2Device::pixOf(const v4l2_format& format)
{
    if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE)
        return format.fmt.pix;
    const auto& mp = format.fmt.pix_mp;
    v4l2_pix_format pix{};
    pix.width = mp.width;
    pix.height = mp.height;
    pix.pixelformat = mp.pixelformat;
    pix.field = mp.field;
    pix.colorspace = mp.colorspace;
    pix.bytesperline = mp.plane_fmt[0].bytesperline;
    pix.sizeimage = mp.plane_fmt[0].sizeimage;
    return pix;
}

void FakeV4l2Device::setPix(v4l2_format& format, const v4l2_pix_format& pix)
{
    if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE) {
        format.fmt.pix = pix;
        return;
    }
    auto& mp = format.fmt.pix_mp;
    mp = {};
    mp.width = pix.width;
    mp.height = pix.height;
    mp.pixelformat = pix.pixelformat;
    mp.field = pix.field;
    mp.colorspace = pix.colorspace;
    mp.num_planes = 1;
    mp.plane_fmt[0].bytesperline = pix.bytesperline;
    mp.plane_fmt[0].sizeimage = pix.sizeimage;
}

void FakeV4l2Device::tryPixFormat(v4l2_pix_format& pix) const
{
    // Drivers never refuse a format: they answer the nearest one they have.
    const auto* chosen = findFormat(pix.pixelformat);
    if (!chosen)
        chosen = &inputFormats().front();
    pix.pixelformat = chosen->fourcc;

    if (chosen->stepwise) {
        const auto& range = *chosen->stepwise;
        const auto fit = [](std::uint32_t value, std::uint32_t low, std::uint32_t high, std::uint32_t step) {
            value = std::clamp(value, low, high);
            return step > 1 ? low + (value - low) / step * step : value;
        };
        pix.width = fit(pix.width, range.min_width, range.max_width, range.step_width);
        pix.height = fit(pix.height, range.min_height, range.max_height, range.step_height);
    } else if (!chosen->sizes.empty()) {
        const FakeV4l2Hardware::FrameSize* nearest = &chosen->sizes.front();
        for (const auto& size : chosen->sizes)
            if (distance(size.width, pix.width) + distance(size.height, pix.height)
                < distance(nearest->width, pix.width) + distance(nearest->height, pix.height))
                nearest = &size;
        pix.width = nearest->width;
        pix.height = nearest->height;
    } else {
        // A TV decoder: any size up to the full picture of the current standard.
        pix.width = std::clamp<std::uint32_t>(pix.width, 48, is525Lines() ? 640 : 768) & ~1u;
        pix.height = std::clamp<std::uint32_t>(pix.height, 32, is525Lines() ? 480 : 576);
    }
    if (!m_hw.standards)
        pix.field = V4L2_FIELD_NONE;
    else if (pix.field != V4L2_FIELD_INTERLACED_TB && pix.field != V4L2_FIELD_INTERLACED_BT)
        pix.field = m_hw.interlacedField;
    // A decoder that sends each field apart: at most half the standard's lines a buffer.
    if (pix.field == V4L2_FIELD_ALTERNATE)
        pix.height = std::min<std::uint32_t>(pix.height, is525Lines() ? 240 : 288);
    pix.bytesperline = bytesPerLine(pix.pixelformat, pix.width);
    // A compressed frame has no lines; UVC cameras announce their largest frame, often this.
    pix.sizeimage = pix.bytesperline ? pix.bytesperline * pix.height : pix.width * pix.height * 2;
    pix.colorspace = m_hw.standards ? V4L2_COLORSPACE_SMPTE170M : V4L2_COLORSPACE_SRGB;
    pix.priv = 0;
    pix.flags = 0;
    pix.ycbcr_enc = V4L2_YCBCR_ENC_DEFAULT;
    pix.quantization = V4L2_QUANTIZATION_DEFAULT;
    pix.xfer_func = V4L2_XFER_FUNC_DEFAULT;
}

std::uint32_t FakeV4l2Device::bytesPerLine(std::uint32_t fourcc, std::uint32_t width) const
{
    switch (fourcc) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
        return 0;
    case V4L2_PIX_FMT_GREY:
    case V4L2_PIX_FMT_SGRBG8:
    case V4L2_PIX_FMT_SBGGR8:
    case V4L2_PIX_FMT_SGBRG8:
    case V4L2_PIX_FMT_SRGGB8:
        return width;
    default:
        return width * 2;
    }
}

// The intervals listed for the current size, or the standard's frame period on a TV decoder.
v4l2_fract FakeV4l2Device::firstInterval() const
{
    if (const auto* format = findFormat(m_format.pixelformat))
        for (const auto& size : format->sizes)
            if (size.width == m_format.width && size.height == m_format.height && !size.intervals.empty())
                return size.intervals.front();
    if (m_hw.standards)
        return is525Lines() ? v4l2_fract{1001, 30000} : v4l2_fract{1, 25};
    return {1, 30};
}

int FakeV4l2Device::getParameters(v4l2_streamparm& parameters) const
{
    if (parameters.type != captureType())
        return EINVAL;
    parameters.parm.capture = {};
    if (const auto* format = findFormat(m_format.pixelformat)) {
        for (const auto& size : format->sizes) {
            if (size.width == m_format.width && size.height == m_format.height && !size.intervals.empty()) {
                parameters.parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
                parameters.parm.capture.timeperframe = m_interval;
                parameters.parm.capture.readbuffers = (m_hw.deviceCaps & V4L2_CAP_READWRITE) ? 2 : 0;
                return 0;
            }
        }
    }
    if (!m_hw.standards)
        return ENOTTY;
    parameters.parm.capture.timeperframe = firstInterval();
    parameters.parm.capture.readbuffers = (m_hw.deviceCaps & V4L2_CAP_READWRITE) ? 2 : 0;
    return 0;
}

// The nearest listed rate wins, as in the UVC driver; a TV decoder keeps its standard's rate.
int FakeV4l2Device::setParameters(v4l2_streamparm& parameters)
{
    if (parameters.type != captureType())
        return EINVAL;
    const v4l2_fract wanted = parameters.parm.capture.timeperframe;
    if (const auto* format = findFormat(m_format.pixelformat)) {
        for (const auto& size : format->sizes) {
            if (size.width != m_format.width || size.height != m_format.height || size.intervals.empty())
                continue;
            if (m_streamOn)
                return EBUSY;
            if (wanted.numerator && wanted.denominator) {
                const double seconds = double(wanted.numerator) / wanted.denominator;
                const auto gap = [&](const v4l2_fract& f) { return std::fabs(double(f.numerator) / f.denominator - seconds); };
                m_interval = *std::min_element(size.intervals.begin(), size.intervals.end(),
                                               [&](const auto& a, const auto& b) { return gap(a) < gap(b); });
            }
            break;
        }
    }
    return getParameters(parameters);
}

int FakeV4l2Device::getTuner(v4l2_tuner& tuner) const
{
    const auto* found = findTuner(tuner.index);
    if (!found)
        return EINVAL;
    const std::uint32_t index = tuner.index;
    tuner = {};
    tuner.index = index;
    copyText(tuner.name, found->name);
    tuner.type = found->type;
    tuner.capability = found->capability | V4L2_TUNER_CAP_FREQ_BANDS;  // the core adds it
    tuner.rangelow = found->rangeLow;
    tuner.rangehigh = found->rangeHigh;
    tuner.rxsubchans = V4L2_TUNER_SUB_MONO;
    tuner.audmode = V4L2_TUNER_MODE_MONO;
    tuner.signal = signalAt(*found);
    return 0;
}

int FakeV4l2Device::getFrequency(v4l2_frequency& frequency) const
{
    const auto* found = findTuner(frequency.tuner);
    if (!found)
        return EINVAL;
    frequency.type = found->type;
    frequency.frequency = this->frequency(found->index);
    return 0;
}

int FakeV4l2Device::setFrequency(const v4l2_frequency& frequency)
{
    if (m_keepLog)
        m_tunes.push_back(frequency.frequency);
    if (m_tunerHeld)
        return EBUSY;
    for (std::size_t position = 0; position < m_hw.tuners.size(); ++position) {
        const auto& tuner = m_hw.tuners[position];
        if (tuner.index != frequency.tuner)
            continue;
        if (frequency.type != tuner.type)
            return EINVAL;
        // The nearest frequency the tuner can take.
        m_frequencies[position] = std::clamp(frequency.frequency, tuner.rangeLow, tuner.rangeHigh);
        return 0;
    }
    return EINVAL;
}

std::int64_t FakeV4l2Device::intervalNs() const
{
    const v4l2_fract interval = m_interval.denominator ? m_interval : v4l2_fract{1, 30};
    return std::int64_t(interval.numerator) * 1'000'000'000 / interval.denominator;
}

// A frame is done one interval after it began; the first began at STREAMON.
std::int64_t FakeV4l2Device::frameDue(std::uint32_t sequence) const
{
    return m_start + (std::int64_t(sequence) + 1) * intervalNs();
}

bool FakeV4l2Device::isBufferOffset(std::int64_t offset, std::size_t length) const
{
    for (const auto& buffer : m_buffers)
        if (buffer.offset == offset && length <= pageAligned(sizeImage() + m_hw.dataOffset))
            return true;
    return false;
}

void FakeV4l2Device::freeBuffers()
{
    // Mappings made by the caller keep the memory (videobuf2's orphaned buffers).
    if (m_mapped)
        munmap(m_mapped, m_mappedSize);
    if (m_memory >= 0)
        ::close(m_memory);
    m_mapped = nullptr;
    m_mappedSize = 0;
    m_memory = -1;
    m_buffers.clear();
    m_queued.clear();
}

int FakeV4l2Device::requestBuffers(int file, v4l2_requestbuffers& request)
{
    if (request.type != captureType() || request.memory != V4L2_MEMORY_MMAP)
        return EINVAL;
    if ((m_owner != noOwner && m_owner != file) || m_elsewhere || m_reader != noOwner)
        return EBUSY;
    if (m_streamOn)
        return EBUSY;
    request.capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP | V4L2_BUF_CAP_SUPPORTS_ORPHANED_BUFS;
    request.flags = 0;  // no cache hints
    std::memset(request.reserved, 0, sizeof request.reserved);
    freeBuffers();
    m_owner = noOwner;
    if (request.count == 0)
        return 0;

    const std::uint32_t count = std::min(request.count, maxBuffers);
    const std::uint32_t length = pageAligned(sizeImage() + m_hw.dataOffset);
    const int memory = memfd_create("v4l2-buffers", MFD_CLOEXEC);
    if (memory < 0)
        return ENOMEM;
    const std::size_t total = std::size_t(length) * count;
    void* mapped = ftruncate(memory, off_t(total)) == 0 ? mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, memory, 0) : MAP_FAILED;
    if (mapped == MAP_FAILED) {
        ::close(memory);
        return ENOMEM;
    }
    m_memory = memory;
    m_mapped = static_cast<std::uint8_t*>(mapped);
    m_mappedSize = total;
    for (std::uint32_t index = 0; index < count; ++index)
        m_buffers.push_back({Buffer::Dequeued, index * length, 0, 0, 0});
    m_owner = file;
    request.count = count;
    return 0;
}

void FakeV4l2Device::describe(std::uint32_t index, v4l2_buffer& buffer) const
{
    const Buffer& held = m_buffers[index];
    v4l2_plane* const planes = captureType() == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE ? buffer.m.planes : nullptr;
    const bool planesGiven = planes && buffer.length >= 1;
    buffer = {};
    buffer.index = index;
    buffer.type = captureType();
    buffer.memory = V4L2_MEMORY_MMAP;
    if (planes) {
        // One plane: the picture after the driver's data offset.
        buffer.m.planes = planes;
        buffer.length = 1;
        if (planesGiven) {
            planes[0] = {};
            planes[0].m.mem_offset = held.offset;
            planes[0].length = sizeImage() + m_hw.dataOffset;
            planes[0].bytesused = held.bytesUsed ? held.bytesUsed + m_hw.dataOffset : 0;
            planes[0].data_offset = m_hw.dataOffset;
        }
    } else {
        buffer.m.offset = held.offset;
        buffer.length = sizeImage();
    }
    buffer.field = m_format.field;
    if (m_format.field == V4L2_FIELD_ALTERNATE) {
        // The standard's first field first: the top one for 625 lines, the bottom one for 525.
        const bool first = held.sequence % 2 == 0;
        buffer.field = first != is525Lines() ? V4L2_FIELD_TOP : V4L2_FIELD_BOTTOM;
    }
    buffer.flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | V4L2_BUF_FLAG_TSTAMP_SRC_EOF;
    if (held.state == Buffer::Queued)
        buffer.flags |= V4L2_BUF_FLAG_QUEUED;
    if (held.state == Buffer::Done)
        buffer.flags |= V4L2_BUF_FLAG_DONE;
    buffer.bytesused = held.bytesUsed;
    buffer.sequence = held.sequence;
    buffer.timestamp.tv_sec = held.timestamp / 1'000'000'000;
    buffer.timestamp.tv_usec = held.timestamp % 1'000'000'000 / 1000;
}

int FakeV4l2Device::queryBuffer(v4l2_buffer& buffer) const
{
    if (buffer.type != captureType() || buffer.index >= m_buffers.size() || !planesFit(buffer))
        return EINVAL;
    describe(buffer.index, buffer);
    return 0;
}

// The sensor's frames up to `now` go into the queued buffers in order; while none is queued
// they are lost, and the sequence counts them all the same.
void FakeV4l2Device::capture(std::int64_t now)
{
    if (!m_streamOn)
        return;
    while (frameDue(m_sequence) <= now) {
        if (m_hw.picture && !m_hw.picture->delivers(m_sequence)) {
            ++m_sequence;
            continue;
        }
        const auto waiting = std::find_if(m_queued.begin(), m_queued.end(),
                                          [&](std::uint32_t index) { return m_buffers[index].state == Buffer::Queued; });
        if (waiting == m_queued.end()) {
            m_sequence = static_cast<std::uint32_t>((now - m_start) / intervalNs());
            return;
        }
        Buffer& buffer = m_buffers[*waiting];
        std::span<std::uint8_t> target(m_mapped + buffer.offset + m_hw.dataOffset, sizeImage());
        buffer.bytesUsed = m_hw.picture ? static_cast<std::uint32_t>(m_hw.picture->draw(*this, m_sequence, target))
                                        : (std::fill(target.begin(), target.end(), 0), sizeImage());
        buffer.sequence = m_sequence;
        buffer.timestamp = frameDue(m_sequence);
        buffer.state = Buffer::Done;
        ++m_sequence;
    }
}

int FakeV4l2Device::queueBuffer(int file, v4l2_buffer& buffer)
{
    if (buffer.type != captureType() || buffer.memory != V4L2_MEMORY_MMAP || !planesFit(buffer))
        return EINVAL;
    if (m_owner != file)
        return m_owner == noOwner ? EINVAL : EBUSY;
    if (buffer.index >= m_buffers.size() || m_buffers[buffer.index].state != Buffer::Dequeued)
        return EINVAL;
    capture(monotonicNow());
    m_buffers[buffer.index].state = Buffer::Queued;
    m_queued.push_back(buffer.index);
    describe(buffer.index, buffer);
    return 0;
}

int FakeV4l2Device::dequeueBuffer(int file, v4l2_buffer& buffer)
{
    if (buffer.type != captureType() || buffer.memory != V4L2_MEMORY_MMAP || !planesFit(buffer))
        return EINVAL;
    if (m_owner != file)
        return m_owner == noOwner ? EINVAL : EBUSY;
    if (!m_streamOn)
        return EINVAL;
    capture(monotonicNow());
    if (m_queued.empty() || m_buffers[m_queued.front()].state != Buffer::Done)
        return EAGAIN;
    const std::uint32_t index = m_queued.front();
    m_queued.pop_front();
    m_buffers[index].state = Buffer::Dequeued;
    describe(index, buffer);
    return 0;
}

std::optional<std::int64_t> FakeV4l2Device::nextFrameReady(int file) const
{
    if (m_unplugged)
        return 0;
    if (m_reader == file)
        return frameDue(m_sequence);
    if (m_owner != file || !m_streamOn || m_queued.empty())
        return std::nullopt;
    return m_buffers[m_queued.front()].state == Buffer::Done ? m_start : frameDue(m_sequence);
}

int FakeV4l2Device::read(int file, std::span<std::uint8_t> target, std::size_t& bytes)
{
    bytes = 0;
    if (m_unplugged)
        return ENODEV;
    if (!(m_hw.deviceCaps & V4L2_CAP_READWRITE))
        return EINVAL;
    if (m_owner != noOwner || m_elsewhere || (m_reader != noOwner && m_reader != file))
        return EBUSY;
    const std::int64_t now = monotonicNow();
    if (m_reader != file) {
        // The first read starts the capture, as videobuf2's read emulation does.
        m_reader = file;
        m_start = now;
        m_sequence = 0;
    }
    if (frameDue(m_sequence) > now)
        return EAGAIN;
    const auto latest = static_cast<std::uint32_t>((now - m_start) / intervalNs()) - 1;
    m_readFrame.assign(sizeImage(), 0);
    const std::size_t used = m_hw.picture ? m_hw.picture->draw(*this, latest, m_readFrame) : m_readFrame.size();
    bytes = std::min(used, target.size());
    std::copy_n(m_readFrame.begin(), bytes, target.begin());
    m_sequence = latest + 1;
    return 0;
}

int FakeV4l2Device::streamOn(int file, std::uint32_t type)
{
    if (type != captureType())
        return EINVAL;
    if (m_elsewhere || (m_owner != noOwner && m_owner != file))
        return EBUSY;
    if (m_buffers.empty())
        return EINVAL;
    if (m_streamOn)
        return 0;
    if (m_hw.usbBytesPerSecond != 0
        && std::uint64_t(m_format.sizeimage) * 1'000'000'000 / std::uint64_t(intervalNs()) > m_hw.usbBytesPerSecond)
        return ENOSPC;
    m_streamOn = true;
    m_start = monotonicNow();
    m_sequence = 0;
    return 0;
}

int FakeV4l2Device::streamOff(int file, std::uint32_t type)
{
    if (type != captureType())
        return EINVAL;
    if (m_elsewhere || (m_owner != noOwner && m_owner != file))
        return EBUSY;
    // Every buffer comes back to the caller, done or not.
    m_streamOn = false;
    m_queued.clear();
    for (auto& buffer : m_buffers)
        buffer.state = Buffer::Dequeued;
    return 0;
}

}  // namespace capture
