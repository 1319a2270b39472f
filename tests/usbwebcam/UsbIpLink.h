#pragma once

// The device end of a USB/IP connection to the kernel's virtual host controller (vhci-hcd):
// one end of a socket pair is handed to the kernel through sysfs, this side answers the
// requests that arrive on the other (kernel Documentation/usb/usbip_protocol.rst).

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace usbwebcam {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();
    int get() const { return m_fd; }
    int release();

private:
    int m_fd;
};

struct IsoPacket {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    std::uint32_t actualLength = 0;
    std::int32_t status = 0;
};

// A USB request block as the host submitted it.
struct Urb {
    std::uint32_t seqnum = 0;
    bool in = false;
    std::uint8_t endpoint = 0;
    std::uint32_t transferLength = 0;
    std::int32_t startFrame = 0;
    std::int32_t interval = 0;
    std::array<std::uint8_t, 8> setup{};
    std::vector<std::uint8_t> out;
    std::vector<IsoPacket> iso;
};

struct Unlink {
    std::uint32_t seqnum = 0;
    std::uint32_t victim = 0;
};

struct Command {
    std::optional<Urb> submit;
    std::optional<Unlink> unlink;
};

class UsbIpLink {
public:
    // Plugs a high-speed device into the first free port of vhci_hcd.0; throws std::runtime_error.
    static std::unique_ptr<UsbIpLink> attach();
    // Pulls the device out (the kernel sees an unplug).
    ~UsbIpLink();

    int fd() const { return m_socket.get(); }
    // The next command, or nothing once the kernel has closed its end. Throws on a malformed one.
    std::optional<Command> read();
    // Completes `urb`: `status` 0 or a negative errno (-EPIPE stalls a control transfer); `data`
    // is what an IN transfer returns (for isochronous ones, the packets' data back to back).
    bool complete(const Urb& urb, std::int32_t status, std::uint32_t actualLength,
                  std::span<const std::uint8_t> data = {}, std::span<const IsoPacket> iso = {});
    bool unlinked(const Unlink& unlink, std::int32_t status);

private:
    UsbIpLink(FileDescriptor socket, int port) : m_socket(std::move(socket)), m_port(port) {}
    bool send(std::span<const std::uint8_t> head, std::span<const std::uint8_t> data,
              std::span<const std::uint8_t> tail);

    FileDescriptor m_socket;
    int m_port;
};

}  // namespace usbwebcam
