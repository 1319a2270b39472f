// Prints what the capture engine costs on the virtual camera at 1280x720, 30 fps:
//   - start() to the first picture handed to the view, on the first start of the process and
//     on nine starts after it;
//   - CPU per second of preview;
//   - for a Motion JPEG + PCM recording, this process's CPU time over that of the same graph
//     run by gst-launch-1.0, the frames dropped, and how long stop() takes to close the file.
//
// bench_capture [seconds of recording, default 20] [rounds, default 1]
// With several rounds the two recordings alternate, so that load from elsewhere falls on both.

#include "ProcessCpu.h"
#include "capture/devices/virtual/VirtualDevices.h"
#include "capture/engine/CaptureEngine.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>


using namespace capture;
using Clock = std::chrono::steady_clock;

namespace {

class TimingSink : public FrameSink {
public:
    void present(const QImage&) override
    {
        if (m_frames++ == 0)
            m_first = Clock::now();
    }
    void reset() { m_frames = 0; }
    Clock::time_point first() const { return m_first; }
    int frames() const { return m_frames; }

private:
    std::atomic<int> m_frames{0};
    Clock::time_point m_first;
};

double millisecondsSince(Clock::time_point start, Clock::time_point end = Clock::now())
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// The graph the engine builds for this recording, as gst-launch-1.0 runs it; -e turns the
// interrupt into end-of-stream so the file is closed the same way.
double referenceCpu(const std::string& file, int recordSeconds)
{
    return bench::gstLaunchCpu({
        "videotestsrc", "is-live=true", "pattern=smpte", "!",
        "video/x-raw,format=BGRx,width=1280,height=720,framerate=30/1", "!", "tee", "name=t",
        "t.", "!", "queue", "leaky=downstream", "max-size-buffers=2", "!", "videoconvert", "!",
        "video/x-raw,format=BGRx", "!", "fakesink", "sync=false",
        "t.", "!", "queue", "leaky=upstream", "max-size-buffers=0", "max-size-bytes=0", "max-size-time=1000000000", "!",
        "videorate", "!", "videoconvert", "!", "jpegenc", "!", "mux.",
        "audiotestsrc", "is-live=true", "freq=1000", "!", "audio/x-raw,format=S16LE,rate=48000,channels=2", "!",
        "audioconvert", "!", "audioresample", "!", "audio/x-raw,format=S16LE", "!", "queue", "!", "mux.",
        "avimux", "name=mux", "!", "filesink", ("location=" + file)}, recordSeconds);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int recordSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    QTemporaryDir folder;
    VirtualDevices devices = createVirtualDevices();
    TimingSink sink;
    CaptureEngine engine(sink);

    CaptureRequest request;
    request.videoDevice = devices.camera.get();
    request.videoFormat = VideoFormat{"BGRx", 1280, 720, 30, 1};
    request.audioDevice = devices.tone.get();

    std::printf("Test Pattern Camera, %s\n", request.videoFormat->name().c_str());

    // The first start of the process, then the starts after it, each after half a second of
    // preview, as a user starts and stops.
    const auto firstPicture = [&]() -> double {
        sink.reset();
        const auto started = Clock::now();
        if (engine.start(request) != Started)
            return -1;
        while (sink.frames() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return millisecondsSince(started, sink.first());
    };
    const double first = firstPicture();
    if (first < 0)
        return 1;
    std::printf("start to first picture:       %8.1f ms\n", first);
    std::vector<double> later;
    for (int start = 0; start < 9; ++start) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        engine.stop();
        if (const double ms = firstPicture(); ms >= 0)
            later.push_back(ms);
    }
    std::sort(later.begin(), later.end());
    if (!later.empty())
        std::printf("  the %zu starts after it:       %8.1f ms median, %.1f to %.1f\n", later.size(), later[later.size() / 2],
                    later.front(), later.back());

    const int previewSeconds = 5;
    const double previewCpuBefore = bench::ownCpu();
    const int framesBefore = sink.frames();
    std::this_thread::sleep_for(std::chrono::seconds(previewSeconds));
    const double previewCpu = (bench::ownCpu() - previewCpuBefore) / previewSeconds;
    std::printf("preview CPU per second:       %8.1f ms (%d pictures a second)\n", previewCpu * 1000,
                (sink.frames() - framesBefore) / previewSeconds);
    engine.stop();

    request.toFile = true;
    request.videoEncoder = EncoderChoice{"jpegenc", {}};
    double ownTotal = 0;
    double referenceTotal = 0;
    for (int round = 1; round <= rounds; ++round) {
        request.fileName = folder.filePath("bench.avi").toStdString();
        const double cpuBefore = bench::ownCpu();
        if (engine.start(request) != Started)
            return 1;
        std::this_thread::sleep_for(std::chrono::seconds(recordSeconds));
        const auto stopping = Clock::now();
        engine.stop();
        const double stopMs = millisecondsSince(stopping);
        const double own = bench::ownCpu() - cpuBefore;
        const CaptureStats stats = engine.stats();
        const double reference = referenceCpu(folder.filePath("reference.avi").toStdString(), recordSeconds);
        ownTotal += own;
        referenceTotal += reference;

        std::printf("%d s Motion JPEG + PCM, round %d:\n", recordSeconds, round);
        std::printf("  CPU, this process:          %8.2f s\n", own);
        std::printf("  CPU, gst-launch-1.0:        %8.2f s\n", reference);
        std::printf("  ratio (target <= 1.15):     %8.2f\n", reference > 0 ? own / reference : 0.0);
        std::printf("  frames captured / dropped:  %8lld / %lld (target 0 dropped)\n",
                    static_cast<long long>(stats.framesCaptured), static_cast<long long>(stats.framesDropped));
        std::printf("  recorded:                   %8.2f s, %.1f MB\n", stats.recordedSeconds, stats.bytesWritten / 1e6);
        std::printf("  stop to file closed:        %8.1f ms\n", stopMs);
    }
    if (rounds > 1)
        std::printf("ratio over %d rounds:          %8.2f\n", rounds, referenceTotal > 0 ? ownTotal / referenceTotal : 0.0);
    return 0;
}
