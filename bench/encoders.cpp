// Prints, for each compressor the control lists, what a recording with it costs on the virtual
// camera at 1280x720, 30 fps (video compressors) or on the test tone (audio compressors):
//   - frames kept of the frames captured (a compressor that cannot keep up drops some);
//   - CPU per second of the whole recording, and over an uncompressed recording's;
//   - how long start() took: until the compressor's first output;
//   - the file's length less the time from start() being called to stop() being called;
//   - the file's size per second;
//   - whether ffprobe and GStreamer read the file to its end.
// A compressor that takes only some picture sizes records the first of them.
//
// bench_encoders [seconds of each recording, default 10]

#include "ProcessCpu.h"
#include "capture/devices/EncoderCatalogue.h"
#include "capture/devices/virtual/VirtualDevices.h"
#include "capture/engine/CaptureEngine.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

using namespace capture;
using Clock = std::chrono::steady_clock;

namespace {

class NoView : public FrameSink {
public:
    void present(const QImage&) override {}
};

struct Figures {
    bool started = false;
    double startMs = 0;
    double cpuPerSecond = 0;
    double runSeconds = 0;  // from start() being called to stop() being called
    CaptureStats stats;
};

// Whether the tool exits cleanly and says nothing on its error output.
bool readsCleanly(const QString& program, const QStringList& arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(120000))
        return false;
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0 && tool.readAllStandardError().trimmed().isEmpty();
}

bool ffprobeReads(const std::string& file)
{
    return readsCleanly(QStringLiteral("ffprobe"), {"-v", "error", "-count_frames", "-show_entries", "stream=nb_read_frames",
                                                    "-of", "csv=p=0", QString::fromStdString(file)});
}

bool gstreamerReads(const std::string& file)
{
    return readsCleanly(QStringLiteral("gst-launch-1.0"),
                        {"-q", "filesrc", "location=" + QString::fromStdString(file), "!", "decodebin", "!", "fakesink"});
}

Figures record(CaptureEngine& engine, CaptureRequest request, int seconds)
{
    Figures figures;
    const double cpuBefore = bench::ownCpu();
    const auto starting = Clock::now();
    figures.started = engine.start(request) == Started;
    figures.startMs = std::chrono::duration<double, std::milli>(Clock::now() - starting).count();
    if (!figures.started) {
        engine.stop();
        return figures;
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    figures.runSeconds = std::chrono::duration<double>(Clock::now() - starting).count();
    engine.stop();
    figures.cpuPerSecond = (bench::ownCpu() - cpuBefore) / seconds;
    figures.stats = engine.stats();
    return figures;
}

void print(const std::string& name, const Figures& figures, std::optional<double> baseline, const std::string& file,
           bool video)
{
    if (!figures.started) {
        std::printf("%-56s does not start\n", name.c_str());
        return;
    }
    const CaptureStats& stats = figures.stats;
    const double seconds = std::max(stats.recordedSeconds, 0.001);
    char kept[32] = "-";
    if (video)
        std::snprintf(kept, sizeof kept, "%lld/%lld", static_cast<long long>(stats.framesCaptured - stats.framesDropped),
                      static_cast<long long>(stats.framesCaptured));
    std::printf("%-56s %10s %7.0f %7.0f %8.0f %7.0f %8.0f   %-3s %-3s\n", name.c_str(), kept, figures.cpuPerSecond * 1000,
                baseline ? (figures.cpuPerSecond - *baseline) * 1000 : 0.0, figures.startMs,
                (stats.recordedSeconds - figures.runSeconds) * 1000, stats.bytesWritten / seconds / 1000,
                ffprobeReads(file) ? "yes" : "NO", gstreamerReads(file) ? "yes" : "NO");
}

void header(const char* what)
{
    std::printf("\n%s\n%-56s %10s %7s %7s %8s %7s %8s   %-3s %-3s\n", what, "compressor", "kept", "cpu ms", "+cpu ms",
                "start ms", "len ms", "kB/s", "ffp", "gst");
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    QTemporaryDir folder;
    VirtualDevices devices = createVirtualDevices();
    const EncoderCatalogue catalogue = EncoderCatalogue::fromRegistry();
    NoView view;
    CaptureEngine engine(view);
    std::printf("%d s recordings; cpu: this process's CPU per second of recording, +cpu: over uncompressed;\n"
                "len: the file's length less the time from calling start() to calling stop()\n", seconds);

    CaptureRequest video;
    video.videoDevice = devices.camera.get();
    video.videoFormat = VideoFormat{"BGRx", 1280, 720, 30, 1};
    video.captureAudio = false;
    video.showPreview = false;
    video.toFile = true;
    header("Test Pattern Camera, BGRx 1280x720 30 fps");
    video.fileName = folder.filePath("uncompressed.avi").toStdString();
    const Figures plain = record(engine, video, seconds);
    print("(uncompressed)", plain, std::nullopt, video.fileName, true);
    for (const EncoderInfo& encoder : catalogue.video) {
        // One that takes only some sizes records its first.
        const PictureSize size = encoder.sizes.empty() ? PictureSize{1280, 720} : encoder.sizes.front();
        video.videoFormat = VideoFormat{"BGRx", size.width, size.height, 30, 1};
        video.videoEncoder = EncoderChoice{encoder.factory, {}};
        video.fileName = folder.filePath(QString::fromStdString(encoder.factory) + ".avi").toStdString();
        print(encoder.longName, record(engine, video, seconds), plain.cpuPerSecond, video.fileName, true);
        QFile::remove(QString::fromStdString(video.fileName));
    }

    CaptureRequest sound;
    sound.audioDevice = devices.tone.get();
    sound.captureVideo = false;
    sound.showPreview = false;
    sound.toFile = true;
    header("Test Tone");
    sound.fileName = folder.filePath("pcm.avi").toStdString();
    const Figures pcm = record(engine, sound, seconds);
    print("(PCM)", pcm, std::nullopt, sound.fileName, false);
    for (const EncoderInfo& encoder : catalogue.audio) {
        sound.audioEncoder = EncoderChoice{encoder.factory, {}};
        sound.fileName = folder.filePath(QString::fromStdString(encoder.factory) + ".avi").toStdString();
        print(encoder.longName, record(engine, sound, seconds), pcm.cpuPerSecond, sound.fileName, false);
    }
    return 0;
}
