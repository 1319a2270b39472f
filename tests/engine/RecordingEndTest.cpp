// The picture branch's end behind videorate, as a recording has it: the pictures reach the
// stop whatever came last, and what was taken after the stop is left out.

#include "capture/engine/RecordingEnd.h"
#include "capture/gst/GstHandle.h"

#include <QTest>

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>

using namespace capture;

namespace {

constexpr double kFrame = 1.0 / 30;

// Pictures at every frame from `from` up to `to` (seconds, both included).
QList<double> everyFrame(double from, double to)
{
    QList<double> times;
    for (double t = from; t <= to + kFrame / 4; t += kFrame)
        times << t;
    return times;
}

GstClockTime ns(double seconds) { return GstClockTime(seconds * GST_SECOND + 0.5); }

// The end (seconds) of what comes out of videorate and the recording's end, given pictures at
// `times` and a stop at `stop`.
double recordedEnd(const QList<double>& times, double stop)
{
    ElementPtr pipeline(gst_pipeline_new(nullptr));
    GstElement* source = gst_element_factory_make("appsrc", nullptr);
    GstElement* rate = gst_element_factory_make("videorate", nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    CapsPtr caps(gst_caps_from_string("video/x-raw, format=GRAY8, width=8, height=8, framerate=30/1"));
    g_object_set(source, "caps", caps.get(), "format", GST_FORMAT_TIME, nullptr);
    g_object_set(rate, "skip-to-first", TRUE, nullptr);
    g_object_set(sink, "sync", FALSE, "wait-on-eos", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), source, rate, sink, nullptr);
    gst_element_link_many(source, rate, sink, nullptr);
    PadPtr behindRate(gst_element_get_static_pad(sink, "sink"));
    const auto end = RecordingEnd::attach(behindRate.get(), nullptr);
    end->stopAt(ns(stop));

    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    for (const double t : times) {
        GstBuffer* picture = gst_buffer_new_allocate(nullptr, 64, nullptr);
        GST_BUFFER_PTS(picture) = ns(t);
        GST_BUFFER_DURATION(picture) = ns(kFrame);
        gst_app_src_push_buffer(GST_APP_SRC(source), picture);
    }
    gst_app_src_end_of_stream(GST_APP_SRC(source));
    BusPtr bus(gst_element_get_bus(pipeline.get()));
    MessagePtr done(gst_bus_timed_pop_filtered(bus.get(), 10 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    GstClockTime last = 0;
    while (SamplePtr sample{gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 0)}) {
        GstBuffer* picture = gst_sample_get_buffer(sample.get());
        last = std::max(last, GST_BUFFER_PTS(picture) + GST_BUFFER_DURATION(picture));
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return done && GST_MESSAGE_TYPE(done.get()) == GST_MESSAGE_EOS ? double(last) / GST_SECOND : -1;
}

}  // namespace

class RecordingEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }

    void picturesEndAtTheStop_data()
    {
        QTest::addColumn<QList<double>>("times");
        QTest::addColumn<double>("end");
        QTest::newRow("every frame to the stop") << everyFrame(0, 3.97) << 4.0;
        QTest::newRow("pictures after the stop") << everyFrame(0, 4.5) << 4.0;
        QTest::newRow("the frames before the stop lost") << everyFrame(0, 3.5) << 4.0;
        // A recording queue that fell behind its compressor: nothing for 0.8 s, then one picture.
        QTest::newRow("one picture after a gap") << everyFrame(0, 3.17) + QList<double>{3.97} << 4.0;
        // Beyond two seconds the device is gone: its stream is left where it ended.
        QTest::newRow("the device gone") << everyFrame(0, 0.97) << 1.0;
    }

    void picturesEndAtTheStop()
    {
        QFETCH(QList<double>, times);
        QFETCH(double, end);
        const double ended = recordedEnd(times, 4.0);
        QVERIFY2(std::abs(ended - end) <= kFrame / 2, qPrintable(QStringLiteral("the pictures end at %1 s").arg(ended)));
    }
};

QTEST_GUILESS_MAIN(RecordingEndTest)
#include "RecordingEndTest.moc"
