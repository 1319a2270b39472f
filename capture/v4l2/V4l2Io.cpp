#include "V4l2Io.h"

#include <cerrno>
#include <fcntl.h>
#include <libv4l2.h>

namespace capture {
namespace {

// Through libv4l2: a camera that only delivers formats GStreamer cannot take (Bayer, vendor
// formats) also lists formats the library converts to in software, marked
// V4L2_FMT_FLAG_EMULATED; everything else reaches the driver unchanged.
class SystemV4l2Io final : public V4l2Io {
public:
    int open(const std::string& path) override
    {
        // Non-blocking so that probing a node never waits on a driver; nothing here reads frames.
        int fd;
        do {
            fd = v4l2_open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        return fd >= 0 ? fd : -errno;
    }

    void close(int fd) override
    {
        // Retrying close after EINTR could close a descriptor another thread just received.
        v4l2_close(fd);
    }

    int ioctl(int fd, unsigned long request, void* argument) override
    {
        int result;
        do {
            result = v4l2_ioctl(fd, request, argument);
        } while (result < 0 && errno == EINTR);
        return result < 0 ? errno : 0;
    }
};

}  // namespace

std::shared_ptr<V4l2Io> systemV4l2Io()
{
    return std::make_shared<SystemV4l2Io>();
}

}  // namespace capture
