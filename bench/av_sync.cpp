// bench_av_sync: picture and sound in step in recordings of the test camera and tone, read
// from the files alone. Four cases: Motion JPEG + PCM and MPEG-4 + MP3, each started from a
// running preview and from a stopped control. For each it prints the first pair's offset of
// sound against picture (positive: the beep comes after the flash), the drift from the first
// pair to the last, and how long picture and sound last.
//
//   build/ci/bench/bench_av_sync [minutes=10]      each case records that long
//   build/ci/bench/bench_av_sync --read FILE.avi   one file's pairs, a line each
//   build/ci/bench/bench_av_sync --device VIDEO FORMAT SOUND SECONDS [ENCODER]
//       records from the listed devices (names as orvex-info lists them, FORMAT as
//       "YUY2 320x180 1 fps", or a listed mode at another whole rate) with PCM sound, and prints how long picture and sound last;
//       ENCODER is the video encoder's element (default jpegenc), "none" for the device's
//       own pictures uncompressed
//   AV_SYNC_KEEP=1 keeps the recordings (in $TMPDIR) for a look afterwards

#include "capture/devices/virtual/VirtualDevices.h"
#include "capture/engine/CaptureEngine.h"
#include "tests/support/sync/SyncMarkReader.h"
#include "capture/v4l2/V4l2Discovery.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>

using namespace capture;

namespace {

class NoView : public FrameSink {
public:
    void present(const QImage&) override {}
};

struct Case {
    const char* name;
    const char* video;
    const char* audio;  // nullptr: PCM
    bool fromPreview;
};

int readOne(const char* path)
{
    const SyncReading reading = readSyncMarks(path);
    if (!reading.error.empty()) {
        std::fprintf(stderr, "%s\n", reading.error.c_str());
        return 1;
    }
    std::printf("pair  picture (s)  offset (ms)\n");
    for (std::size_t i = 0; i < reading.offsetsMs.size(); ++i)
        std::printf("%4zu  %11.3f  %11.1f\n", i + 1, reading.flashes[i], reading.offsetsMs[i]);
    std::printf("flashes %zu, beeps %zu, drift %.1f ms, picture %.3f s, sound %.3f s\n", reading.flashes.size(),
                reading.beeps.size(), reading.driftMs(), reading.pictureEnd, reading.soundEnd);
    return 0;
}

template <typename Name>
int indexByName(int count, const std::string& wanted, Name name)
{
    for (int i = 0; i < count; ++i)
        if (name(i) == wanted)
            return i;
    std::fprintf(stderr, "No device \"%s\"; these are listed:\n", wanted.c_str());
    for (int i = 0; i < count; ++i)
        std::fprintf(stderr, "  %s\n", name(i).c_str());
    return -1;
}

// Runs the event loop for that long, as the programs do while recording.
void runFor(QCoreApplication& app, std::chrono::milliseconds time)
{
    QTimer::singleShot(time, &app, &QCoreApplication::quit);
    app.exec();
}

int recordDevice(QCoreApplication& app, const std::string& video, const std::string& format,
                 const std::string& sound, double seconds, const std::string& encoder)
{
    const DeviceCatalogue devices = discoverDevices();
    const int v = indexByName(devices.videoCount(), video, [&](int i) { return devices.videoName(i); });
    const int a = indexByName(devices.audioCount(), sound, [&](int i) { return devices.audioName(i); });
    if (v < 0 || a < 0)
        return 2;
    CaptureRequest request;
    request.videoDevice = &devices.video(v);
    // The control lists each mode at its fastest and common rates; a driver often has slower
    // ones too ("YUY2 320x180 1 fps" on vivid): a listed mode at another whole rate is asked for
    // as it is.
    int fps = 0;
    const std::size_t rateAt = format.rfind(' ', format.size() > 4 ? format.size() - 5 : 0);
    if (rateAt != std::string::npos && format.ends_with(" fps"))
        fps = std::atoi(format.c_str() + rateAt + 1);
    for (const VideoFormat& offered : request.videoDevice->formats(0)) {
        if (offered.name() == format) {
            request.videoFormat = offered;
            break;
        }
        VideoFormat atRate = offered;
        atRate.fpsNumerator = fps;
        atRate.fpsDenominator = 1;
        if (fps > 0 && !request.videoFormat && atRate.name() == format)
            request.videoFormat = atRate;
    }
    if (!request.videoFormat) {
        std::fprintf(stderr, "\"%s\" does not offer \"%s\"; it offers:\n", video.c_str(), format.c_str());
        for (const VideoFormat& offered : request.videoDevice->formats(0))
            std::fprintf(stderr, "  %s\n", offered.name().c_str());
        return 2;
    }
    request.audioDevice = &devices.audio(a);
    QTemporaryDir folder;
    request.toFile = true;
    request.fileName = folder.filePath("device.avi").toStdString();
    if (encoder != "none")
        request.videoEncoder = EncoderChoice{encoder, {}};
    NoView view;
    CaptureEngine engine(view);
    if (engine.start(request) != Started)
        return 1;
    runFor(app, std::chrono::milliseconds(static_cast<long long>(seconds * 1000)));
    engine.stop();
    const SyncReading reading = readSyncMarks(request.fileName);
    const CaptureStats stats = engine.stats();
    std::printf("%s, %s, %s, %s: picture %.3f s, sound %.3f s, difference %.1f ms, captured %lld, dropped %lld%s%s\n",
                video.c_str(), format.c_str(), encoder.c_str(), sound.c_str(), reading.pictureEnd, reading.soundEnd,
                (reading.pictureEnd - reading.soundEnd) * 1000, static_cast<long long>(stats.framesCaptured),
                static_cast<long long>(stats.framesDropped), reading.error.empty() ? "" : ", ", reading.error.c_str());
    return reading.error.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    gst_init(nullptr, nullptr);
    if (argc > 2 && std::strcmp(argv[1], "--read") == 0)
        return readOne(argv[2]);
    if (argc > 5 && std::strcmp(argv[1], "--device") == 0)
        return recordDevice(app, argv[2], argv[3], argv[4], std::atof(argv[5]), argc > 6 ? argv[6] : "jpegenc");
    const double minutes = argc > 1 ? std::max(0.1, std::atof(argv[1])) : 10;
    const auto length = std::chrono::milliseconds(static_cast<long long>(minutes * 60'000));

    QTemporaryDir folder;
    folder.setAutoRemove(qEnvironmentVariableIsEmpty("AV_SYNC_KEEP"));
    VirtualDevices devices = createVirtualDevices();
    NoView view;
    CaptureEngine engine(view);
    const Case cases[] = {
        {"Motion JPEG + PCM, from preview", "jpegenc", nullptr, true},
        {"Motion JPEG + PCM, from stopped", "jpegenc", nullptr, false},
        {"MPEG-4 + MP3, from preview", "avenc_mpeg4", "lamemp3enc", true},
        {"MPEG-4 + MP3, from stopped", "avenc_mpeg4", "lamemp3enc", false},
    };
    std::printf("%.1f min per case, 640x480 30 fps\n", minutes);
    std::printf("%-34s  pairs  first (ms)  drift (ms)  picture (s)  sound (s)\n", "case");
    for (const Case& c : cases) {
        CaptureRequest request;
        request.videoDevice = devices.camera.get();
        request.videoFormat = VideoFormat{"BGRx", 640, 480, 30, 1};
        request.audioDevice = devices.tone.get();
        if (c.fromPreview) {
            if (engine.start(request) != Started)
                return 1;
            runFor(app, std::chrono::seconds(3));
        }
        request.toFile = true;
        request.fileName = folder.filePath(QString::fromUtf8(c.video) + (c.fromPreview ? "-p.avi" : "-s.avi")).toStdString();
        request.videoEncoder = EncoderChoice{c.video, {}};
        if (c.audio)
            request.audioEncoder = EncoderChoice{c.audio, {}};
        if (engine.start(request) != Started)
            return 1;
        runFor(app, length);
        engine.stop();
        const SyncReading reading = readSyncMarks(request.fileName);
        if (!reading.error.empty() || reading.offsetsMs.empty()) {
            std::printf("%-34s  %s\n", c.name, reading.error.empty() ? "no pairs found" : reading.error.c_str());
            continue;
        }
        std::printf("%-34s  %5zu  %10.1f  %10.1f  %11.3f  %9.3f\n", c.name, reading.offsetsMs.size(),
                    reading.offsetsMs.front(), reading.driftMs(), reading.pictureEnd, reading.soundEnd);
        std::fflush(stdout);
    }
    return 0;
}
