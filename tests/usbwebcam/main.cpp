// orvex-usb-webcam: plays a USB 2.0 webcam with a microphone to the kernel's own drivers
// (uvcvideo, snd-usb-audio) through the USB/IP virtual host controller, for tests in a VM.
//
//   orvex-usb-webcam [--error-every N]
//
// SIGUSR1 pulls the device out, SIGUSR2 plugs a new one in, SIGTERM and SIGINT pull it out and
// end the program. --error-every N (or ORVEX_USB_WEBCAM_ERROR_EVERY=N) sets the payload
// header's error bit in one packet of every Nth frame, so the driver sees a damaged frame.
// ORVEX_USB_WEBCAM_BROKEN_EVERY=N sends every Nth Motion JPEG frame cut short or as garbage,
// with no error bit: the driver passes it on as a good one.
// ORVEX_USB_WEBCAM_RESET_EXPOSURE=1 puts the exposure time back to its default at each stream start.
// ORVEX_USB_WEBCAM_TRACE=1 prints every transfer to stderr.

#include "Descriptors.h"
#include "tests/support/emulator/EmulatedPictures.h"
#include "UacMicrophone.h"
#include "UsbIpLink.h"
#include "UvcCamera.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <stdexcept>
#include <string_view>

namespace usbwebcam {
namespace {

constexpr std::uint64_t microframeNs = 125'000;

// A packet of an isochronous transfer stands for `interval` microframes.
std::uint64_t packetNs(const Urb& urb)
{
    return microframeNs * std::uint64_t(std::max(1, urb.interval));
}

std::uint64_t monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint64_t(now.tv_sec) * 1'000'000'000 + std::uint64_t(now.tv_nsec);
}

void say(const std::string& text)
{
    std::fprintf(stderr, "orvex-usb-webcam: %s\n", text.c_str());
}

class Webcam {
public:
    explicit Webcam(unsigned errorEvery) : m_errorEvery(errorEvery), m_camera(errorEvery) {}

    void plug();
    void unplug();
    // Serves the device until a signal arrives; answers its number.
    int serve(int signals);

private:
    // Isochronous IN transfers, completed in order once their function has data for them.
    using Pending = std::deque<Urb>;

    bool handle(Command& command);
    void control(const Urb& urb);
    std::optional<std::vector<std::uint8_t>> standard(const Setup& setup);
    void trace(const char* what, const Urb& urb, std::uint32_t length) const;
    bool completeDue(std::uint64_t nowNs);
    std::uint64_t nextDueNs(std::uint64_t nowNs) const;
    std::size_t audioPackets() const;
    void dropped(const char* why);

    unsigned m_errorEvery;
    const bool m_trace = std::string_view(std::getenv("ORVEX_USB_WEBCAM_TRACE") ?: "") == "1";
    std::unique_ptr<UsbIpLink> m_link;
    UvcCamera m_camera;
    UacMicrophone m_microphone;
    std::uint8_t m_configuration = 0;
    Pending m_video, m_audio;
    std::vector<std::uint8_t> m_data;
};

void Webcam::plug()
{
    if (m_link)
        return;
    // A camera plugged in again starts from its defaults, as after a power cycle.
    m_camera = UvcCamera(m_errorEvery);
    m_microphone = UacMicrophone();
    m_configuration = 0;
    m_video.clear();
    m_audio.clear();
    m_link = UsbIpLink::attach();
}

void Webcam::unplug()
{
    m_link.reset();
    m_video.clear();
    m_audio.clear();
}

void Webcam::dropped(const char* why)
{
    say(std::string("the host dropped the device (") + why + "); SIGUSR2 plugs it in again");
    unplug();
}

std::optional<std::vector<std::uint8_t>> Webcam::standard(const Setup& setup)
{
    using Bytes = std::vector<std::uint8_t>;
    const auto low = std::uint8_t(setup.value & 0xff);
    switch (setup.request) {
    case 0x00:  // GET_STATUS
        return Bytes{0, 0};
    case 0x01:  // CLEAR_FEATURE
    case 0x03:  // SET_FEATURE
    case 0x05:  // SET_ADDRESS (vhci answers it itself)
        return Bytes{};
    case 0x06: {  // GET_DESCRIPTOR
        Bytes descriptor;
        switch (setup.value >> 8) {
        case 1: descriptor = deviceDescriptor(); break;
        case 2: descriptor = low == 0 ? configurationDescriptor() : Bytes{}; break;
        case 3: descriptor = stringDescriptor(low); break;
        default: break;  // no device qualifier or BOS: a USB 2.0 device that only runs at high speed
        }
        if (descriptor.empty())
            return std::nullopt;
        return descriptor;
    }
    case 0x08:  // GET_CONFIGURATION
        return Bytes{m_configuration};
    case 0x09:  // SET_CONFIGURATION
        if (low > 1)
            return std::nullopt;
        m_configuration = low;
        m_camera.setAlternate(0, 0);
        m_microphone.setAlternate(0, 0);
        return Bytes{};
    case 0x0a:  // GET_INTERFACE
        switch (setup.index) {
        case videoControlInterface:
        case audioControlInterface: return Bytes{0};
        case videoStreamingInterface: return Bytes{m_camera.alternate()};
        case audioStreamingInterface: return Bytes{m_microphone.alternate()};
        default: return std::nullopt;
        }
    case 0x0b: {  // SET_INTERFACE
        bool known = false;
        if (setup.index == videoStreamingInterface)
            known = m_camera.setAlternate(low, monotonicNs());
        else if (setup.index == audioStreamingInterface)
            known = m_microphone.setAlternate(low, monotonicNs());
        else
            known = (setup.index == videoControlInterface || setup.index == audioControlInterface) && low == 0;
        return known ? std::optional(Bytes{}) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

void Webcam::control(const Urb& urb)
{
    const Setup setup = Setup::of(urb.setup);
    std::optional<std::vector<std::uint8_t>> answer;
    const int type = setup.requestType & 0x60, recipient = setup.requestType & 0x1f;
    if (type == 0x00) {
        answer = standard(setup);
    } else if (type == 0x20 && recipient == 1) {
        const int interface = setup.index & 0xff;
        if (interface == videoControlInterface || interface == videoStreamingInterface)
            answer = m_camera.request(setup, urb.out);
        else if (interface == audioControlInterface || interface == audioStreamingInterface)
            answer = m_microphone.request(setup, urb.out);
    }
    bool sent;
    if (!answer) {
        sent = m_link->complete(urb, -EPIPE, 0);
    } else if (urb.in) {
        answer->resize(std::min({answer->size(), std::size_t(setup.length), std::size_t(urb.transferLength)}));
        sent = m_link->complete(urb, 0, std::uint32_t(answer->size()), *answer);
    } else {
        sent = m_link->complete(urb, 0, urb.transferLength);
    }
    if (!sent)
        dropped("a completion could not be sent");
}

void Webcam::trace(const char* what, const Urb& urb, std::uint32_t length) const
{
    if (m_trace)
        std::fprintf(stderr, "%.6f %s %u ep%u%s %u bytes, %zu packets\n", double(monotonicNs()) / 1e9, what,
                     urb.seqnum, urb.endpoint, urb.in ? " in" : " out", length, urb.iso.size());
}

bool Webcam::handle(Command& command)
{
    if (command.unlink) {
        // Unlinked before it was due: it goes back unfinished, and must not be completed later.
        std::int32_t status = 0;
        for (Pending* pending : {&m_video, &m_audio}) {
            const auto found = std::find_if(pending->begin(), pending->end(),
                                            [&](const Urb& urb) { return urb.seqnum == command.unlink->victim; });
            if (found != pending->end()) {
                pending->erase(found);
                status = -ECONNRESET;
            }
        }
        if (m_trace)
            std::fprintf(stderr, "%.6f unlink %u: %d\n", double(monotonicNs()) / 1e9, command.unlink->victim, status);
        return m_link->unlinked(*command.unlink, status);
    }
    Urb& urb = *command.submit;
    trace("submit", urb, urb.transferLength);
    if (urb.endpoint == 0) {
        control(urb);
        return m_link != nullptr;
    }
    Pending* pending = urb.endpoint == videoEndpoint ? &m_video : urb.endpoint == audioEndpoint ? &m_audio : nullptr;
    if (!pending || !urb.in || urb.iso.empty())
        return m_link->complete(urb, -EPIPE, 0);
    pending->push_back(std::move(urb));
    return true;
}

std::uint64_t Webcam::nextDueNs(std::uint64_t nowNs) const
{
    std::uint64_t due = m_video.empty() ? UINT64_MAX : m_camera.nextDataNs(nowNs);
    if (!m_audio.empty())
        due = std::min(due, m_microphone.nextDataNs(audioPackets(), packetNs(m_audio.front()), nowNs));
    return due;
}

std::size_t Webcam::audioPackets() const
{
    std::size_t packets = 0;
    for (const Urb& urb : m_audio)
        packets += urb.iso.size();
    return packets;
}

// Under emulation a transfer's round trip costs far more than the bus time it stands for, so
// neither function waits for the bus: a transfer leaves as soon as there is data for it.
bool Webcam::completeDue(std::uint64_t nowNs)
{
    std::size_t packets = audioPackets();
    if (packets > 0 && m_microphone.nextDataNs(packets, packetNs(m_audio.front()), nowNs) <= nowNs) {
        while (!m_audio.empty()) {
            Urb urb = std::move(m_audio.front());
            m_audio.pop_front();
            packets -= urb.iso.size();
            const std::uint32_t length = m_microphone.fill(urb.iso, m_data, nowNs, packets);
            trace("complete", urb, length);
            if (!m_link->complete(urb, 0, length, m_data, urb.iso))
                return false;
        }
    }
    while (!m_video.empty() && m_camera.nextDataNs(nowNs) <= nowNs) {
        Urb urb = std::move(m_video.front());
        m_video.pop_front();
        const std::uint32_t length = m_camera.fill(urb.iso, m_data, nowNs);
        trace("complete", urb, length);
        if (!m_link->complete(urb, 0, length, m_data, urb.iso))
            return false;
        nowNs = monotonicNs();
    }
    return true;
}

int Webcam::serve(int signals)
{
    for (;;) {
        std::uint64_t nowNs = monotonicNs();
        if (m_link && !completeDue(nowNs)) {
            dropped("a transfer could not be sent");
        }
        nowNs = monotonicNs();
        const std::uint64_t wakeNs = m_link ? nextDueNs(nowNs) : UINT64_MAX;
        timespec timeout{};
        if (wakeNs != UINT64_MAX) {
            const std::uint64_t waitNs = wakeNs > nowNs ? wakeNs - nowNs : 0;
            timeout = {time_t(waitNs / 1'000'000'000), long(waitNs % 1'000'000'000)};
        }
        pollfd fds[2] = {{signals, POLLIN, 0}, {m_link ? m_link->fd() : -1, POLLIN, 0}};
        if (ppoll(fds, 2, wakeNs == UINT64_MAX ? nullptr : &timeout, nullptr) < 0 && errno != EINTR)
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (read(signals, &info, sizeof info) == sizeof info)
                return int(info.ssi_signo);
        }
        // Everything the host has sent is taken in before anything goes back, so that transfers
        // it queued together are answered together.
        for (bool readable = fds[1].revents & (POLLIN | POLLHUP | POLLERR); readable && m_link;) {
            try {
                std::optional<Command> command = m_link->read();
                if (!command)
                    dropped("its socket was closed");
                else if (!handle(*command) && m_link)
                    dropped("a completion could not be sent");
            } catch (const std::runtime_error& error) {
                dropped(error.what());
            }
            pollfd more{m_link ? m_link->fd() : -1, POLLIN, 0};
            readable = m_link && poll(&more, 1, 0) > 0;
        }
    }
}

unsigned errorEveryFrom(int argc, char** argv)
{
    std::string_view text;
    if (const char* env = std::getenv("ORVEX_USB_WEBCAM_ERROR_EVERY"))
        text = env;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--error-every" && i + 1 < argc)
            text = argv[++i];
        else
            throw std::invalid_argument(std::string("unknown argument ") + argv[i]);
    }
    unsigned value = 0;
    if (!text.empty()) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size())
            throw std::invalid_argument("--error-every takes a whole number of frames, not \"" + std::string(text) + "\"");
    }
    return value;
}

}  // namespace
}  // namespace usbwebcam

int main(int argc, char** argv)
{
    using namespace usbwebcam;
    unsigned errorEvery = 0;
    try {
        errorEvery = errorEveryFrom(argc, argv);
    } catch (const std::exception& error) {
        say(error.what());
        std::fprintf(stderr, "usage: %s [--error-every N]\n", argv[0]);
        return 2;
    }
    sigset_t mask;
    sigemptyset(&mask);
    for (const int signal : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT})
        sigaddset(&mask, signal);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    const FileDescriptor signals(signalfd(-1, &mask, SFD_CLOEXEC));
    // The first picture of each Motion JPEG size, plain and marked, before the camera is there:
    // a stream's first frame must not wait the second or more an encode takes under emulation
    // (the rest of the cycle is encoded as the stream runs).
    for (const VideoFormat& format : videoFormats)
        for (const FrameSize size : format.frames)
            if (format.mjpeg)
                for (const bool marked : {false, true})
                    capture::emulated::cameraJpegFrame(size.width, size.height, 0, marked);
    try {
        Webcam webcam(errorEvery);
        webcam.plug();
        for (;;) {
            const int signal = webcam.serve(signals.get());
            if (signal == SIGUSR1) {
                webcam.unplug();
            } else if (signal == SIGUSR2) {
                try {
                    webcam.plug();
                } catch (const std::runtime_error& error) {
                    say(error.what());
                }
            } else {
                webcam.unplug();
                return 0;
            }
        }
    } catch (const std::exception& error) {
        say(error.what());
        return 1;
    }
}
