#include "EmulatedNodes.h"

#include "EmulatedProfiles.h"
#include "RealCalls.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/sysmacros.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace capture::emulated {
namespace {

constexpr unsigned videoMajor = 81;  // the kernel's character major for video4linux

// Sets errno and answers -1, as a failed system call does.
int failure(int error)
{
    errno = error;
    return -1;
}

std::string profileIn(const std::string& path)
{
    char text[64] = {};
    const int fd = real::open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return {};
    const ssize_t size = real::read(fd, text, sizeof text - 1);
    real::close(fd);
    std::string profile(text, size > 0 ? std::size_t(size) : 0);
    profile.erase(std::find_if(profile.begin(), profile.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
                  profile.end());
    return profile;
}

bool waitsForFrames(unsigned long request)
{
    switch (request) {
    case VIDIOC_REQBUFS:
    case VIDIOC_QBUF:
    case VIDIOC_DQBUF:
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF:
        return true;
    default:
        return false;
    }
}

bool nonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && (flags & O_NONBLOCK);
}

}  // namespace

EmulatedNode::EmulatedNode(FakeV4l2Hardware hardware, std::string nodePath, const struct stat& file, unsigned nodeNumber)
    : device(std::move(hardware)), path(std::move(nodePath)), fileDevice(file.st_dev), fileInode(file.st_ino), number(nodeNumber)
{
    device.keepLog(false);
}

bool EmulatedNode::checkPlugged()
{
    struct stat now {};
    return real::stat(path.c_str(), &now) == 0 && now.st_dev == fileDevice && now.st_ino == fileInode;
}

EmulatedFile::EmulatedFile(std::shared_ptr<EmulatedNode> node, int id, int timer)
    : m_node(std::move(node)), m_id(id), m_timer(timer)
{
}

EmulatedFile::~EmulatedFile()
{
    {
        std::lock_guard lock(m_node->mutex);
        m_node->device.closed(m_id);
    }
    real::close(m_timer);
}

void EmulatedFile::arm()
{
    itimerspec when{};
    if (const auto due = m_node->device.nextFrameReady(m_id)) {
        // A moment already past (0 when unplugged) fires at once.
        const std::int64_t at = std::max<std::int64_t>(*due, 1);
        when.it_value.tv_sec = at / 1'000'000'000;
        when.it_value.tv_nsec = at % 1'000'000'000;
    }
    // Setting the timer also clears an expiry nobody read, so readiness follows the queue.
    timerfd_settime(m_timer, TFD_TIMER_ABSTIME, &when, nullptr);
}

// What a blocking file does in the kernel: sleep until the frame is done. The lock is let go
// meanwhile, so that STREAMOFF or QBUF from another thread get through.
int EmulatedFile::waitForFrame(std::unique_lock<std::mutex>& lock)
{
    lock.unlock();
    pollfd ready{m_timer, POLLIN, 0};
    ::poll(&ready, 1, 100);
    lock.lock();
    return 0;
}

int EmulatedFile::ioctl(int fd, unsigned long request, void* argument)
{
    const bool plugged = m_node->checkPlugged();
    std::unique_lock lock(m_node->mutex);
    if (!plugged && !m_node->device.unplugged()) {
        m_node->device.unplug();
        arm();  // wake whoever polls, so that they find out
    }
    int error = m_node->device.handle(m_id, request, argument);
    while (error == EAGAIN && request == VIDIOC_DQBUF && !nonBlocking(fd)) {
        arm();
        waitForFrame(lock);
        error = m_node->device.handle(m_id, request, argument);
    }
    if (waitsForFrames(request))
        arm();
    return error ? failure(error) : 0;
}

bool EmulatedFile::eventPending() const
{
    std::lock_guard lock(m_node->mutex);
    return m_node->device.eventPending(m_id);
}

ssize_t EmulatedFile::read(int fd, void* buffer, std::size_t count)
{
    if (!m_node->checkPlugged()) {
        std::lock_guard lock(m_node->mutex);
        m_node->device.unplug();
    }
    std::unique_lock lock(m_node->mutex);
    std::size_t bytes = 0;
    const std::span<std::uint8_t> target(static_cast<std::uint8_t*>(buffer), count);
    int error = m_node->device.read(m_id, target, bytes);
    while (error == EAGAIN && !nonBlocking(fd)) {
        arm();
        waitForFrame(lock);
        error = m_node->device.read(m_id, target, bytes);
    }
    arm();
    return error ? failure(error) : ssize_t(bytes);
}

void* EmulatedFile::mmap(void* address, std::size_t length, int protection, int flags, off_t offset)
{
    std::lock_guard lock(m_node->mutex);
    if (m_node->device.unplugged()) {
        errno = ENODEV;
        return MAP_FAILED;
    }
    if (!m_node->device.isBufferOffset(offset, length)) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    // The buffers' own memory: frames written later show through this mapping.
    return real::mmap(address, length, protection, flags, m_node->device.bufferMemory(), offset);
}

void EmulatedFile::describe(struct stat& status) const
{
    status = {};
    status.st_dev = m_node->fileDevice;
    status.st_ino = m_node->fileInode;
    status.st_mode = S_IFCHR | 0660;
    status.st_nlink = 1;
    status.st_rdev = makedev(videoMajor, m_node->number);
    status.st_blksize = 4096;
}

EmulatedNodes& EmulatedNodes::instance()
{
    // Never destroyed: GStreamer's threads may still close descriptors while the process exits.
    static EmulatedNodes* nodes = new EmulatedNodes;
    return *nodes;
}

EmulatedNodes::EmulatedNodes()
{
    if (const char* directory = std::getenv("ORVEX_V4L2_DIR"); directory && *directory) {
        m_directory = std::filesystem::path(directory).lexically_normal().string();
        while (m_directory.size() > 1 && m_directory.back() == '/')
            m_directory.pop_back();
    }
}

// "<dir>/video<N>" for a path in the node directory, with N.
std::optional<std::pair<std::string, unsigned>> EmulatedNodes::nodePath(int directory, const char* path) const
{
    if (m_directory.empty() || !path)
        return std::nullopt;
    std::string full;
    if (path[0] == '/') {
        if (std::strncmp(path, m_directory.c_str(), m_directory.size()) != 0)
            return std::nullopt;
        full = path;
    } else if (directory == AT_FDCWD) {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            return std::nullopt;
        full = std::string(cwd) + "/" + path;
    } else {
        return std::nullopt;
    }
    const std::filesystem::path normal = std::filesystem::path(full).lexically_normal();
    if (normal.parent_path().string() != m_directory)
        return std::nullopt;
    const std::string name = normal.filename().string();
    if (name.size() <= 5 || name.compare(0, 5, "video") != 0)
        return std::nullopt;
    unsigned number = 0;
    const auto [end, error] = std::from_chars(name.data() + 5, name.data() + name.size(), number);
    if (error != std::errc() || end != name.data() + name.size())
        return std::nullopt;
    return std::make_pair(normal.string(), number);
}

std::optional<int> EmulatedNodes::open(int directory, const char* path, int flags)
{
    const auto node = nodePath(directory, path);
    if (!node)
        return std::nullopt;
    struct stat file {};
    if (real::stat(node->first.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
        return std::nullopt;
    auto hardware = emulatedHardware(profileIn(node->first), node->second);
    if (!hardware)
        return std::nullopt;

    std::shared_ptr<EmulatedNode> card;
    {
        std::lock_guard lock(m_mutex);
        auto& known = m_nodes[node->first];
        if (!known || known->fileInode != file.st_ino || known->fileDevice != file.st_dev)
            known = std::make_shared<EmulatedNode>(std::move(*hardware), node->first, file, node->second);
        card = known;
    }
    const int fd = timerfd_create(CLOCK_MONOTONIC, ((flags & O_NONBLOCK) ? TFD_NONBLOCK : 0) | ((flags & O_CLOEXEC) ? TFD_CLOEXEC : 0));
    if (fd < 0)
        return -1;
    const int timer = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (fd >= maxDescriptor || timer < 0) {
        real::close(fd);
        if (timer >= 0)
            real::close(timer);
        return failure(EMFILE);
    }
    std::lock_guard lock(m_mutex);
    remember(fd, std::make_shared<EmulatedFile>(std::move(card), m_nextId++, timer));
    return fd;
}

void EmulatedNodes::remember(int fd, std::shared_ptr<EmulatedFile> file)
{
    m_files[fd] = std::move(file);
    m_ours[static_cast<std::size_t>(fd)].store(true, std::memory_order_release);
}

std::shared_ptr<EmulatedFile> EmulatedNodes::file(int fd)
{
    if (fd < 0 || fd >= maxDescriptor || !m_ours[static_cast<std::size_t>(fd)].load(std::memory_order_acquire))
        return nullptr;
    std::lock_guard lock(m_mutex);
    const auto found = m_files.find(fd);
    return found == m_files.end() ? nullptr : found->second;
}

void EmulatedNodes::duplicated(int from, int to)
{
    if (to < 0 || to >= maxDescriptor)
        return;
    auto shared = file(from);
    if (!shared)
        return;
    std::lock_guard lock(m_mutex);
    remember(to, std::move(shared));
}

std::shared_ptr<EmulatedFile> EmulatedNodes::release(int fd)
{
    if (fd < 0 || fd >= maxDescriptor || !m_ours[static_cast<std::size_t>(fd)].load(std::memory_order_acquire))
        return nullptr;
    std::lock_guard lock(m_mutex);
    const auto found = m_files.find(fd);
    if (found == m_files.end())
        return nullptr;
    auto file = std::move(found->second);
    m_files.erase(found);
    m_ours[static_cast<std::size_t>(fd)].store(false, std::memory_order_release);
    return file;
}

void EmulatedNodes::patchStatus(int directory, const char* path, struct stat& status)
{
    const auto node = nodePath(directory, path);
    if (!node || !S_ISREG(status.st_mode) || !emulatedHardware(profileIn(node->first), node->second))
        return;
    status.st_mode = S_IFCHR | 0660;
    status.st_rdev = makedev(videoMajor, node->second);
    status.st_size = 0;
}

std::optional<std::string> EmulatedNodes::sysfsText(const char* path)
{
    const std::string prefix = "/sys/dev/char/" + std::to_string(videoMajor) + ":";
    if (m_directory.empty() || !path || std::strncmp(path, prefix.c_str(), prefix.size()) != 0)
        return std::nullopt;
    unsigned number = 0;
    const char* end = path + std::strlen(path);
    const auto [next, error] = std::from_chars(path + prefix.size(), end, number);
    if (error != std::errc() || std::string_view(next) != "/uevent")
        return std::nullopt;
    const std::string node = m_directory + "/video" + std::to_string(number);
    struct stat file {};
    if (real::stat(node.c_str(), &file) != 0 || !S_ISREG(file.st_mode) || !emulatedHardware(profileIn(node), number))
        return std::nullopt;
    return "MAJOR=" + std::to_string(videoMajor) + "\nMINOR=" + std::to_string(number) + "\nDEVNAME=video"
        + std::to_string(number) + "\n";
}

}  // namespace capture::emulated
