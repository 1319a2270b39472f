// Interlaced pictures on the built-in TV tuner: two fields a frame, each taken at its own
// moment; the preview shows each field as a whole picture, in order, shaped as a TV shows it.

#include "AviReadBack.h"
#include "TestDevices.h"
#include "capture/devices/PixelShape.h"
#include "capture/devices/virtual/VirtualDevices.h"
#include "capture/engine/CaptureEngine.h"
#include "capture/engine/DeinterlacerInput.h"
#include "tests/virtual/PictureProbe.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/video/video.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using namespace capture;

namespace {

// Where the tuner's moving marker is: the middle of the strip along the bottom of the picture.
int markerRow(int height)
{
    const int stripTop = height * 17 / 20;
    return (stripTop + height) / 2 & ~1;  // an even line: the top field's
}

QRect markerRows(const QImage& image)
{
    const int half = image.height() / 30;
    return QRect(0, markerRow(image.height()) - half, image.width(), 2 * half);
}

// The marker's left edge on a line; -1 where the line has none.
int markerLeft(const QImage& image, int y)
{
    for (int x = 0; x < image.width(); ++x)
        if (picture::luma(image.pixel(x, y)) > 230)
            return x;
    return -1;
}

struct Shown {
    int markerLeft;
    picture::Combing combing;
    double pixelAspect;
};

// Measures each preview picture as it arrives: the view keeps only the newest.
class MeasuringSink : public FrameSink {
public:
    void present(const QImage& frame) override
    {
        const Shown shown{markerLeft(frame, markerRow(frame.height())), picture::combing(frame, markerRows(frame)),
                          pixelAspect(frame)};
        std::lock_guard lock(m_mutex);
        if (m_collecting)
            m_shown.push_back(shown);
    }
    void collect(bool on)
    {
        std::lock_guard lock(m_mutex);
        m_collecting = on;
    }
    std::vector<Shown> shown() const
    {
        std::lock_guard lock(m_mutex);
        return m_shown;
    }

private:
    mutable std::mutex m_mutex;
    bool m_collecting = false;
    std::vector<Shown> m_shown;
};

int tunedToAStation(Tuner& tuner)
{
    tuner.setCountryCode(49);
    for (const TunerChannel& channel : tuner.channels())
        if (channel.available) {
            tuner.tune(int(channel.number));
            return int(channel.number);
        }
    qFatal("no station");
}

QImage imageOf(const SamplePtr& sample)
{
    GstVideoInfo info;
    gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get()));
    GstMapInfo map;
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    gst_buffer_map(buffer, &map, GST_MAP_READ);
    QImage image = QImage(map.data, info.width, info.height, int(info.stride[0]), QImage::Format_RGB32).copy();
    gst_buffer_unmap(buffer, &map);
    return image;
}

// A driver's picture as a mapping shows it: the picture ends at a page boundary and the next
// page is not mapped, so a read past its last line faults.
class GuardedPicture {
public:
    explicit GuardedPicture(std::size_t size)
        : m_page(std::size_t(sysconf(_SC_PAGESIZE))), m_mapped((size + m_page - 1) / m_page * m_page + m_page)
    {
        m_base = static_cast<std::uint8_t*>(mmap(nullptr, m_mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(m_base + m_mapped - m_page, m_page, PROT_NONE);
        data = m_base + m_mapped - m_page - size;
    }
    ~GuardedPicture() { munmap(m_base, m_mapped); }
    GuardedPicture(const GuardedPicture&) = delete;
    GuardedPicture& operator=(const GuardedPicture&) = delete;
    std::uint8_t* data = nullptr;

private:
    std::size_t m_page;
    std::size_t m_mapped;
    std::uint8_t* m_base = nullptr;
};

// The third byte of a HuffYUV stream's extradata, after the 40-byte bitmap header in its
// "strf" chunk: 0x10 where the frames were coded as two fields, 0x20 where as one picture.
int huffyuvFieldFlag(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray head = file.read(64 * 1024);
    const qsizetype strf = head.indexOf("strf");
    return strf < 0 || strf + 8 + 40 + 3 > head.size() ? -1 : std::uint8_t(head[strf + 8 + 40 + 2]);
}

}  // namespace

class InterlacedPictureTest : public QObject {
    Q_OBJECT

private:
    VirtualDevices m_devices = createVirtualDevices();

    static void addFormats()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("topFieldFirst");
        QTest::addColumn<double>("pixelAspect");
        QTest::newRow("625 lines") << 720 << 576 << 25 << true << 59.0 / 54;
        QTest::newRow("525 lines") << 640 << 480 << 30 << false << 1.0;
    }

private slots:
    void initTestCase()
    {
        gst_init(nullptr, nullptr);
        tunedToAStation(*m_devices.tuner->tuner());
    }

    void tunerSendsTwoFieldsTakenApart_data() { addFormats(); }

    void tunerSendsTwoFieldsTakenApart()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, rate);
        QFETCH(bool, topFieldFirst);
        ElementPtr pipeline(gst_pipeline_new(nullptr));
        ElementPtr source = m_devices.tuner->createSource(0, VideoFormat{"BGRx", width, height, rate, 1});
        ElementPtr sink(gst_element_factory_make("appsink", nullptr));
        gst_bin_add_many(GST_BIN(pipeline.get()), source.get(), sink.get(), nullptr);
        QVERIFY(gst_element_link(source.get(), sink.get()));
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);

        for (int frame = 0; frame < 4; ++frame) {
            SamplePtr sample(gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), 5 * GST_SECOND));
            QVERIFY(sample);
            const GstStructure* caps = gst_caps_get_structure(gst_sample_get_caps(sample.get()), 0);
            QCOMPARE(gst_structure_get_string(caps, "interlace-mode"), "interleaved");
            QCOMPARE(gst_structure_get_string(caps, "field-order"), topFieldFirst ? "top-field-first" : "bottom-field-first");
            const QImage image = imageOf(sample);
            QVERIFY(picture::combing(image, markerRows(image)).combed());
            // The marker moves right: the field taken first has it further left.
            const int row = markerRow(height);
            const int top = markerLeft(image, row);
            const int bottom = markerLeft(image, row + 1);
            QVERIFY(top >= 0 && bottom >= 0);
            QCOMPARE(top < bottom, topFieldFirst);
        }
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    }

    // The deinterlacer gets copies of the pictures, padded after their last line: its history
    // never holds the source's buffers, and its read-ahead never leaves memory of its own.
    void theDeinterlacerReadsOnlyCopiesWithRoomAfterThem_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("YUY2 640x480") << "YUY2" << 640 << 480;
        QTest::newRow("UYVY 720x576") << "UYVY" << 720 << 576;
        QTest::newRow("I420 720x576") << "I420" << 720 << 576;
    }

    void theDeinterlacerReadsOnlyCopiesWithRoomAfterThem()
    {
        QFETCH(QString, format);
        QFETCH(int, width);
        QFETCH(int, height);
        GstVideoInfo info;
        gst_video_info_set_interlaced_format(&info, gst_video_format_from_string(qPrintable(format)),
                                             GST_VIDEO_INTERLACE_MODE_INTERLEAVED, guint(width), guint(height));
        GST_VIDEO_INFO_FIELD_ORDER(&info) = GST_VIDEO_FIELD_ORDER_TOP_FIELD_FIRST;
        info.fps_n = 25;
        const CapsPtr caps(gst_video_info_to_caps(&info));
        GuardedPicture picture(info.size);
        for (gsize i = 0; i < info.size; ++i)
            picture.data[i] = std::uint8_t(i * 7);

        ElementPtr pipeline(gst_pipeline_new(nullptr));
        GstElement* source = gst_element_factory_make("appsrc", nullptr);
        GstElement* deinterlace = gst_element_factory_make("deinterlace", nullptr);
        GstElement* sink = gst_element_factory_make("fakesink", nullptr);
        gst_util_set_object_arg(G_OBJECT(deinterlace), "method", "greedyh");
        g_object_set(source, "caps", caps.get(), "format", GST_FORMAT_TIME, nullptr);
        gst_bin_add_many(GST_BIN(pipeline.get()), source, deinterlace, sink, nullptr);
        QVERIFY(gst_element_link_many(source, deinterlace, sink, nullptr));
        PadPtr input(gst_element_get_static_pad(deinterlace, "sink"));
        copyInterlacedPicturesInto(input.get());
        struct Seen {
            const std::uint8_t* source;
            gsize size;
            int pictures = 0;
            int intact = 0;  // a copy of the source's picture, its flags kept, a page of room after it
        } seen{picture.data, info.size};
        gst_pad_add_probe(
            input.get(), GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo* probe, gpointer data) {
                auto& seen = *static_cast<Seen*>(data);
                GstBuffer* buffer = gst_pad_probe_info_get_buffer(probe);
                GstMemory* memory = gst_buffer_peek_memory(buffer, 0);
                GstMapInfo map;
                gst_memory_map(memory, &map, GST_MAP_READ);
                const gsize room = memory->maxsize - memory->offset - memory->size;
                seen.pictures++;
                seen.intact += map.data != seen.source && map.size == seen.size && room >= 4096
                               && std::memcmp(map.data, seen.source, map.size) == 0
                               && GST_BUFFER_FLAG_IS_SET(buffer, GST_VIDEO_BUFFER_FLAG_TFF);
                gst_memory_unmap(memory, &map);
                return GST_PAD_PROBE_OK;
            },
            &seen, nullptr);
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
        const int frames = 8;
        for (int frame = 0; frame < frames; ++frame) {
            GstBuffer* buffer = gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, picture.data, info.size, 0, info.size,
                                                            nullptr, nullptr);
            GST_BUFFER_PTS(buffer) = GstClockTime(frame) * GST_SECOND / 25;
            GST_BUFFER_DURATION(buffer) = GST_SECOND / 25;
            GST_BUFFER_FLAG_SET(buffer, GST_VIDEO_BUFFER_FLAG_INTERLACED);
            GST_BUFFER_FLAG_SET(buffer, GST_VIDEO_BUFFER_FLAG_TFF);
            QCOMPARE(gst_app_src_push_buffer(GST_APP_SRC(source), buffer), GST_FLOW_OK);
        }
        gst_app_src_end_of_stream(GST_APP_SRC(source));
        MessagePtr done(gst_bus_timed_pop_filtered(BusPtr(gst_element_get_bus(pipeline.get())).get(), 10 * GST_SECOND,
                                                   GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        QVERIFY(done && GST_MESSAGE_TYPE(done.get()) == GST_MESSAGE_EOS);
        QCOMPARE(seen.pictures, frames);
        QCOMPARE(seen.intact, frames);
    }

    // A recording says how its pictures were taken: its video properties header describes two
    // fields in the order they were taken, and a compressor that codes interlace itself is told
    // (HuffYUV predicts each field from its own lines); a progressive picture is neither. A
    // compressor that cannot code interlace (Motion JPEG) gets one deinterlaced picture a frame,
    // and the header says one field. The file keeps a picture a frame and plays to its end
    // through its index.
    void recordingSaysHowItsFieldsWereTaken_data()
    {
        QTest::addColumn<int>("input");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<int>("huffyuvFlag");  // -1: not HuffYUV
        QTest::addColumn<QList<int>>("fieldStartLines");  // in the order taken; empty for one field
        QTest::addColumn<double>("pixelAspect");
        QTest::addColumn<bool>("combed");  // the moving marker in the file's pictures
        QTest::newRow("Television 625 lines, HuffYUV") << 0 << 720 << 576 << 25 << "avenc_huffyuv" << 0x10
                                                       << QList<int>{0, 1} << 59.0 / 54 << true;
        QTest::newRow("Television 525 lines, uncompressed") << 0 << 640 << 480 << 30 << "" << -1 << QList<int>{1, 0} << 1.0
                                                            << true;
        QTest::newRow("Television 625 lines, Motion JPEG") << 0 << 720 << 576 << 25 << "jpegenc" << -1 << QList<int>{}
                                                           << 59.0 / 54 << false;
        // libav's refuses interlaced pictures; it refers back to earlier pictures.
        QTest::newRow("Television 525 lines, MPEG-4 v3") << 0 << 640 << 480 << 30 << "avenc_msmpeg4" << -1 << QList<int>{}
                                                         << 1.0 << false;
        QTest::newRow("Composite, HuffYUV") << 1 << 720 << 576 << 25 << "avenc_huffyuv" << 0x20 << QList<int>{} << 59.0 / 54
                                            << false;
    }

    void recordingSaysHowItsFieldsWereTaken()
    {
        QFETCH(int, input);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, rate);
        QFETCH(QString, encoder);
        QFETCH(int, huffyuvFlag);
        QFETCH(QList<int>, fieldStartLines);
        QFETCH(double, pixelAspect);
        QFETCH(bool, combed);
        QTemporaryDir folder;
        MeasuringSink sink;
        CaptureEngine engine(sink);
        CaptureRequest request;
        request.videoDevice = m_devices.tuner.get();
        request.videoInput = input;
        request.videoFormat = VideoFormat{"YUY2", width, height, rate, 1};
        request.showPreview = false;
        request.captureAudio = false;
        request.toFile = true;
        request.fileName = folder.filePath(QStringLiteral("fields.avi")).toStdString();
        if (!encoder.isEmpty())
            request.videoEncoder = EncoderChoice{encoder.toStdString(), {}};
        QElapsedTimer recording;
        recording.start();
        QCOMPARE(engine.start(request), int(Started));
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        QElapsedTimer stopping;
        stopping.start();
        engine.stop();
        qInfo("stop to closed file %lld ms", stopping.elapsed());
        const qint64 recorded = recording.elapsed();
        if (huffyuvFlag >= 0)
            QCOMPARE(huffyuvFieldFlag(QString::fromStdString(request.fileName)), huffyuvFlag);

        const testing::AviReadBack file = testing::readBack(request.fileName);
        QVERIFY(file.readable);
        QVERIFY(file.hasIndex);
        QVERIFY(file.videoFrames > 0);
        // A picture a frame, not one a field.
        QVERIFY2(file.videoFrames <= recorded * rate / 1000 + 1, qPrintable(QString::number(file.videoFrames)));
        // The marker sweeps right for two seconds from the start.
        const QImage stored = testing::recordedFrame(request.fileName, file.videoFrames / 2);
        QVERIFY(!stored.isNull());
        const picture::Combing inFile = picture::combing(stored, markerRows(stored));
        QVERIFY2(inFile.combed() == combed, qPrintable(QStringLiteral("%1 against %2").arg(inFile.betweenFields).arg(inFile.withinField)));
        const auto& properties = file.videoProperties;
        if (fieldStartLines.isEmpty()) {
            QVERIFY(properties.fields.size() <= 1);
            return;
        }
        QList<int> startLines;
        for (const auto& field : properties.fields) {
            QCOMPARE(field.height, height / 2);
            startLines.push_back(field.startLine);
        }
        QCOMPARE(startLines, fieldStartLines);
        // The frame's aspect is its size shaped by its pixels: 295:216 (1.37, about 4:3) for
        // 720x576 with 59:54 pixels.
        QCOMPARE(QSize(properties.width, properties.height), QSize(width, height));
        QVERIFY(properties.aspectDenominator > 0);
        const double aspect = double(properties.aspectNumerator) / properties.aspectDenominator;
        QVERIFY2(std::abs(aspect * height / width - pixelAspect) < 1e-6,
                 qPrintable(QStringLiteral("%1:%2").arg(properties.aspectNumerator).arg(properties.aspectDenominator)));
    }

    // Each field becomes a whole picture, at the field rate, in the order they were taken, and
    // shaped by its pixels' aspect. Fields taken the wrong way round would show the marker
    // stepping back every other picture.
    void previewShowsEveryFieldWholeInOrder_data() { addFormats(); }

    void previewShowsEveryFieldWholeInOrder()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, rate);
        QFETCH(double, pixelAspect);
        MeasuringSink sink;
        CaptureEngine engine(sink);
        CaptureRequest request;
        request.videoDevice = m_devices.tuner.get();
        request.videoFormat = VideoFormat{"YUY2", width, height, rate, 1};
        sink.collect(true);
        QCOMPARE(engine.start(request), int(Started));
        // The marker sweeps right for two seconds from the start.
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        sink.collect(false);
        engine.stop();

        const std::vector<Shown> shown = sink.shown();
        QVERIFY2(shown.size() >= 10, qPrintable(QString::number(shown.size())));
        const int frameStep = width / 60;  // how far the marker moves in a frame's time
        int fieldSteps = 0;
        for (std::size_t index = 0; index < shown.size(); ++index) {
            QVERIFY2(!shown[index].combing.combed(), qPrintable(QStringLiteral("picture %1: %2 against %3")
                                                                    .arg(index)
                                                                    .arg(shown[index].combing.betweenFields)
                                                                    .arg(shown[index].combing.withinField)));
            QVERIFY(std::abs(shown[index].pixelAspect - pixelAspect) < 0.01);
            if (index == 0)
                continue;
            const int step = shown[index].markerLeft - shown[index - 1].markerLeft;
            QVERIFY2(step >= 0, qPrintable(QStringLiteral("picture %1 stepped back by %2").arg(index).arg(-step)));
            // The edge of a field's picture is drawn between its lines: about half a frame's motion, give or take a pixel.
            fieldSteps += step > 0 && step < frameStep;
        }
        // Pictures a field apart: the preview runs at the field rate (some may be dropped on a
        // loaded machine, so not every step is one field).
        QString steps;
        for (std::size_t index = 1; index < shown.size(); ++index)
            steps += QString::number(shown[index].markerLeft - shown[index - 1].markerLeft) + ' ';
        QVERIFY2(fieldSteps >= 3, qPrintable(QStringLiteral("%1 steps of a field's motion in: %2").arg(fieldSteps).arg(steps)));
    }
};

QTEST_GUILESS_MAIN(InterlacedPictureTest)
#include "InterlacedPictureTest.moc"
