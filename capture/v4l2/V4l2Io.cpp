#include "V4l2Io.h"

#include "V4l2Log.h"

#include <cerrno>
#include <cstring>
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
        if (fd < 0) {
            const int error = errno;
            qCDebug(lcV4l2, "%s cannot be opened: %s (errno %d)", path.c_str(), std::strerror(error), error);
            return -error;
        }
        qCDebug(lcV4l2, "%s opened as descriptor %d", path.c_str(), fd);
        return fd;
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
        if (result == 0)
            return 0;
        const int error = errno;
        // Enumerations end with EINVAL and optional requests answer ENOTTY: the log says all.
        qCDebug(lcV4l2, "ioctl 0x%lx on descriptor %d failed: %s (errno %d)", request, fd, std::strerror(error), error);
        return error;
    }
};

}  // namespace

std::shared_ptr<V4l2Io> systemV4l2Io()
{
    return std::make_shared<SystemV4l2Io>();
}

}  // namespace capture
