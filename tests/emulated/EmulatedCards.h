#pragma once

// The emulated V4L2 cards a test runs with. CTest preloads the emulator and names the node
// directory (ORVEX_V4L2_DIR); the test makes the nodes there and removes them when done.

#include "capture/control/OrvexFactory.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <linux/videodev2.h>

#include <cerrno>
#include <memory>

namespace emulatedcards {

inline QString nodeDirectory()
{
    return qEnvironmentVariable("ORVEX_V4L2_DIR");
}

// Whether the emulator answers for the nodes; false when the test was started by hand without
// CTest's environment (or scripts/with-emulated-devices.sh).
inline bool emulatorPreloaded()
{
    return !nodeDirectory().isEmpty() && qEnvironmentVariable("LD_PRELOAD").contains("orvex_v4l2_emulator");
}

// video0 the webcam, video1 the TV card, video2 the Bayer camera, for the test's lifetime.
class EmulatedCards {
public:
    EmulatedCards()
    {
        QDir().mkpath(nodeDirectory());
        plug(0, "webcam");
        plug(1, "tvcard");
        plug(2, "bayer");
    }
    ~EmulatedCards()
    {
        for (int node = 0; node < 3; ++node)
            unplug(node);
    }
    EmulatedCards(const EmulatedCards&) = delete;
    EmulatedCards& operator=(const EmulatedCards&) = delete;

    static QString path(int node) { return QDir(nodeDirectory()).filePath(QStringLiteral("video%1").arg(node)); }

    static void plug(int node, const char* profile)
    {
        QFile file(path(node));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(QByteArray(profile) + '\n');
    }
    static void unplug(int node) { QFile::remove(path(node)); }
};

// One ioctl on the node, as another program (v4l2-ctl) would ask it: 0 or errno.
inline int askDevice(int node, unsigned long request, void* argument)
{
    const int fd = ::open(EmulatedCards::path(node).toLocal8Bit().constData(), O_RDWR | O_NONBLOCK);
    if (fd < 0)
        return errno;
    const int result = ::ioctl(fd, request, argument) == 0 ? 0 : errno;
    ::close(fd);
    return result;
}

inline std::int32_t controlValue(int node, std::uint32_t id)
{
    v4l2_control control{id, 0};
    return askDevice(node, VIDIOC_G_CTRL, &control) == 0 ? control.value : -99999;
}


}  // namespace emulatedcards
