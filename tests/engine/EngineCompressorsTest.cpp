// Every compressor the control offers records a second of the test camera's picture (at
// 1280x720, or the first size of one that takes only some) or of the test tone, into a file
// that GStreamer demuxes in that codec and decodes to its end.

#include "AviReadBack.h"
#include "TestDevices.h"

#include "capture/devices/EncoderCatalogue.h"
#include "capture/engine/CaptureEngine.h"
#include "capture/gst/GstHandle.h"

#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <thread>

using namespace capture;
using namespace capture::testing;

namespace {

class NoView : public FrameSink {
public:
    void present(const QImage&) override {}
};

// The first error a decode of the whole file meets; empty when it gets to the end.
QString decodeError(const std::string& file)
{
    GError* error = nullptr;
    const std::string description = "filesrc location=\"" + file + "\" ! decodebin ! fakesink";
    ElementPtr pipeline(gst_parse_launch(description.c_str(), &error));
    if (error) {
        const QString said = QString::fromUtf8(error->message);
        g_error_free(error);
        return said;
    }
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    GstHandle<GstBus> bus(gst_element_get_bus(pipeline.get()));
    GstMessage* message = gst_bus_timed_pop_filtered(bus.get(), 30 * GST_SECOND,
                                                     GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    QString said = message ? QString() : QStringLiteral("no end within 30 s");
    if (message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        gst_message_parse_error(message, &error, nullptr);
        said = QString::fromUtf8(error->message);
        g_error_free(error);
    }
    if (message)
        gst_message_unref(message);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return said;
}

}  // namespace

class EngineCompressorsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }

    void everyOfferedCompressorRecords_data()
    {
        QTest::addColumn<QString>("factory");
        QTest::addColumn<bool>("video");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        const EncoderCatalogue catalogue = EncoderCatalogue::fromRegistry();
        for (const EncoderInfo& encoder : catalogue.video) {
            const PictureSize size = encoder.sizes.empty() ? PictureSize{1280, 720} : encoder.sizes.front();
            QTest::newRow(encoder.factory.c_str()) << QString::fromStdString(encoder.factory) << true << size.width << size.height;
            // One that takes only some sizes keeps each, not only its first (DV's last has a
            // rate and pixel shape of its own).
            if (encoder.sizes.size() > 1) {
                const PictureSize last = encoder.sizes.back();
                QTest::addRow("%s at %dx%d", encoder.factory.c_str(), last.width, last.height)
                    << QString::fromStdString(encoder.factory) << true << last.width << last.height;
            }
        }
        for (const EncoderInfo& encoder : catalogue.audio)
            QTest::newRow(encoder.factory.c_str()) << QString::fromStdString(encoder.factory) << false << 0 << 0;
    }

    void everyOfferedCompressorRecords()
    {
        QFETCH(QString, factory);
        QFETCH(bool, video);
        QFETCH(int, width);
        QFETCH(int, height);
        QVERIFY(m_folder.isValid());
        CaptureRequest request = recording(m_devices, m_folder.filePath(factory + ".avi").toStdString());
        request.showPreview = false;
        if (video) {
            request.captureAudio = false;
            request.videoFormat = VideoFormat{"BGRx", width, height, 30, 1};
            request.videoEncoder = EncoderChoice{factory.toStdString(), {}};
        } else {
            request.captureVideo = false;
            request.audioEncoder = EncoderChoice{factory.toStdString(), {}};
        }
        CaptureEngine engine(m_view);
        QCOMPARE(engine.start(request), int(Started));
        std::this_thread::sleep_for(std::chrono::seconds(1));
        engine.stop();

        const AviReadBack file = readBack(request.fileName);
        QVERIFY(file.readable);
        QCOMPARE(file.codecs.size(), std::size_t(1));
        QVERIFY2(file.codecs.front() != (video ? "video/x-raw" : "audio/x-raw"), file.codecs.front().c_str());
        if (video)
            QCOMPARE(std::pair(file.width, file.height), std::pair(width, height));
        const QString error = decodeError(request.fileName);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

private:
    VirtualDevices m_devices = createVirtualDevices();
    NoView m_view;
    QTemporaryDir m_folder;
};

QTEST_MAIN(EngineCompressorsTest)
#include "EngineCompressorsTest.moc"
