#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace capture {

// The only way this layer reaches a V4L2 node: open, close, ioctl and the mapping of its
// buffers. Tests put a model of the kernel behind it; the program puts the kernel itself.
class V4l2Io {
public:
    virtual ~V4l2Io() = default;
    // A descriptor (>= 0), or -errno.
    virtual int open(const std::string& path) = 0;
    virtual void close(int fd) = 0;
    // The descriptor to poll for the file's events, or -1 when it is no kernel descriptor.
    virtual int pollDescriptor(int fd) const { return fd; }
    // 0, or the errno value of the failure.
    virtual int ioctl(int fd, unsigned long request, void* argument) = 0;
    // Maps `length` bytes of the node's buffer memory at `offset` for reading (shared): 0 with
    // the address in `mapping`, or the errno value of the failure.
    virtual int mmap(int fd, std::size_t length, std::int64_t offset, const void*& mapping) = 0;
    virtual void munmap(const void* mapping, std::size_t length) = 0;
};

// The kernel's nodes through libv4l2 (v4l2_open, v4l2_ioctl, v4l2_mmap...); interrupted calls
// are retried.
std::shared_ptr<V4l2Io> systemV4l2Io();

// The kernel's nodes past libv4l2: what a node really is (libv4l2's plugin presents a
// multi-planar node as a single-planar one) and streams whose planes' data offsets the plugin
// would drop. Interrupted calls are retried.
std::shared_ptr<V4l2Io> kernelV4l2Io();

}  // namespace capture
