#include "UsbIpLink.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace usbwebcam {

namespace {

constexpr std::uint32_t cmdSubmit = 1, cmdUnlink = 2, retSubmit = 3, retUnlink = 4;
constexpr std::size_t headerSize = 48;
constexpr std::size_t isoDescriptorSize = 16;
// vhci numbers its high-speed ports 0..14 on its first controller.
constexpr int highSpeedPorts = 15;
constexpr std::uint32_t deviceId = (1u << 16) | 2;  // bus 1, device 2: only echoed back
constexpr const char* vhci = "/sys/devices/platform/vhci_hcd.0/";
// Nothing a webcam is asked for comes near these; larger values are a broken stream.
constexpr std::uint32_t maxTransfer = 16u << 20;
constexpr std::int32_t maxPackets = 1024;

std::uint32_t be32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

void putBe32(std::uint8_t* p, std::uint32_t value)
{
    p[0] = std::uint8_t(value >> 24);
    p[1] = std::uint8_t(value >> 16);
    p[2] = std::uint8_t(value >> 8);
    p[3] = std::uint8_t(value);
}

// False at the end of the stream before the first byte; throws when it ends inside a message.
bool readFully(int fd, std::uint8_t* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, data + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == ECONNRESET || errno == EPIPE) && done == 0)
            return false;
        if (got < 0)
            throw std::runtime_error(std::string("reading the USB/IP socket: ") + std::strerror(errno));
        if (got == 0) {
            if (done == 0)
                return false;
            throw std::runtime_error("the USB/IP socket closed inside a message");
        }
        done += std::size_t(got);
    }
    return true;
}

bool writeSysfs(const std::string& file, const std::string& text, int& error)
{
    const FileDescriptor fd(::open(file.c_str(), O_WRONLY | O_CLOEXEC));
    if (fd.get() < 0 || ::write(fd.get(), text.data(), text.size()) != ssize_t(text.size())) {
        error = errno;
        return false;
    }
    return true;
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

FileDescriptor::~FileDescriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int FileDescriptor::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

std::unique_ptr<UsbIpLink> UsbIpLink::attach()
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        throw std::runtime_error(std::string("socketpair: ") + std::strerror(errno));
    FileDescriptor ours(ends[0]);
    // The kernel takes its own reference to this end while the attach is written.
    const FileDescriptor theirs(ends[1]);
    int error = 0;
    for (int port = 0; port < highSpeedPorts; ++port) {
        const std::string line = std::to_string(port) + " " + std::to_string(theirs.get()) + " "
                                 + std::to_string(deviceId) + " 3";
        if (writeSysfs(std::string(vhci) + "attach", line, error))
            return std::unique_ptr<UsbIpLink>(new UsbIpLink(std::move(ours), port));
        if (error != EBUSY)
            break;
    }
    throw std::runtime_error(std::string("attaching to ") + vhci + "attach (is vhci-hcd loaded?): "
                             + std::strerror(error));
}

UsbIpLink::~UsbIpLink()
{
    // Fails when the kernel has already dropped the device; closing the socket then suffices.
    int error = 0;
    writeSysfs(std::string(vhci) + "detach", std::to_string(m_port), error);
}

std::optional<Command> UsbIpLink::read()
{
    std::uint8_t header[headerSize];
    if (!readFully(m_socket.get(), header, sizeof header))
        return std::nullopt;
    Command command;
    const std::uint32_t kind = be32(header);
    if (kind == cmdUnlink) {
        command.unlink = Unlink{be32(header + 4), be32(header + 20)};
        return command;
    }
    if (kind != cmdSubmit)
        throw std::runtime_error("unknown USB/IP command " + std::to_string(kind));
    Urb& urb = command.submit.emplace();
    urb.seqnum = be32(header + 4);
    urb.in = be32(header + 12) == 1;
    urb.endpoint = std::uint8_t(be32(header + 16) & 0x0f);
    urb.transferLength = be32(header + 24);
    urb.startFrame = std::int32_t(be32(header + 28));
    const auto packets = std::int32_t(be32(header + 32));
    urb.interval = std::int32_t(be32(header + 36));
    std::memcpy(urb.setup.data(), header + 40, 8);
    if (urb.transferLength > maxTransfer)
        throw std::runtime_error("a USB/IP transfer of " + std::to_string(urb.transferLength) + " bytes");
    if (!urb.in && urb.transferLength > 0) {
        urb.out.resize(urb.transferLength);
        if (!readFully(m_socket.get(), urb.out.data(), urb.out.size()))
            throw std::runtime_error("the USB/IP socket closed inside a message");
    }
    // Only isochronous transfers carry packets (control ones send 0 or, from some hosts, -1).
    if (urb.endpoint != 0 && packets > 0) {
        if (packets > maxPackets)
            throw std::runtime_error("a USB/IP transfer of " + std::to_string(packets) + " packets");
        std::vector<std::uint8_t> raw(std::size_t(packets) * isoDescriptorSize);
        if (!readFully(m_socket.get(), raw.data(), raw.size()))
            throw std::runtime_error("the USB/IP socket closed inside a message");
        urb.iso.resize(std::size_t(packets));
        for (std::size_t i = 0; i < urb.iso.size(); ++i) {
            urb.iso[i].offset = be32(&raw[i * isoDescriptorSize]);
            urb.iso[i].length = be32(&raw[i * isoDescriptorSize + 4]);
            if (std::uint64_t(urb.iso[i].offset) + urb.iso[i].length > urb.transferLength)
                throw std::runtime_error("an isochronous packet outside its transfer");
        }
    }
    return command;
}

bool UsbIpLink::complete(const Urb& urb, std::int32_t status, std::uint32_t actualLength,
                         std::span<const std::uint8_t> data, std::span<const IsoPacket> iso)
{
    std::uint8_t header[headerSize] = {};
    putBe32(header, retSubmit);
    putBe32(header + 4, urb.seqnum);
    putBe32(header + 8, deviceId);
    putBe32(header + 20, std::uint32_t(status));
    putBe32(header + 24, actualLength);
    putBe32(header + 28, std::uint32_t(urb.startFrame));
    putBe32(header + 32, std::uint32_t(urb.iso.size()));
    std::uint32_t errors = 0;
    std::vector<std::uint8_t> tail(iso.size() * isoDescriptorSize);
    for (std::size_t i = 0; i < iso.size(); ++i) {
        putBe32(&tail[i * isoDescriptorSize], iso[i].offset);
        putBe32(&tail[i * isoDescriptorSize + 4], iso[i].length);
        putBe32(&tail[i * isoDescriptorSize + 8], iso[i].actualLength);
        putBe32(&tail[i * isoDescriptorSize + 12], std::uint32_t(iso[i].status));
        errors += iso[i].status != 0;
    }
    putBe32(header + 36, errors);
    // An OUT transfer's completion carries its length only: data after it would be read as the
    // next message.
    return send(header, urb.in ? data.first(actualLength) : std::span<const std::uint8_t>{}, tail);
}

bool UsbIpLink::unlinked(const Unlink& unlink, std::int32_t status)
{
    std::uint8_t header[headerSize] = {};
    putBe32(header, retUnlink);
    putBe32(header + 4, unlink.seqnum);
    putBe32(header + 8, deviceId);
    putBe32(header + 20, std::uint32_t(status));
    return send(header, {}, {});
}

bool UsbIpLink::send(std::span<const std::uint8_t> head, std::span<const std::uint8_t> data,
                     std::span<const std::uint8_t> tail)
{
    iovec parts[3] = {{const_cast<std::uint8_t*>(head.data()), head.size()},
                      {const_cast<std::uint8_t*>(data.data()), data.size()},
                      {const_cast<std::uint8_t*>(tail.data()), tail.size()}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 3;
    while (message.msg_iovlen > 0) {
        const ssize_t sent = ::sendmsg(m_socket.get(), &message, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0)
            return false;  // the kernel dropped the device
        auto left = std::size_t(sent);
        while (message.msg_iovlen > 0 && left >= message.msg_iov->iov_len) {
            left -= message.msg_iov->iov_len;
            ++message.msg_iov;
            --message.msg_iovlen;
        }
        if (message.msg_iovlen > 0) {
            message.msg_iov->iov_base = static_cast<std::uint8_t*>(message.msg_iov->iov_base) + left;
            message.msg_iov->iov_len -= left;
        }
    }
    return true;
}

}  // namespace usbwebcam
