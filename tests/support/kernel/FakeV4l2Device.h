#pragma once

#include "FakeV4l2Events.h"

#include <linux/videodev2.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace capture {

class FakeV4l2Device;

// What the card's sensor or decoder sees: it draws frame `sequence` in the node's current
// format into `target` (sizeimage bytes) and answers the bytes used.
class FakeV4l2Picture {
public:
    virtual ~FakeV4l2Picture() = default;
    virtual std::size_t draw(const FakeV4l2Device& device, std::uint32_t sequence, std::span<std::uint8_t> target) = 0;
    // False for a frame the sensor does not deliver: it is lost, as when no buffer is queued.
    virtual bool delivers(std::uint32_t /*sequence*/) const { return true; }
    // The stream is about to start in the node's current format: whatever drawing a frame
    // needs once (a hardware encoder's tables, say) is done now, not while frames are due.
    virtual void prepare(const FakeV4l2Device& /*device*/) {}
};

// What a fake card is made of: its capabilities, inputs, controls, formats and tuners.
struct FakeV4l2Hardware {
    struct Control {
        std::uint32_t id = 0;
        std::uint32_t type = V4L2_CTRL_TYPE_INTEGER;
        std::string name;
        std::int64_t minimum = 0;
        std::int64_t maximum = 0;       // a string's longest length
        std::int32_t step = 1;
        std::int64_t defaultValue = 0;
        std::int64_t value = 0;
        std::uint32_t flags = 0;        // DISABLED, READ_ONLY, WRITE_ONLY, VOLATILE; INACTIVE and GRABBED follow the state
        std::vector<std::string> menu;  // menu entries by index; an empty name is an entry the driver skips
        std::uint32_t autoId = 0;       // the automatic mode that overrides this control while it is on
        std::int32_t manualValue = 0;   // the value of that mode's control that means "off" (a menu's manual entry)
        std::string text;               // a string's value; its default is `minimum` spaces, as the framework's
        // An array's dimensions (of `type`'s elements), or a compound type's (V4L2_CTRL_TYPE_U8 and
        // up) with the size of one element; their contents are not modelled.
        std::vector<std::uint32_t> dimensions;
        std::uint32_t elementSize = 0;
    };
    struct FrameSize {
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        std::vector<v4l2_fract> intervals;  // seconds per frame: {1, 30} is 30 fps
    };
    struct PixelFormat {
        std::uint32_t fourcc = 0;
        std::string description;
        std::vector<FrameSize> sizes;
        std::optional<v4l2_frmsize_stepwise> stepwise;  // instead of discrete sizes
    };
    struct Input {
        std::string name;
        std::uint32_t type = V4L2_INPUT_TYPE_CAMERA;
        std::uint32_t tuner = 0;
        v4l2_std_id standards = 0;
        // What this input offers, as a capture stick's inputs differ; the node's when empty.
        std::vector<PixelFormat> formats;
    };
    struct Tuner {
        std::uint32_t index = 0;
        std::string name;
        std::uint32_t type = V4L2_TUNER_ANALOG_TV;
        std::uint32_t capability = V4L2_TUNER_CAP_NORM;
        std::uint32_t rangeLow = 0;
        std::uint32_t rangeHigh = 0;
        std::uint32_t frequency = 0;
    };

    std::string driver = "fake";
    std::string card;
    std::string busInfo;
    // V4L2_CAP_VIDEO_CAPTURE_MPLANE instead of _CAPTURE makes a multi-planar node: formats are
    // asked and answered with the _MPLANE buffer type and pix_mp, the single-planar type is EINVAL.
    std::uint32_t deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    std::uint32_t otherNodeCaps = 0;  // what the card's other nodes add to `capabilities`
    bool reportsDeviceCaps = true;
    bool hasExtendedQuery = true;   // VIDIOC_QUERY_EXT_CTRL; older kernels lack it
    bool listsFrameSizes = true;    // most TV cards list neither sizes nor intervals
    // uvcvideo's rule: the first open file that sets the input, format or rate, or asks for
    // buffers or a stream, alone may do so (and queue buffers) until it closes or asks for zero
    // buffers; every other file gets EBUSY for those requests.
    bool privilegedStreaming = false;
    // What the camera's USB connection has room for, in bytes a second (0: anything): a stream
    // whose format needs more (its image size at its rate) fails STREAMON with ENOSPC, as
    // uvcvideo does when no alternate setting of the interface has the bandwidth.
    std::uint64_t usbBytesPerSecond = 0;
    v4l2_std_id standards = 0;      // the node's TV standards; none on a camera
    // What a TV decoder answers for any other layout than the two ordered interlaced ones,
    // which it keeps when asked: INTERLACED leaves the order to the standard (bttv, saa7134,
    // vivid); a decoder that always sends one order says so (INTERLACED_TB or _BT); one that
    // sends each field in a buffer of its own answers ALTERNATE, half the lines a buffer, the
    // standard's first field first; one that stores both in one buffer, a field's lines after
    // the other's, answers SEQ_TB or SEQ_BT (the field stored first taken first).
    std::uint32_t interlacedField = V4L2_FIELD_INTERLACED;

    std::vector<Input> inputs;
    std::vector<Control> controls;
    std::vector<PixelFormat> formats;
    std::vector<Tuner> tuners;
    // Audio inputs (VIDIOC_ENUMAUDIO), for a card with V4L2_CAP_AUDIO; video input n uses audio input n.
    std::vector<std::string> audioInputs;
    // Vision carriers with a station; the tuner reports a full signal within 0.3 MHz of one.
    std::vector<double> stationsMHz;
    // The frames streamed; without one they stay black.
    std::shared_ptr<FakeV4l2Picture> picture;
    // Bytes before the picture in each buffer of a multi-planar node (the plane's data_offset),
    // as vivid puts 128 before YUYV.
    std::uint32_t dataOffset = 0;
};

// One V4L2 node as the kernel presents it, driven through FakeV4l2Io. Behaves as the kernel
// and its control framework do where this program relies on it: enumerations end with EINVAL,
// controls are clamped and rounded to their step, grabbed controls answer EBUSY, read-only
// ones EACCES, a running stream makes input, standard and format changes EBUSY, and unknown
// requests answer ENOTTY. Each class of controls the card has is announced by its class
// control, extended requests are checked against the class they name, and control changes
// reach the files subscribed to them as events. An input or standard change makes the driver
// pick a format the new one offers when the current one is not (the full picture of the
// standard on a TV decoder).
//
// Streaming follows videobuf2 with MMAP buffers: the file that allocates buffers owns the queue
// (others get EBUSY), frames are captured at the chosen interval into queued buffers in order
// and lost (counted in the sequence) while none is queued, timestamps are the monotonic clock
// at the end of the frame. The model never blocks: DQBUF answers EAGAIN until a frame is done,
// and nextFrameReady() says when one will be, so a caller can wait as a blocking file would.
// Buffer memory is a memfd (bufferMemory()), which the caller maps at the buffers' offsets.
class FakeV4l2Device {
public:
    struct ControlWrite {
        std::uint32_t id;
        std::int32_t requested;
        int result;  // 0 or errno
    };

    explicit FakeV4l2Device(FakeV4l2Hardware hardware);
    ~FakeV4l2Device();
    FakeV4l2Device(const FakeV4l2Device&) = delete;
    FakeV4l2Device& operator=(const FakeV4l2Device&) = delete;

    // The kernel side of one ioctl on one open file; 0 or errno.
    int handle(int file, unsigned long request, void* argument);
    // The file was closed: a stream it ran ends.
    void closed(int file);
    // read() on a node that offers it: the newest frame, EAGAIN before the first is done.
    int read(int file, std::span<std::uint8_t> target, std::size_t& bytes);
    // The monotonic time (ns) at which DQBUF or read on `file` will find a frame, when one will.
    std::optional<std::int64_t> nextFrameReady(int file) const;
    // Whether VIDIOC_DQEVENT on `file` finds an event (what poll reports as POLLPRI).
    bool eventPending(int file) const { return m_events.pending(file); }
    // The memfd holding the buffers (-1 before REQBUFS), for mmap at a buffer's offset.
    int bufferMemory() const { return m_memory; }
    bool isBufferOffset(std::int64_t offset, std::size_t length) const;

    // --- driving the device from outside ---------------------------------------------------
    // Another program holds the control (its writes answer EBUSY).
    void setGrabbed(std::uint32_t id, bool grabbed);
    // Another program streams from the node, as v4l2src does.
    void setStreamingElsewhere(bool streaming);
    // Another program holds the tuner (the digital side of a hybrid card, a radio program):
    // frequency changes answer EBUSY.
    void setTunerHeld(bool held) { m_tunerHeld = held; }
    // The device was pulled out: every request answers ENODEV and it cannot be opened again.
    void unplug() { m_unplugged = true; }
    bool unplugged() const { return m_unplugged; }

    // --- what the device holds now --------------------------------------------------------
    const FakeV4l2Hardware& hardware() const { return m_hw; }
    const FakeV4l2Hardware::Control* control(std::uint32_t id) const;
    std::int32_t controlValue(std::uint32_t id) const;
    std::uint32_t input() const { return m_input; }
    v4l2_std_id standard() const { return m_standard; }
    const v4l2_pix_format& format() const { return m_format; }
    std::uint32_t frequency(std::uint32_t tuner) const;
    bool streaming() const { return m_streamOn || m_elsewhere; }
    v4l2_fract frameInterval() const { return m_interval; }
    std::int64_t intervalNs() const;
    // The monotonic time (ns) at which frame `sequence` of the stream is done: its buffer's
    // timestamp. It began one interval before.
    std::int64_t frameDue(std::uint32_t sequence) const;
    // Whether the current input receives a picture: a station on the tuner, or any other input.
    bool receiving() const;
    std::uint32_t signal() const;

    // Every request in order, and every control write with its result.
    const std::vector<unsigned long>& requests() const { return m_requests; }
    int count(unsigned long request) const;
    const std::vector<ControlWrite>& controlWrites() const { return m_writes; }
    // Every frequency asked of VIDIOC_S_FREQUENCY, before the driver clamps it.
    const std::vector<std::uint32_t>& frequencyRequests() const { return m_tunes; }
    void clearLog();
    // A device that runs for hours keeps no log.
    void keepLog(bool keep) { m_keepLog = keep; }

private:
    static constexpr int noOwner = -1;

    struct Buffer {
        enum State { Dequeued, Queued, Done } state = Dequeued;
        std::uint32_t offset = 0;
        std::uint32_t bytesUsed = 0;
        std::uint32_t sequence = 0;
        std::int64_t timestamp = 0;  // ns, monotonic
    };

    FakeV4l2Hardware::Control* findControl(std::uint32_t id);
    const FakeV4l2Hardware::Tuner* findTuner(std::uint32_t index) const;
    const FakeV4l2Hardware::PixelFormat* findFormat(std::uint32_t fourcc) const;
    const std::vector<FakeV4l2Hardware::PixelFormat>& inputFormats() const;
    std::uint32_t captureType() const;
    // The current format made again for what the input and standard now offer.
    void refitFormat();
    const FakeV4l2Hardware::Control* nextControl(std::uint32_t after) const;
    const FakeV4l2Hardware::Control* controlOrClass(std::uint32_t id) const;
    v4l2_event controlEvent(const FakeV4l2Hardware::Control& control, std::uint32_t changes) const;
    std::uint32_t liveFlags(const FakeV4l2Hardware::Control& control) const;
    bool autoIsOn(const FakeV4l2Hardware::Control& control) const;
    std::uint16_t signalAt(const FakeV4l2Hardware::Tuner& tuner) const;
    bool is525Lines() const;

    int queryCapabilities(v4l2_capability& capability) const;
    int enumerateInput(v4l2_input& input) const;
    int setInput(int index);
    int getStandard(v4l2_std_id& id) const;
    int setStandard(v4l2_std_id id);
    template <typename Query>
    int describeControl(Query& query) const;
    int queryControl(v4l2_queryctrl& query) const;
    int queryExtendedControl(v4l2_query_ext_ctrl& query) const;
    int queryMenu(v4l2_querymenu& menu) const;
    int getControl(v4l2_control& control) const;
    int setControl(v4l2_control& control, int file);
    // The value a set would store, or the error it answers, as the framework validates it.
    int validate(const FakeV4l2Hardware::Control& control, std::int64_t& value) const;
    // The extended ioctls' own part: 64-bit, string and compound values, which the single ones lack.
    int getWide(const FakeV4l2Hardware::Control& control, bool defaults, v4l2_ext_control& wanted) const;
    int setWide(int file, FakeV4l2Hardware::Control& control, v4l2_ext_control& wanted);
    int enumerateFormat(v4l2_fmtdesc& description) const;
    int enumerateFrameSize(v4l2_frmsizeenum& size) const;
    int enumerateFrameInterval(v4l2_frmivalenum& interval) const;
    int getFormat(v4l2_format& format) const;
    int tryFormat(v4l2_format& format) const;
    void tryPixFormat(v4l2_pix_format& pix) const;
    static v4l2_pix_format pixOf(const v4l2_format& format);
    static void setPix(v4l2_format& format, const v4l2_pix_format& pix);
    int getParameters(v4l2_streamparm& parameters) const;
    int getTuner(v4l2_tuner& tuner) const;
    int getFrequency(v4l2_frequency& frequency) const;
    int setFrequency(const v4l2_frequency& frequency);
    int setParameters(v4l2_streamparm& parameters);
    int extendedControls(int file, unsigned long request, v4l2_ext_controls& controls);
    int checkExtended(unsigned long request, v4l2_ext_controls& controls) const;
    int subscribeEvent(int file, const v4l2_event_subscription& subscription);
    int enumerateStandard(v4l2_standard& standard) const;
    int queryStandard(v4l2_std_id& id) const;
    v4l2_std_id inputStandards() const;
    int setPriority(int file, std::uint32_t priority);
    int audioInput(v4l2_audio& audio, bool current) const;
    std::uint32_t priority() const;
    int requestBuffers(int file, v4l2_requestbuffers& request);
    int queryBuffer(v4l2_buffer& buffer) const;
    int queueBuffer(int file, v4l2_buffer& buffer);
    int dequeueBuffer(int file, v4l2_buffer& buffer);
    int streamOn(int file, std::uint32_t type);
    int streamOff(int file, std::uint32_t type);
    bool busy() const { return streaming() || m_owner != noOwner; }
    // 0 when `file` may make the request under uvcvideo's rule (taking the privilege where the
    // request does), else EBUSY.
    int privilege(int file, unsigned long request);
    std::uint32_t sizeImage() const { return m_format.sizeimage; }
    std::uint32_t bytesPerLine(std::uint32_t fourcc, std::uint32_t width) const;
    v4l2_fract firstInterval() const;
    void capture(std::int64_t now);
    void describe(std::uint32_t index, v4l2_buffer& buffer) const;
    void freeBuffers();

    FakeV4l2Hardware m_hw;
    std::vector<FakeV4l2Hardware::Control> m_classes;  // one class control per class the card has
    FakeV4l2Events m_events;
    std::vector<std::uint32_t> m_grabbed;
    std::vector<std::uint32_t> m_frequencies;  // per tuner, by position in m_hw.tuners
    std::uint32_t m_input = 0;
    v4l2_std_id m_standard = 0;
    v4l2_pix_format m_format{};
    v4l2_fract m_interval{};
    bool m_elsewhere = false;
    // The file that holds uvcvideo's streaming privilege, where the card has that rule.
    int m_privileged = noOwner;
    // The streaming queue.
    int m_owner = noOwner;
    bool m_streamOn = false;
    std::int64_t m_start = 0;
    std::uint32_t m_sequence = 0;  // the next frame the sensor delivers
    std::vector<Buffer> m_buffers;
    std::deque<std::uint32_t> m_queued;  // indexes, in the order they were queued
    int m_memory = -1;
    std::uint8_t* m_mapped = nullptr;
    std::size_t m_mappedSize = 0;
    // read(): the reading file, and a frame's worth of memory
    int m_reader = noOwner;
    std::vector<std::uint8_t> m_readFrame;
    bool m_unplugged = false;
    bool m_tunerHeld = false;
    std::map<int, std::uint32_t> m_priorities;  // by file, as set with VIDIOC_S_PRIORITY
    bool m_keepLog = true;
    std::vector<unsigned long> m_requests;
    std::vector<ControlWrite> m_writes;
    std::vector<std::uint32_t> m_tunes;
};

}  // namespace capture
