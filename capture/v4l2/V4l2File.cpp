#include "V4l2File.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace capture {

V4l2File::V4l2File(std::shared_ptr<V4l2Io> io, std::string path)
    : m_io(std::move(io)), m_path(std::move(path))
{
    const int fd = m_io->open(m_path);
    if (fd >= 0)
        m_fd = fd;
    else
        m_openError = -fd;
}

V4l2File::~V4l2File()
{
    reset();
}

V4l2File::V4l2File(V4l2File&& other) noexcept
    : m_io(std::move(other.m_io)),
      m_path(std::move(other.m_path)),
      m_fd(std::exchange(other.m_fd, -1)),
      m_openError(other.m_openError),
      m_perCall(other.m_perCall)
{
}

V4l2File& V4l2File::operator=(V4l2File&& other) noexcept
{
    if (this != &other) {
        reset();
        m_io = std::move(other.m_io);
        m_path = std::move(other.m_path);
        m_fd = std::exchange(other.m_fd, -1);
        m_openError = other.m_openError;
        m_perCall = other.m_perCall;
    }
    return *this;
}

void V4l2File::openPerCall()
{
    if (!isOpen())
        return;
    reset();
    m_perCall = true;
}

int V4l2File::ioctl(unsigned long request, void* argument) const
{
    if (m_perCall) {
        const int fd = m_io->open(m_path);
        if (fd < 0)
            return -fd == ENOENT || -fd == ENXIO ? ENODEV : -fd;
        const int error = m_io->ioctl(fd, request, argument);
        m_io->close(fd);
        return error;
    }
    if (m_fd < 0)
        return EBADF;
    return m_io->ioctl(m_fd, request, argument);
}

V4l2Mapping V4l2File::map(std::size_t length, std::int64_t offset) const
{
    return V4l2Mapping(m_io, m_fd, length, offset);
}

void V4l2File::reset()
{
    if (m_fd >= 0)
        m_io->close(m_fd);
    m_fd = -1;
}

bool isNodeGone(std::shared_ptr<V4l2Io> io, const std::string& path)
{
    const int error = V4l2File(std::move(io), path).openError();
    return error == ENOENT || error == ENODEV || error == ENXIO;
}

std::string errorText(int error)
{
    char buffer[256];
    // The GNU variant may return a static string instead of filling the buffer.
    return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace capture
