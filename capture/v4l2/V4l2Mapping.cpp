#include "V4l2Mapping.h"

#include <utility>

namespace capture {

V4l2Mapping::V4l2Mapping(std::shared_ptr<V4l2Io> io, int fd, std::size_t length, std::int64_t offset)
    : m_io(std::move(io)), m_length(length)
{
    const void* data = nullptr;
    m_error = m_io->mmap(fd, length, offset, data);
    if (m_error == 0)
        m_data = data;
}

V4l2Mapping::~V4l2Mapping()
{
    if (m_data)
        m_io->munmap(m_data, m_length);
}

V4l2Mapping::V4l2Mapping(V4l2Mapping&& other) noexcept
    : m_io(std::move(other.m_io)),
      m_data(std::exchange(other.m_data, nullptr)),
      m_length(other.m_length),
      m_error(other.m_error)
{
}

}  // namespace capture
