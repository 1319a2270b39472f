// The model's node: its files, priorities, inputs, standards and the requests it takes.

#include "FakeV4l2Rules.h"
#include "FakeV4l2Standards.h"

namespace capture {

using namespace fakev4l2;

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

}  // namespace capture
