#include "FakeV4l2Io.h"

#include <cerrno>

#include <sys/mman.h>

namespace capture {

std::shared_ptr<FakeV4l2Device> FakeV4l2Io::add(const std::string& path, FakeV4l2Hardware hardware)
{
    auto device = std::make_shared<FakeV4l2Device>(std::move(hardware));
    std::lock_guard lock(m_mutex);
    m_nodes[path] = device;
    return device;
}

int FakeV4l2Io::open(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    const auto node = m_nodes.find(path);
    if (node == m_nodes.end() || node->second->unplugged())
        return -ENOENT;
    const int fd = m_nextFd++;
    m_files[fd] = node->second;
    return fd;
}

void FakeV4l2Io::close(int fd)
{
    std::lock_guard lock(m_mutex);
    const auto file = m_files.find(fd);
    if (file == m_files.end())
        return;
    file->second->closed(fd);
    m_files.erase(file);
}

int FakeV4l2Io::ioctl(int fd, unsigned long request, void* argument)
{
    std::lock_guard lock(m_mutex);
    const auto file = m_files.find(fd);
    if (file == m_files.end())
        return EBADF;
    return file->second->handle(fd, request, argument);
}

int FakeV4l2Io::mmap(int fd, std::size_t length, std::int64_t offset, const void*& mapping)
{
    std::lock_guard lock(m_mutex);
    const auto file = m_files.find(fd);
    if (file == m_files.end())
        return EBADF;
    const FakeV4l2Device& device = *file->second;
    if (device.unplugged())
        return ENODEV;
    if (!device.isBufferOffset(offset, length))
        return EINVAL;
    void* const address = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, device.bufferMemory(), off_t(offset));
    if (address == MAP_FAILED)
        return errno;
    mapping = address;
    return 0;
}

void FakeV4l2Io::munmap(const void* mapping, std::size_t length)
{
    ::munmap(const_cast<void*>(mapping), length);
}

int FakeV4l2Io::openFiles() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_files.size());
}

}  // namespace capture
