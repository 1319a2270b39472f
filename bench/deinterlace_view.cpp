// Prints what the view of a 720x576 picture at 25 frames a second costs, with and without
// deinterlacing, as CPU seconds per second of preview (getrusage, so load from other processes
// does not count):
//   - the capture engine previewing the "Test Pattern TV Tuner": its "Television" input sends
//     interlaced pictures (deinterlaced for the view, 50 pictures a second), its "Composite"
//     input progressive ones (passed through, 25 a second);
//   - each of the deinterlacer's methods in the same graph run by gst-launch-1.0, against none.
//
// bench_deinterlace_view [seconds per run, default 10] [rounds, default 1]

#include "ProcessCpu.h"
#include "capture/devices/virtual/VirtualDevices.h"
#include "capture/engine/CaptureEngine.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace capture;

namespace {

class CountingSink : public FrameSink {
public:
    void present(const QImage&) override { ++m_frames; }
    int frames() const { return m_frames; }

private:
    std::atomic<int> m_frames{0};
};

struct Figures {
    double cpuPerSecond;
    double picturesPerSecond;
};

Figures enginePreview(VideoDevice& tuner, int input, int seconds)
{
    CountingSink sink;
    CaptureEngine engine(sink);
    CaptureRequest request;
    request.videoDevice = &tuner;
    request.videoInput = input;
    request.videoFormat = VideoFormat{"YUY2", 720, 576, 25, 1};
    const double before = bench::ownCpu();
    if (engine.start(request) != int(Started))
        return {0, 0};
    const int framesBefore = sink.frames();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const int shown = sink.frames() - framesBefore;
    engine.stop();
    return {(bench::ownCpu() - before) / seconds, double(shown) / seconds};
}

double launchedPreview(const std::string& method, int seconds)
{
    std::vector<std::string> pipeline = {
        "videotestsrc", "is-live=true", "pattern=ball", "!",
        "video/x-raw,format=YUY2,width=720,height=576,framerate=25/1,interlace-mode=interleaved,"
        "field-order=top-field-first", "!"};
    if (!method.empty())
        pipeline.insert(pipeline.end(), {"deinterlace", "method=" + method, "!"});
    pipeline.insert(pipeline.end(), {"videoconvert", "!", "video/x-raw,format=BGRx", "!", "fakesink", "sync=false"});
    return bench::gstLaunchCpu(pipeline, seconds) / seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    gst_init(&argc, &argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    VirtualDevices devices = createVirtualDevices();

    for (int round = 1; round <= rounds; ++round) {
        std::printf("round %d, %d s a run, CPU seconds per second (1.00 = one core)\n", round, seconds);
        const Figures interlaced = enginePreview(*devices.tuner, 0, seconds);
        std::printf("  engine, Television (interlaced, greedyh): %.3f  (%.1f pictures/s)\n", interlaced.cpuPerSecond,
                    interlaced.picturesPerSecond);
        const Figures progressive = enginePreview(*devices.tuner, 1, seconds);
        std::printf("  engine, Composite (progressive):          %.3f  (%.1f pictures/s)\n", progressive.cpuPerSecond,
                    progressive.picturesPerSecond);
        for (const char* method : {"", "linear", "greedyl", "greedyh", "tomsmocomp", "yadif"})
            std::printf("  gst-launch-1.0, %-10s               %.3f\n", *method ? method : "none",
                        launchedPreview(method, seconds));
        std::fflush(stdout);
    }
    return 0;
}
