// Prints the CPU a 1920x1080 Motion JPEG recording from the emulated USB camera costs when the
// camera's own frames are stored (the engine with the Motion JPEG compressor chosen) against
// decoding and encoding every frame again (the same recording by gst-launch-1.0 with jpegdec !
// jpegenc, which is what the engine did before).
//
// Both figures include the emulated camera itself, which runs in the recording process and
// encodes its 30 different frames once, on first use.
//
// scripts/with-emulated-devices.sh build/ci/bench/bench_emulated_mjpeg [seconds, default 20]

#include "ProcessCpu.h"
#include "capture/engine/CaptureEngine.h"
#include "capture/v4l2/V4l2Devices.h"
#include "capture/v4l2/V4l2Io.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace capture;

namespace {

class NoView : public FrameSink {
public:
    void present(const QImage&) override {}
};

double reencodingCpu(const std::string& node, const std::string& file, int recordSeconds)
{
    return bench::gstLaunchCpu({"v4l2src", "device=" + node, "!", "image/jpeg,width=1920,height=1080,framerate=30/1", "!",
                                "videorate", "!", "jpegdec", "!", "videoconvert", "!", "jpegenc", "!", "avimux", "!",
                                "filesink", "location=" + file},
                               recordSeconds);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int recordSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const char* directory = std::getenv("ORVEX_V4L2_DIR");
    if (!directory) {
        std::fprintf(stderr, "Run under scripts/with-emulated-devices.sh: no emulated cards.\n");
        return 2;
    }
    const std::string node = std::string(directory) + "/video0";
    auto devices = openV4l2VideoDevices(systemV4l2Io(), directory);
    if (devices.empty() || devices.front()->name() != "Emulated USB Camera") {
        std::fprintf(stderr, "%s is not the emulated camera.\n", node.c_str());
        return 2;
    }
    VideoDevice* camera = devices.front().get();
    QTemporaryDir folder;
    NoView view;
    CaptureEngine engine(view);
    CaptureRequest request;
    request.videoDevice = camera;
    request.videoFormat = VideoFormat{"MJPG", 1920, 1080, 30, 1};
    request.showPreview = false;  // the recording alone, as in the gst-launch-1.0 graph
    request.toFile = true;
    request.fileName = folder.filePath("kept.avi").toStdString();
    request.videoEncoder = EncoderChoice{"jpegenc", {}};

    std::printf("%s, MJPG 1920x1080 30 fps, %d s recordings\n", camera->name().c_str(), recordSeconds);
    const double before = bench::ownCpu();
    if (engine.start(request) != Started)
        return 1;
    std::this_thread::sleep_for(std::chrono::seconds(recordSeconds));
    engine.stop();
    const double kept = bench::ownCpu() - before;
    const CaptureStats stats = engine.stats();
    const double reencoded = reencodingCpu(node, folder.filePath("reencoded.avi").toStdString(), recordSeconds);

    std::printf("  camera's frames stored (engine):      %6.2f s CPU, %lld frames, %.1f MB\n", kept,
                static_cast<long long>(stats.framesCaptured), stats.bytesWritten / 1e6);
    std::printf("  decoded and encoded again (gst-launch): %6.2f s CPU\n", reencoded);
    std::printf("  ratio:                                %6.2f\n", reencoded > 0 ? kept / reencoded : 0.0);
    return 0;
}
