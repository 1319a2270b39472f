#include "V4l2Io.h"

#include "V4l2Log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libv4l2.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace capture {
namespace {

// The calls a node is reached with: libv4l2's or the C library's, which take the same arguments.
struct NodeCalls {
    const char* name;
    int (*open)(const char* path, int flags);
    int (*close)(int fd);
    int (*ioctl)(int fd, unsigned long request, void* argument);
    void* (*mmap)(void* address, std::size_t length, int protection, int flags, int fd, std::int64_t offset);
    int (*munmap)(void* address, std::size_t length);
};

const NodeCalls throughLibv4l2{
    "libv4l2",
    [](const char* path, int flags) { return v4l2_open(path, flags); },
    v4l2_close,
    [](int fd, unsigned long request, void* argument) { return v4l2_ioctl(fd, request, argument); },
    v4l2_mmap,
    v4l2_munmap,
};

const NodeCalls straightToKernel{
    "kernel",
    [](const char* path, int flags) { return ::open(path, flags); },
    ::close,
    [](int fd, unsigned long request, void* argument) { return ::ioctl(fd, request, argument); },
    [](void* address, std::size_t length, int protection, int flags, int fd, std::int64_t offset) {
        return ::mmap(address, length, protection, flags, fd, off_t(offset));
    },
    ::munmap,
};

// Through libv4l2: a camera that only delivers formats GStreamer cannot take (Bayer, vendor
// formats) also lists formats the library converts to in software, marked
// V4L2_FMT_FLAG_EMULATED; everything else reaches the driver unchanged.
class SystemV4l2Io final : public V4l2Io {
public:
    explicit SystemV4l2Io(const NodeCalls& calls) : m_calls(calls) {}

    int open(const std::string& path) override
    {
        // Non-blocking so that probing a node never waits on a driver; frames are waited for
        // with poll.
        int fd;
        do {
            fd = m_calls.open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            const int error = errno;
            qCDebug(lcV4l2, "%s cannot be opened (%s): %s (errno %d)", path.c_str(), m_calls.name, std::strerror(error), error);
            return -error;
        }
        qCDebug(lcV4l2, "%s opened as descriptor %d (%s)", path.c_str(), fd, m_calls.name);
        return fd;
    }

    void close(int fd) override
    {
        // Retrying close after EINTR could close a descriptor another thread just received.
        m_calls.close(fd);
    }

    int ioctl(int fd, unsigned long request, void* argument) override
    {
        int result;
        do {
            result = m_calls.ioctl(fd, request, argument);
        } while (result < 0 && errno == EINTR);
        if (result == 0)
            return 0;
        const int error = errno;
        // Enumerations end with EINVAL and optional requests answer ENOTTY: the log says all.
        qCDebug(lcV4l2, "ioctl 0x%lx on descriptor %d failed: %s (errno %d)", request, fd, std::strerror(error), error);
        return error;
    }

    int mmap(int fd, std::size_t length, std::int64_t offset, const void*& mapping) override
    {
        void* const address = m_calls.mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, offset);
        if (address == MAP_FAILED) {
            const int error = errno;
            qCDebug(lcV4l2, "mmap of %zu bytes at %lld on descriptor %d failed: %s (errno %d)", length,
                    static_cast<long long>(offset), fd, std::strerror(error), error);
            return error;
        }
        mapping = address;
        return 0;
    }

    void munmap(const void* mapping, std::size_t length) override
    {
        m_calls.munmap(const_cast<void*>(mapping), length);
    }

private:
    const NodeCalls& m_calls;
};

}  // namespace

std::shared_ptr<V4l2Io> systemV4l2Io()
{
    return std::make_shared<SystemV4l2Io>(throughLibv4l2);
}

std::shared_ptr<V4l2Io> kernelV4l2Io()
{
    return std::make_shared<SystemV4l2Io>(straightToKernel);
}

}  // namespace capture
