// bench_long_recording: one long Motion JPEG + PCM recording (1280x720, 30 fps) on the test
// devices, printing the process's memory and open descriptors each minute. Both should stay flat.
//
//   build/ci/bench/bench_long_recording [minutes=10]

#include "capture/devices/virtual/VirtualDevices.h"
#include "capture/engine/CaptureEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

using namespace capture;

namespace {

class NoView : public FrameSink {
public:
    void present(const QImage&) override {}
};

long residentKb()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE) / 1024;
}

// What the program holds from malloc, as against what the allocator keeps from the system.
double heapInUseMb()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

int descriptors()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int minutes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    QTemporaryDir folder;
    VirtualDevices devices = createVirtualDevices();
    NoView view;
    CaptureEngine engine(view);

    CaptureRequest request;
    request.videoDevice = devices.camera.get();
    request.videoFormat = VideoFormat{"BGRx", 1280, 720, 30, 1};
    request.audioDevice = devices.tone.get();
    request.toFile = true;
    request.fileName = folder.filePath("long.avi").toStdString();
    request.videoEncoder = EncoderChoice{"jpegenc", {}};
    if (engine.start(request) != Started)
        return 1;

    std::printf("minute  RSS (MB)  heap in use (MB)  descriptors  recorded (s)  file (MB)  dropped\n");
    for (int minute = 0; minute <= minutes; ++minute) {
        if (minute > 0)
            std::this_thread::sleep_for(std::chrono::minutes(1));
        const CaptureStats stats = engine.stats();
        std::printf("%6d  %8.1f  %16.1f  %11d  %12.1f  %9.1f  %7lld\n", minute, residentKb() / 1024.0, heapInUseMb(),
                    descriptors(),
                    stats.recordedSeconds, stats.bytesWritten / 1e6, static_cast<long long>(stats.framesDropped));
        std::fflush(stdout);
    }
    engine.stop();
    return 0;
}
