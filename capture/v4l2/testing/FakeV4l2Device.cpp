#include "FakeV4l2Device.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

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

// The control framework's rounding of an integer control: half a step up, clamp, then down
// to the step grid counted from the minimum; near the maximum it takes the maximum first,
// which the grid may then round below.
std::int32_t roundToRange(std::int64_t value, const FakeV4l2Hardware::Control& control)
{
    const std::int64_t step = std::max(1, control.step);
    if (control.maximum >= 0 && value >= control.maximum - step / 2)
        value = control.maximum;
    else
        value += step / 2;
    value = std::clamp<std::int64_t>(value, control.minimum, control.maximum);
    const std::int64_t offset = (value - control.minimum) / step * step;
    return static_cast<std::int32_t>(control.minimum + offset);
}

std::uint32_t distance(std::uint32_t a, std::uint32_t b)
{
    return a > b ? a - b : b - a;
}

}  // namespace

FakeV4l2Device::FakeV4l2Device(FakeV4l2Hardware hardware) : m_hw(std::move(hardware))
{
    std::sort(m_hw.controls.begin(), m_hw.controls.end(),
              [](const auto& a, const auto& b) { return a.id < b.id; });
    for (const auto& tuner : m_hw.tuners)
        m_frequencies.push_back(std::clamp(tuner.frequency, tuner.rangeLow, tuner.rangeHigh));
    if (m_hw.standards)
        m_standard = (m_hw.standards & V4L2_STD_PAL_BG) ? V4L2_STD_PAL_BG : (m_hw.standards & -m_hw.standards);

    m_format.pixelformat = m_hw.formats.empty() ? V4L2_PIX_FMT_YUYV : m_hw.formats.front().fourcc;
    m_format.width = 640;
    m_format.height = 480;
    if (!m_hw.formats.empty() && !m_hw.formats.front().sizes.empty()) {
        m_format.width = m_hw.formats.front().sizes.front().width;
        m_format.height = m_hw.formats.front().sizes.front().height;
    }
    m_format.field = V4L2_FIELD_NONE;
}

int FakeV4l2Device::handle(int file, unsigned long request, void* argument)
{
    m_requests.push_back(request);
    if (m_unplugged)
        return ENODEV;

    switch (request) {
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
        return setControl(*static_cast<v4l2_control*>(argument));
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
        if (format.type == V4L2_BUF_TYPE_VIDEO_CAPTURE && streaming())
            return EBUSY;
        const int error = tryFormat(format);
        if (error == 0)
            m_format = format.fmt.pix;
        return error;
    }
    case VIDIOC_G_PARM:
        return getParameters(*static_cast<v4l2_streamparm*>(argument));
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

void FakeV4l2Device::closed(int file)
{
    if (m_streamer == file)
        m_streamer = noStreamer;
}

void FakeV4l2Device::setGrabbed(std::uint32_t id, bool grabbed)
{
    std::erase(m_grabbed, id);
    if (grabbed)
        m_grabbed.push_back(id);
}

void FakeV4l2Device::setStreamingElsewhere(bool streaming)
{
    m_streamer = streaming ? elsewhere : noStreamer;
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
    return found ? found->value : 0;
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

const FakeV4l2Hardware::PixelFormat* FakeV4l2Device::findFormat(std::uint32_t fourcc) const
{
    for (const auto& format : m_hw.formats)
        if (format.fourcc == fourcc)
            return &format;
    return nullptr;
}

const FakeV4l2Hardware::Control* FakeV4l2Device::nextControl(std::uint32_t after) const
{
    for (const auto& control : m_hw.controls)
        if (control.id > after)
            return &control;
    return nullptr;
}

bool FakeV4l2Device::autoIsOn(const FakeV4l2Hardware::Control& control) const
{
    return control.autoId && controlValue(control.autoId) != 0;
}

std::uint32_t FakeV4l2Device::liveFlags(const FakeV4l2Hardware::Control& control) const
{
    std::uint32_t flags = control.flags;
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
    capability.capabilities = m_hw.deviceCaps | m_hw.otherNodeCaps;
    if (m_hw.reportsDeviceCaps) {
        capability.capabilities |= V4L2_CAP_DEVICE_CAPS;
        capability.device_caps = m_hw.deviceCaps;
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
    if (streaming())
        return EBUSY;
    m_input = static_cast<std::uint32_t>(index);
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

int FakeV4l2Device::setStandard(v4l2_std_id id)
{
    if (!m_hw.standards)
        return ENOTTY;
    const v4l2_std_id supported = id & m_hw.standards;
    if (!supported)
        return EINVAL;
    if (m_input < m_hw.inputs.size() && !m_hw.inputs[m_input].standards)
        return ENODATA;
    if (streaming())
        return EBUSY;
    m_standard = supported;
    return 0;
}

// Both query ioctls answer the same description of a control, in fields of their own widths.
template <typename Query>
int FakeV4l2Device::describeControl(Query& query) const
{
    const std::uint32_t wanted = query.id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
    const FakeV4l2Hardware::Control* found =
        (query.id & V4L2_CTRL_FLAG_NEXT_CTRL) ? nextControl(wanted) : control(wanted);
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
        query.elem_size = sizeof(std::int32_t);
        query.elems = 1;
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
    std::uint8_t name[sizeof menu.name];
    copyText(name, found->menu[menu.index]);
    std::memcpy(menu.name, name, sizeof name);
    return 0;
}

int FakeV4l2Device::getControl(v4l2_control& request) const
{
    const auto* found = control(request.id);
    if (!found || (found->flags & V4L2_CTRL_FLAG_DISABLED))
        return EINVAL;
    if (found->flags & V4L2_CTRL_FLAG_WRITE_ONLY)
        return EACCES;
    request.value = found->value;
    return 0;
}

int FakeV4l2Device::setControl(const v4l2_control& request)
{
    const auto finish = [&](int result) {
        m_writes.push_back({request.id, request.value, result});
        return result;
    };
    auto* found = findControl(request.id);
    if (!found || (found->flags & V4L2_CTRL_FLAG_DISABLED))
        return finish(EINVAL);
    if (found->flags & V4L2_CTRL_FLAG_READ_ONLY)
        return finish(EACCES);
    if (liveFlags(*found) & V4L2_CTRL_FLAG_GRABBED)
        return finish(EBUSY);

    std::int32_t value = request.value;
    switch (found->type) {
    case V4L2_CTRL_TYPE_INTEGER:
        value = roundToRange(value, *found);
        break;
    case V4L2_CTRL_TYPE_BOOLEAN:
        value = value != 0;
        break;
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU:
        if (value < found->minimum || value > found->maximum)
            return finish(ERANGE);
        if (static_cast<std::size_t>(value) >= found->menu.size() || found->menu[static_cast<std::size_t>(value)].empty())
            return finish(EINVAL);
        break;
    default:
        return finish(EINVAL);
    }
    // Under its automatic mode the hardware sets the value itself and a write is lost.
    if (!autoIsOn(*found))
        found->value = value;
    return finish(0);
}

int FakeV4l2Device::enumerateFormat(v4l2_fmtdesc& description) const
{
    if (description.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || description.index >= m_hw.formats.size())
        return EINVAL;
    const auto& format = m_hw.formats[description.index];
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
        interval.type = V4L2_FRMIVAL_TYPE_DISCRETE;
        interval.discrete = size.intervals[interval.index];
        return 0;
    }
    return EINVAL;
}

int FakeV4l2Device::getFormat(v4l2_format& format) const
{
    if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return EINVAL;
    format.fmt.pix = m_format;
    return 0;
}

int FakeV4l2Device::tryFormat(v4l2_format& format) const
{
    if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || m_hw.formats.empty())
        return EINVAL;
    auto& pix = format.fmt.pix;
    // Drivers never refuse a format: they answer the nearest one they have.
    const auto* chosen = findFormat(pix.pixelformat);
    if (!chosen)
        chosen = &m_hw.formats.front();
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
    pix.field = m_hw.standards ? V4L2_FIELD_INTERLACED : V4L2_FIELD_NONE;
    pix.bytesperline = pix.width * 2;
    pix.sizeimage = pix.bytesperline * pix.height;
    return 0;
}

int FakeV4l2Device::getParameters(v4l2_streamparm& parameters) const
{
    if (parameters.type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return EINVAL;
    parameters.parm.capture = {};
    if (const auto* format = findFormat(m_format.pixelformat)) {
        for (const auto& size : format->sizes) {
            if (size.width == m_format.width && size.height == m_format.height && !size.intervals.empty()) {
                parameters.parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
                parameters.parm.capture.timeperframe = size.intervals.front();
                return 0;
            }
        }
    }
    if (!m_hw.standards)
        return ENOTTY;
    parameters.parm.capture.timeperframe = is525Lines() ? v4l2_fract{1001, 30000} : v4l2_fract{1, 25};
    return 0;
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
    tuner.capability = found->capability;
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

int FakeV4l2Device::streamOn(int file, std::uint32_t type)
{
    if (type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return EINVAL;
    if (m_streamer != noStreamer && m_streamer != file)
        return EBUSY;
    m_streamer = file;
    return 0;
}

int FakeV4l2Device::streamOff(int file, std::uint32_t type)
{
    if (type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return EINVAL;
    if (m_streamer != noStreamer && m_streamer != file)
        return EBUSY;
    m_streamer = noStreamer;
    return 0;
}

}  // namespace capture
