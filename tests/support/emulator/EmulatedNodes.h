#pragma once

#include "tests/support/kernel/FakeV4l2Device.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace capture::emulated {

// One plugged-in card: it lives from the first open of its placeholder file until that file is
// deleted. A file created again at the same path is a new card, as a camera plugged in again is.
struct EmulatedNode {
    EmulatedNode(FakeV4l2Hardware hardware, std::string nodePath, const struct stat& file, unsigned nodeNumber);

    // Whether the placeholder is still the one this card was made from; a card whose file is
    // gone is unplugged for good.
    bool checkPlugged();

    std::mutex mutex;  // the card's state; held for each call, never while waiting for a frame
    FakeV4l2Device device;
    const std::string path;
    const dev_t fileDevice;
    const ino_t fileInode;
    const unsigned number;
};

// One open file of a card. Its descriptor is a timerfd, armed for the moment the next frame is
// done, so that poll, ppoll, select and epoll report readiness as for a kernel device; every
// descriptor duplicated from it shares this one file, as in the kernel. A timerfd never
// reports POLLPRI: the poll and select entry points add it for a pending event.
class EmulatedFile {
public:
    EmulatedFile(std::shared_ptr<EmulatedNode> node, int id, int timer);
    ~EmulatedFile();
    EmulatedFile(const EmulatedFile&) = delete;
    EmulatedFile& operator=(const EmulatedFile&) = delete;

    // The system call's result: the value, or -1 with errno set.
    int ioctl(int fd, unsigned long request, void* argument);
    ssize_t read(int fd, void* buffer, std::size_t count);
    void* mmap(void* address, std::size_t length, int protection, int flags, off_t offset);
    void describe(struct stat& status) const;
    // Whether VIDIOC_DQEVENT would find an event, which poll reports as POLLPRI.
    bool eventPending() const;

private:
    // Called with the card's lock held.
    void arm();
    int waitForFrame(std::unique_lock<std::mutex>& lock);

    std::shared_ptr<EmulatedNode> m_node;
    const int m_id;
    const int m_timer;  // a descriptor of our own on the timerfd, whichever of the caller's are closed
};

// The emulated nodes of the directory named by ORVEX_V4L2_DIR (read once, at the first call):
// regular files "video<N>" whose content is a profile name (see EmulatedProfiles.h), and the
// descriptors open on them. stat() shows such a file as the character device 81:N.
// Unplug: delete the file. The card's open descriptors then answer ENODEV to every request
// (DQBUF included) and poll as readable, so that a waiting v4l2src wakes up and finds out.
// Plug: write the file again; the next open makes a new card with its default state.
class EmulatedNodes {
public:
    static EmulatedNodes& instance();

    // A descriptor (or -1 with errno) when the path is an emulated node; nothing otherwise.
    std::optional<int> open(int directory, const char* path, int flags);
    // The file behind a descriptor, when it is one of ours.
    std::shared_ptr<EmulatedFile> file(int fd);
    // After a successful dup: `to` now refers to the same file as `from`.
    void duplicated(int from, int to);
    // The descriptor is being closed; the caller drops the file after closing it.
    std::shared_ptr<EmulatedFile> release(int fd);
    // Turns the placeholder's status into a character device's, when the path is a node.
    void patchStatus(int directory, const char* path, struct stat& status);
    // What sysfs says of a node ("/sys/dev/char/81:N/uevent"), when N is an emulated one.
    std::optional<std::string> sysfsText(const char* path);

private:
    EmulatedNodes();
    std::optional<std::pair<std::string, unsigned>> nodePath(int directory, const char* path) const;
    void remember(int fd, std::shared_ptr<EmulatedFile> file);

    static constexpr int maxDescriptor = 65536;
    std::string m_directory;  // empty: nothing is emulated
    std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<EmulatedNode>> m_nodes;
    std::unordered_map<int, std::shared_ptr<EmulatedFile>> m_files;
    // Lock-free answer for the descriptors that are not ours, which is nearly every call.
    std::array<std::atomic<bool>, maxDescriptor> m_ours{};
    int m_nextId = 1;
};

}  // namespace capture::emulated
