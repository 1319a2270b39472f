#pragma once

#include "V4l2Io.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace capture {

// One buffer of a node mapped for reading through the seam; unmapped when it goes.
class V4l2Mapping {
public:
    V4l2Mapping(std::shared_ptr<V4l2Io> io, int fd, std::size_t length, std::int64_t offset);
    ~V4l2Mapping();
    V4l2Mapping(V4l2Mapping&& other) noexcept;
    V4l2Mapping(const V4l2Mapping&) = delete;
    V4l2Mapping& operator=(const V4l2Mapping&) = delete;
    V4l2Mapping& operator=(V4l2Mapping&&) = delete;

    bool isMapped() const { return m_data != nullptr; }
    // Why the mapping failed (an errno value); 0 when mapped.
    int error() const { return m_error; }
    const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(m_data); }
    std::size_t length() const { return m_length; }

private:
    std::shared_ptr<V4l2Io> m_io;
    const void* m_data = nullptr;
    std::size_t m_length;
    int m_error = 0;
};

}  // namespace capture
