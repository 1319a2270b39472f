// A recording that ends badly (full disk, lost device, killed process) still leaves a file
// that reads back up to the failure.

#include "AviReadBack.h"
#include "CountingFrameSink.h"
#include "TestDevices.h"
#include "capture/contract/CaptureError.h"
#include "capture/devices/GstElements.h"
#include "capture/devices/virtual/VirtualDevices.h"
#include "capture/engine/CaptureEngine.h"
#include "capture/engine/FailureMessage.h"
#include "capture/engine/GraphParts.h"
#include "capture/v4l2/V4l2MappedSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <thread>

#include <sys/mount.h>

using namespace capture;
using namespace capture::testing;

Q_DECLARE_METATYPE(PatternCamera::Behaviour)
Q_DECLARE_METATYPE(PipelineFailure::Part)

namespace {

constexpr const char* kChildVariable = "ENGINE_TEST_RECORD_UNTIL_KILLED";

// The child: records to the named file and waits to be killed.
int recordUntilKilled(const char* fileName)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    gst_init(nullptr, nullptr);
    VirtualDevices devices = createVirtualDevices();
    CountingFrameSink frames;
    CaptureEngine engine(frames);
    CaptureRequest request;
    request.videoDevice = devices.camera.get();
    request.videoFormat = VideoFormat{"BGRx", 320, 240, 30, 1};
    request.audioDevice = devices.tone.get();
    request.toFile = true;
    request.fileName = fileName;
    request.videoEncoder = EncoderChoice{"jpegenc", {}};
    // The file's clock starts somewhere inside start(): its length bounds how far it is ahead
    // of the parent's, which starts when start() has returned.
    QElapsedTimer starting;
    starting.start();
    const int status = engine.start(request);
    std::printf("%d %lld\n", status, static_cast<long long>(starting.elapsed()));
    std::fflush(stdout);
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

}  // namespace

class EngineFailureTest : public QObject {
    Q_OBJECT

private:
    VirtualDevices m_devices = createVirtualDevices();
    CountingFrameSink m_frames;
    QTemporaryDir m_folder;

    CaptureRequest preview() const { return capture::testing::preview(m_devices); }

    CaptureRequest recording(const QString& path) const
    {
        return capture::testing::recording(m_devices, path.toStdString());
    }

private slots:
    void initTestCase()
    {
        gst_init(nullptr, nullptr);
        QVERIFY(m_folder.isValid());
    }

    void aFullDiskClosesTheRecordingAndKeepsThePreview()
    {
        const QString disk = m_folder.filePath("small disk");
        QVERIFY(QDir().mkpath(disk));
        if (::mount("tmpfs", disk.toLocal8Bit().constData(), "tmpfs", 0, "size=64m") != 0)
            QSKIP("mounting a small tmpfs needs root");
        struct Unmount {
            QString path;
            ~Unmount() { ::umount2(path.toLocal8Bit().constData(), MNT_DETACH); }
        } unmount{disk};

        std::string message;
        CaptureEngine engine(m_frames);
        engine.setErrorHandler([&message](const std::string& text) { message = text; });
        CaptureRequest request = recording(disk + "/full.avi");  // about 9 MB a second
        QCOMPARE(engine.start(request), int(Started));
        QTRY_VERIFY_WITH_TIMEOUT(!message.empty(), 20000);

        qInfo("%s", message.c_str());
        QVERIFY2(message.find("disk is full") != std::string::npos, message.c_str());
        QVERIFY2(message.find("saved to") != std::string::npos, message.c_str());
        const CaptureStats stats = engine.stats();
        QVERIFY(stats.running);
        QVERIFY(!stats.recording);
        const int shown = m_frames.frames();
        QTRY_VERIFY(m_frames.frames() > shown + 5);

        const AviReadBack file = readBack(request.fileName);
        QVERIFY(file.hasIndex);
        QCOMPARE(file.codecs.size(), std::size_t(2));
        QVERIFY2(file.videoEnd > 1.0, qPrintable(QString::number(file.videoEnd)));
        QVERIFY(std::abs(file.videoEnd - stats.recordedSeconds) < 0.5);
        QVERIFY(std::abs(file.videoFrames - 30 * file.videoEnd) <= 1.0);
        engine.stop();
    }

    void aLostDeviceClosesTheRecordingAndSaysSo_data()
    {
        QTest::addColumn<PatternCamera::Behaviour>("ending");
        QTest::newRow("error") << PatternCamera::Behaviour::FailsAfter;
        QTest::newRow("end of stream") << PatternCamera::Behaviour::EndsAfter;
    }

    void aLostDeviceClosesTheRecordingAndSaysSo()
    {
        QFETCH(PatternCamera::Behaviour, ending);
        PatternCamera failing{{smallFormat("YUY2")}, ending, 45};
        std::string message;
        CaptureEngine engine(m_frames);
        engine.setErrorHandler([&message](const std::string& text) { message = text; });
        CaptureRequest request = recording(m_folder.filePath(QString("lost %1.avi").arg(QTest::currentDataTag())));
        request.videoDevice = &failing;
        request.videoFormat = smallFormat("YUY2");
        QCOMPARE(engine.start(request), int(Started));
        QTRY_VERIFY_WITH_TIMEOUT(!message.empty(), 10000);

        qInfo("%s", message.c_str());
        QVERIFY2(message.find("video device \"Pattern camera\" stopped") != std::string::npos, message.c_str());
        QVERIFY(!engine.stats().running);
        const AviReadBack file = readBack(request.fileName);
        QVERIFY(file.hasIndex);
        QVERIFY2(file.videoFrames >= 40, qPrintable(QString::number(file.videoFrames)));

        // The engine stays usable.
        QCOMPARE(engine.start(preview()), int(Started));
    }

    // Start keeps its statuses, and the part that failed is named with its device or element.
    void aFailingPartIsNamed_data()
    {
        QTest::addColumn<PatternCamera::Behaviour>("camera");
        QTest::addColumn<bool>("failingMicrophone");
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<bool>("record");
        QTest::addColumn<bool>("fileIsAFolder");
        QTest::addColumn<PipelineFailure::Part>("part");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("says");
        using B = PatternCamera::Behaviour;
        using P = PipelineFailure::Part;
        QTest::newRow("video source") << B::WrongFormat << false << "" << true << false << P::VideoSource << "Pattern camera" << "";
        QTest::newRow("audio source") << B::Live << true << "" << true << false << P::AudioSource << "Failing microphone" << "";
        // Frames that are no pictures are skipped; a device that sends nothing else fails.
        QTest::newRow("undecodable pictures") << B::CorruptJpeg << false << "" << false << false << P::VideoSource << "Pattern camera" << "";
        QTest::newRow("encoder") << B::Live << false << "no-such-encoder" << true << false << P::Encoder << "no-such-encoder" << "";
        // An encoder that takes only some sizes is refused another before anything runs.
        QTest::newRow("encoder of other sizes") << B::Live << false << "avenc_dvvideo" << true << false << P::Encoder
                                                << "avenc_dvvideo" << "720x576";
        QTest::newRow("file") << B::Live << false << "" << true << true << P::File << "" << "";
    }

    void aFailingPartIsNamed()
    {
        QFETCH(PatternCamera::Behaviour, camera);
        QFETCH(bool, failingMicrophone);
        QFETCH(QString, encoder);
        QFETCH(bool, record);
        QFETCH(bool, fileIsAFolder);
        QFETCH(PipelineFailure::Part, part);
        QFETCH(QString, named);
        QFETCH(QString, says);
        const VideoFormat format = smallFormat(camera == PatternCamera::Behaviour::CorruptJpeg ? "MJPG" : "YUY2");
        PatternCamera device{{format}, camera};
        capture::testing::ToneMicrophone microphone(failingMicrophone);
        CaptureEngine engine(m_frames);
        QString file = m_folder.filePath(QString("part %1.avi").arg(QTest::currentDataTag()));
        if (fileIsAFolder)
            QVERIFY(QDir(m_folder.path()).mkpath(file));
        CaptureRequest request = record ? recording(file) : preview();
        request.videoDevice = &device;
        request.videoFormat = format;
        request.audioDevice = &microphone;
        if (!encoder.isEmpty())
            request.videoEncoder = EncoderChoice{encoder.toStdString(), {}};

        if (record) {
            QCOMPARE(engine.start(request), int(CannotRecord));
            QVERIFY(fileIsAFolder || !QFileInfo::exists(file));
        } else {
            QVERIFY_THROWS_EXCEPTION(CaptureError, engine.start(request));
        }
        QVERIFY(engine.lastFailure());
        const PipelineFailure& failure = *engine.lastFailure();
        qInfo("%s", startFailureMessage(failure).c_str());
        QCOMPARE(failure.part, part);
        QCOMPARE(QString::fromStdString(failure.element), fileIsAFolder ? file : named);
        QVERIFY(startFailureMessage(failure).find(culprit(failure)) != std::string::npos);
        QVERIFY(startFailureMessage(failure).find(says.toStdString()) != std::string::npos);
    }

    // A video source's error that carries what its device answered is told as that: a busy
    // device (v4l2src's "busy", the errno in the control's own source's debug text), and no
    // USB bandwidth at stream start, which is never a full disk.
    void aSourceErrorSaysWhatTheDeviceAnswered_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("debug");
        QTest::addColumn<int>("deviceError");
        QTest::addColumn<QString>("advice");
        const QString busy = QString("Camera: could not start: %1 (errno 16)").arg(g_strerror(EBUSY));
        const QString full = QString("Camera: could not start: %1 (errno 28)").arg(g_strerror(ENOSPC));
        QTest::newRow("v4l2src busy") << int(GST_RESOURCE_ERROR_BUSY) << "" << EBUSY << "close that program";
        QTest::newRow("busy errno") << int(GST_RESOURCE_ERROR_FAILED) << busy << EBUSY << "close that program";
        QTest::newRow("no bandwidth") << int(GST_RESOURCE_ERROR_FAILED) << full << ENOSPC << "USB connection";
        QTest::newRow("no space") << int(GST_RESOURCE_ERROR_NO_SPACE_LEFT) << full << ENOSPC << "USB connection";
    }

    void aSourceErrorSaysWhatTheDeviceAnswered()
    {
        QFETCH(int, code);
        QFETCH(QString, debug);
        QFETCH(int, deviceError);
        QFETCH(QString, advice);
        const ElementPtr source(gst_element_factory_make("fakesrc", nullptr));
        gst_object_ref_sink(source.get());
        GraphParts parts;
        parts.add(source.get(), PipelineFailure::Part::VideoSource, "Camera");
        GError* error = g_error_new_literal(GST_RESOURCE_ERROR, code, "Could not start");
        GstMessage* message = gst_message_new_error(GST_OBJECT(source.get()), error, debug.toUtf8().constData());
        const PipelineFailure failure = classifyError(message, parts);
        gst_message_unref(message);
        g_error_free(error);

        QCOMPARE(failure.deviceError, deviceError);
        QVERIFY(!failure.diskFull);
        for (const std::string& said : {startFailureMessage(failure), failureMessage(failure, CaptureStats{}, true)}) {
            QVERIFY2(QString::fromStdString(said).contains(advice), said.c_str());
            QVERIFY2(!QString::fromStdString(said).contains("disk"), said.c_str());
        }
    }

    // The source element of a node of its own posts the node, the step and the errno; the
    // words are the catalogue's.
    void aStreamRefusalIsSaidInTheCataloguesWords()
    {
        const CapsPtr caps(gst_caps_from_string("video/x-raw,format=YUY2,width=640,height=480,framerate=30/1"));
        const ElementPtr pipeline(gst_pipeline_new(nullptr));
        const ElementPtr source = createV4l2MappedSource("/nonexistent/video0", V4l2MappedStream::Api::MultiPlanar,
                                                         V4L2_PIX_FMT_YUYV, caps.get());
        const ElementPtr sink = makeElement("fakesink");
        gst_bin_add_many(GST_BIN(pipeline.get()), source.get(), sink.get(), nullptr);
        QVERIFY(gst_element_link(source.get(), sink.get()));
        gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
        const BusPtr bus(gst_element_get_bus(pipeline.get()));
        const MessagePtr error(gst_bus_timed_pop_filtered(bus.get(), 5 * GST_SECOND, GST_MESSAGE_ERROR));
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        QVERIFY(error);
        const GstStructure* details = nullptr;
        gst_message_parse_error_details(error.get(), &details);
        const std::optional<DeviceFailure> refusal = streamFailureOf(details);
        QVERIFY(refusal);
        QCOMPARE(refusal->error, ENOENT);
        QCOMPARE(deviceFailureMessage(*refusal),
                 std::string("The video device \"/nonexistent/video0\" could not be opened (No such file or directory)."));
    }

    void aStartThatFailsLeavesAnExistingFileAsItWas_data()
    {
        QTest::addColumn<QByteArray>("earlier");
        QTest::newRow("with content") << QByteArray(100000, 'e');
        QTest::newRow("empty") << QByteArray();
    }

    void aStartThatFailsLeavesAnExistingFileAsItWas()
    {
        QFETCH(QByteArray, earlier);
        const QString name = m_folder.filePath(QString("kept %1.avi").arg(QTest::currentDataTag()));
        QFile existing(name);
        QVERIFY(existing.open(QIODevice::WriteOnly) && existing.write(earlier) == earlier.size());
        existing.close();

        // The muxer has written for a while when the camera fails, before the (slow) view
        // has shown a picture: the start fails late.
        struct SlowView : FrameSink {
            void present(const QImage&) override { std::this_thread::sleep_for(std::chrono::seconds(2)); }
        } slowView;
        PatternCamera failing{{smallFormat("YUY2")}, PatternCamera::Behaviour::FailsAfter, 15};
        CaptureRequest request = recording(name);
        request.videoDevice = &failing;
        request.videoFormat = smallFormat("YUY2");
        CaptureEngine engine(slowView);
        QVERIFY_THROWS_EXCEPTION(CaptureError, engine.start(request));

        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), earlier);
        existing.close();

        // A start that succeeds replaces it.
        CaptureEngine working(m_frames);
        QCOMPARE(working.start(recording(name)), int(Started));
        QTest::qWait(1000);
        working.stop();
        const AviReadBack file = readBack(name.toStdString());
        QVERIFY(file.hasIndex);
        QVERIFY2(file.videoEnd > 0.5, qPrintable(QString::number(file.videoEnd)));
    }

    void aKilledProcessLeavesAReadableFile()
    {
        const QString name = m_folder.filePath("killed.avi");
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(kChildVariable, name);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(15000));
        const QList<QByteArray> started = child.readLine().trimmed().split(' ');
        QCOMPARE(started.value(0), QByteArray("0"));
        QElapsedTimer recording;
        recording.start();
        QTest::qWait(2500);
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        // What was captured up to the kill, at most: the file's clock ran during start() too.
        const double captured = (recording.elapsed() + started.value(1).toInt()) / 1000.0;
        QVERIFY(child.waitForFinished());

        const AviReadBack file = readBack(name.toStdString());
        qInfo("captured up to %.2f s before the kill; read back %.2f s of pictures, %.2f s of sound", captured,
              file.videoEnd, file.audioEnd);
        QVERIFY(file.readable);
        QCOMPARE(file.codecs.size(), std::size_t(2));
        // Only what was in flight to the muxer is lost: a frame or two and a buffer of sound.
        // The bound leaves room for a loaded machine that lags behind its sources.
        constexpr double kLoss = 0.3;
        QVERIFY2(file.videoEnd >= captured - kLoss, qPrintable(QString("pictures: %1 s of %2 s").arg(file.videoEnd).arg(captured)));
        QVERIFY2(file.audioEnd >= captured - kLoss, qPrintable(QString("sound: %1 s of %2 s").arg(file.audioEnd).arg(captured)));
    }
};

int main(int argc, char** argv)
{
    if (const char* fileName = std::getenv(kChildVariable))
        return recordUntilKilled(fileName);
    QCoreApplication app(argc, argv);
    EngineFailureTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "EngineFailureTest.moc"
