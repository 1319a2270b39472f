#include "PictureProbe.h"

#include "capture/contract/CaptureError.h"
#include "capture/devices/CameraSettings.h"
#include "capture/devices/virtual/VirtualDevices.h"

#include <QtTest>

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

using namespace capture;
using namespace picture;

namespace {

// A source playing into an appsink that keeps only the newest frames, so a pull after a change
// is at most a few frames behind it.
class SourceRun {
public:
    explicit SourceRun(ElementPtr source)
        : m_pipeline(gst_pipeline_new(nullptr)), m_sink(gst_element_factory_make("appsink", nullptr))
    {
        g_object_set(m_sink.get(), "max-buffers", 2, "drop", TRUE, "sync", FALSE, nullptr);
        gst_bin_add_many(GST_BIN(m_pipeline.get()), source.get(), m_sink.get(), nullptr);
        if (!gst_element_link(source.get(), m_sink.get()))
            qFatal("cannot link the source to the sink");
        gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING);
    }
    ~SourceRun() { gst_element_set_state(m_pipeline.get(), GST_STATE_NULL); }

    SamplePtr pull() { return SamplePtr(gst_app_sink_try_pull_sample(GST_APP_SINK(m_sink.get()), 10 * GST_SECOND)); }

    // The frame after at least `stale` more that may have been drawn before now.
    QImage frameAfter(int stale = 3)
    {
        for (int i = 0; i < stale; ++i)
            pull();
        return image(pull());
    }

    static QImage image(const SamplePtr& sample)
    {
        if (!sample)
            return {};
        GstVideoInfo info;
        gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get()));
        GstVideoFrame frame;
        if (!gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample.get()), GST_MAP_READ))
            return {};
        QImage copy = QImage(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), info.width, info.height,
                             GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32)
                          .copy();
        gst_video_frame_unmap(&frame);
        return copy;
    }

private:
    ElementPtr m_pipeline;
    ElementPtr m_sink;
};

// Samples of a tone buffer: S16 interleaved.
std::vector<std::int16_t> samplesOf(const SamplePtr& sample)
{
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    std::vector<std::int16_t> samples(gst_buffer_get_size(buffer) / 2);
    gst_buffer_extract(buffer, 0, samples.data(), samples.size() * 2);
    return samples;
}

int stationChannel(Tuner& tuner, bool available, int skip = 0)
{
    for (const TunerChannel& channel : tuner.channels()) {
        if (channel.available == available && skip-- == 0)
            return int(channel.number);
    }
    qFatal("no such channel");
}

}  // namespace

class VirtualSourcesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }

    void eachFormatArrivesAsItsCapsSay_data()
    {
        QTest::addColumn<int>("device");  // 0 camera, 1 tuner
        QTest::addColumn<int>("input");
        QTest::addColumn<int>("format");
        VirtualDevices devices = createVirtualDevices();
        for (int f = 0; f < int(devices.camera->formats(0).size()); ++f)
            QTest::addRow("camera %s", devices.camera->formats(0)[f].name().c_str()) << 0 << 0 << f;
        for (int input : {0, 1})
            for (int f = 0; f < int(devices.tuner->formats(input).size()); ++f)
                QTest::addRow("tuner %d %s", input, devices.tuner->formats(input)[f].name().c_str()) << 1 << input << f;
    }

    void eachFormatArrivesAsItsCapsSay()
    {
        QFETCH(int, device);
        QFETCH(int, input);
        QFETCH(int, format);
        VirtualDevices devices = createVirtualDevices();
        VideoDevice& video = device == 0 ? *devices.camera : *devices.tuner;
        const VideoFormat wanted = video.formats(input)[std::size_t(format)];
        SourceRun run(video.createSource(input, wanted));
        GstClockTime previous = GST_CLOCK_TIME_NONE;
        for (int i = 0; i < 3; ++i) {
            SamplePtr sample = run.pull();
            QVERIFY(sample);
            GstVideoInfo info;
            QVERIFY(gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())));
            QCOMPARE(QString(gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info))),
                     QString::fromStdString(wanted.pixelFormat));
            QCOMPARE(info.width, wanted.width);
            QCOMPARE(info.height, wanted.height);
            QCOMPARE(info.fps_n, wanted.fpsNumerator);
            QCOMPARE(info.fps_d, wanted.fpsDenominator);
            GstBuffer* buffer = gst_sample_get_buffer(sample.get());
            QVERIFY(gst_buffer_get_size(buffer) >= info.size);
            QVERIFY(GST_BUFFER_PTS_IS_VALID(buffer));
            if (GST_CLOCK_TIME_IS_VALID(previous))
                QVERIFY(GST_BUFFER_PTS(buffer) > previous);
            previous = GST_BUFFER_PTS(buffer);
        }
    }

    void theCameraStreamsItsBarsAndFollowsItsSettings()
    {
        VirtualDevices devices = createVirtualDevices();
        SourceRun run(devices.camera->createSource(0, devices.camera->formats(0)[0]));
        const QImage bars = run.frameAfter(0);
        QCOMPARE(bars.size(), QSize(640, 480));
        QCOMPARE(bars.pixel(40, 240), qRgb(255, 255, 255));
        QCOMPARE(bars.pixel(120, 240), qRgb(255, 255, 0));
        QCOMPARE(bars.pixel(600, 240), qRgb(0, 0, 0));

        CameraSettings(devices.camera->controls()).set(Member::Brightness, 64);
        QVERIFY(meanLuma(run.frameAfter()) > meanLuma(bars) + 20);
        CameraSettings(devices.camera->controls()).set(Member::Brightness, 0);
        CameraSettings(devices.camera->controls()).set(Member::ColorEnable, 0);
        const QImage grey = run.frameAfter();
        QVERIFY(isGrey(grey, grey.rect()));
    }

    void theTunerShowsStationsAndSnow()
    {
        VirtualDevices devices = createVirtualDevices();
        Tuner& tuner = *devices.tuner->tuner();
        tuner.setCountryCode(49);
        SourceRun run(devices.tuner->createSource(0, devices.tuner->formats(0)[0]));
        const double untuned = grain(run.frameAfter(0));

        tuner.tune(stationChannel(tuner, true));
        const QImage first = run.frameAfter();
        tuner.tune(stationChannel(tuner, false));
        const double empty = grain(run.frameAfter());
        tuner.tune(stationChannel(tuner, true, 1));
        const QImage second = run.frameAfter();

        QVERIFY2(untuned > 3000, qPrintable(QString::number(untuned)));
        QVERIFY2(empty > 3000, qPrintable(QString::number(empty)));
        QVERIFY2(grain(first) < empty / 10, qPrintable(QString::number(grain(first))));
        QVERIFY2(grain(second) < empty / 10, qPrintable(QString::number(grain(second))));
        // Both are bars, told apart by the number drawn on them.
        QCOMPARE(first.pixel(10, 10), qRgb(255, 255, 255));
        QVERIFY(differingPixels(first.copy(0, 0, 640, 360), second.copy(0, 0, 640, 360)) > 1000);
    }

    void compositeShowsPlainBarsWhateverIsTuned()
    {
        VirtualDevices devices = createVirtualDevices();
        Tuner& tuner = *devices.tuner->tuner();
        tuner.setCountryCode(49);
        tuner.tune(stationChannel(tuner, false));
        SourceRun run(devices.tuner->createSource(1, devices.tuner->formats(1)[0]));
        const QImage frame = run.frameAfter(0);
        QCOMPARE(frame.pixel(200, 200), qRgb(0, 255, 255));
        QVERIFY(grain(frame) < 300);
        tuner.tune(stationChannel(tuner, true));
        const QImage tuned = run.frameAfter();
        QCOMPARE(tuned.copy(0, 0, 640, 360), frame.copy(0, 0, 640, 360));  // no number drawn
    }

    // Muting is the playback's business: the tone, which a recording takes, goes on.
    void theToneIsTheTunersSoundAndOutlastsMute()
    {
        VirtualDevices devices = createVirtualDevices();
        QCOMPARE(devices.tone->physicalDevice(), devices.tuner->physicalDevice());
        QVERIFY(devices.camera->physicalDevice().empty());
        SourceRun run(devices.tone->createSource());
        SamplePtr first = run.pull();
        QVERIFY(first);
        const GstStructure* caps = gst_caps_get_structure(gst_sample_get_caps(first.get()), 0);
        QCOMPARE(QString(gst_structure_get_string(caps, "format")), QString("S16LE"));

        devices.tuner->tuner()->setMute(true);
        for (int i = 0; i < 3; ++i)
            run.pull();
        const std::vector<std::int16_t> muted = samplesOf(run.pull());
        QVERIFY(*std::max_element(muted.begin(), muted.end()) > 8000);  // a clear tone, not a whisper
    }

    void whatADeviceCannotDeliverIsAnError()
    {
        VirtualDevices devices = createVirtualDevices();
        const VideoFormat good = devices.camera->formats(0)[0];
        QVERIFY_THROWS_EXCEPTION(CaptureError, devices.camera->createSource(1, good));
        QVERIFY_THROWS_EXCEPTION(CaptureError, devices.tuner->createSource(2, good));
        QVERIFY_THROWS_EXCEPTION(CaptureError, devices.camera->createSource(0, VideoFormat{"MJPG", 640, 480, 30, 1}));
        QVERIFY_THROWS_EXCEPTION(CaptureError, devices.camera->createSource(0, VideoFormat{"BGRx", 0, 480, 30, 1}));
        QVERIFY_THROWS_EXCEPTION(CaptureError, devices.camera->createSource(0, VideoFormat{"BGRx", 641, 480, 30, 1}));
        QVERIFY_THROWS_EXCEPTION(CaptureError, devices.camera->createSource(0, VideoFormat{"BGRx", 640, 480, 0, 1}));
        QVERIFY_THROWS_EXCEPTION(CaptureError, devices.camera->createSource(0, VideoFormat{"BGRx", 640, 480, 30, 0}));
    }
};

QTEST_GUILESS_MAIN(VirtualSourcesTest)
#include "VirtualSourcesTest.moc"
