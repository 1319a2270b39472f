// bench_long_recording: one long Motion JPEG + PCM recording (1280x720, 30 fps) on the test
// devices, printing the process's memory and open descriptors each minute. Both should stay flat.
//
//   build/ci/bench/bench_long_recording [minutes=10]

#include "capture/devices/virtual/VirtualDevices.h"
#include "capture/engine/CaptureEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

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

    // The control hands sound levels and run events to the thread that made it, as in the
    // programs: the event loop runs here too, or they would pile up unread.
    std::printf("minute  RSS (MB)  descriptors  recorded (s)  file (MB)  dropped\n");
    int minute = 0;
    const auto report = [&] {
        const CaptureStats stats = engine.stats();
        std::printf("%6d  %8.1f  %11d  %12.1f  %9.1f  %7lld\n", minute, residentKb() / 1024.0, descriptors(),
                    stats.recordedSeconds, stats.bytesWritten / 1e6, static_cast<long long>(stats.framesDropped));
        std::fflush(stdout);
        if (minute++ == minutes)
            app.quit();
    };
    report();
    QTimer everyMinute;
    QObject::connect(&everyMinute, &QTimer::timeout, report);
    everyMinute.start(std::chrono::minutes(1));
    app.exec();
    engine.stop();
    return 0;
}
