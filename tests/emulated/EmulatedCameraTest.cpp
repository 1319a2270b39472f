// The real control previewing and recording from the emulated USB camera, through v4l2src.

#include "EmulatedCards.h"

#include "capture/devices/PixelShape.h"
#include "capture/control/OrvexCore.h"
#include "tests/support/sync/SyncMarkReader.h"
#include "tests/support/emulator/EmulatedPictures.h"
#include "capture/view/VideoView.h"
#include "tests/control/ControlRig.h"
#include "tests/engine/AviReadBack.h"
#include "tests/virtual/PictureProbe.h"

#include <QComboBox>
#include <QDir>
#include <QScopeGuard>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <set>

using namespace capture;

namespace {

const std::string Camera = "Emulated USB Camera";

struct Rig {
    emulatedcards::EmulatedCards cards;
    QWidget window;
    Orvex* orvex = new Orvex(&window);  // finds the cards as on any machine
    QTemporaryDir folder;

    Rig()
    {
        orvex->resize(320, 240);
        window.show();
        orvex->put(Member::CaptureAudio, Value::boolean(false));
    }

    void choose(const std::string& format)
    {
        orvex->put(Member::VideoDevice, Value::i16(controltest::indexOf(*orvex, Member::VideoDevices, Camera)));
        const int index = controltest::indexOf(*orvex, Member::VideoFormats, format);
        QVERIFY2(index >= 0, format.c_str());
        orvex->put(Member::VideoFormat, Value::i16(static_cast<std::int16_t>(index)));
    }

    // Starts recording and waits until frames come.
    std::string startRecording()
    {
        const std::string file = folder.filePath("emulated.avi").toStdString();
        orvex->put(Member::CaptureToFile, Value::boolean(true));
        orvex->put(Member::CaptureFileName, Value::text(file));
        [&] { QCOMPARE(orvex->call(Member::Start), Value::i16(0)); }();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(orvex->core().statistics().framesCaptured > 0, 20000); }();
        return file;
    }
};

// Makes the emulated TV card (the second node) a card of another profile, one that answers the
// interlaced layout with `field`. The emulator keeps a node's card while its file is the same
// (its inode), so the new file is made beside the old one and put in its place; a file made
// right after another was removed may get its inode back, and the old card with it, so this is
// done again until the card answers as its profile does.
void replugTvCard(const char* profile, std::uint32_t field)
{
    const QString path = emulatedcards::EmulatedCards::path(1);
    for (int attempt = 0; attempt < 3; ++attempt) {
        QFile file(path + QStringLiteral(".new"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(profile) + '\n') > 0);
        file.close();
        QVERIFY(std::rename(qPrintable(file.fileName()), qPrintable(path)) == 0);
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        format.fmt.pix.width = 768;
        format.fmt.pix.height = 576;
        format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
        format.fmt.pix.field = V4L2_FIELD_INTERLACED;
        if (emulatedcards::askDevice(1, VIDIOC_TRY_FMT, &format) == 0 && format.fmt.pix.field == field)
            return;
    }
    QFAIL(profile);
}

void startTvCardComposite(Rig& rig)
{
    rig.orvex->put(Member::VideoDevice,
                   Value::i16(controltest::indexOf(*rig.orvex, Member::VideoDevices, "Emulated TV Card")));
    rig.orvex->put(Member::TVCountryCode, Value::f64(49));
    rig.orvex->put(Member::VideoInput, Value::i16(1));  // Composite: a picture without tuning
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

std::set<std::string> cameraJpegDigests(std::uint32_t width, std::uint32_t height)
{
    std::set<std::string> digests;
    for (std::uint32_t frame = 0; frame < emulated::cameraCycle; ++frame)
        for (const bool marked : {false, true}) {
            const auto& jpeg = emulated::cameraJpegFrame(width, height, frame, marked);
            gchar* digest = g_compute_checksum_for_data(G_CHECKSUM_SHA1, jpeg.data(), jpeg.size());
            digests.emplace(digest);
            g_free(digest);
        }
    return digests;
}

}  // namespace

class EmulatedCameraTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        if (!emulatedcards::emulatorPreloaded())
            QFAIL("Run through ctest, or under scripts/with-emulated-devices.sh: the emulated cards need the emulator preloaded.");
    }

    void previewFramesArrive()
    {
        Rig rig;
        rig.choose("YUY2 640x480 30 fps");
        QCOMPARE(rig.orvex->call(Member::Start), Value::i16(0));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.orvex->view().lastFrame().isNull(), 20000);
        const qint64 first = rig.orvex->view().lastFrame().cacheKey();
        QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->view().lastFrame().cacheKey() != first, 5000);
        QVERIFY2(rig.orvex->view().errorText().isEmpty(), qPrintable(rig.orvex->view().errorText()));
        rig.orvex->call(Member::Stop);
    }

    // Each run opens the node, maps buffers and streams; none of it may stay behind.
    void startAndStopKeepDescriptorsFlat()
    {
        Rig rig;
        rig.choose("MJPG 1280x720 30 fps");
        const auto cycle = [&] {
            const qint64 shown = rig.orvex->view().lastFrame().cacheKey();
            QCOMPARE(rig.orvex->call(Member::Start), Value::i16(0));
            QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->view().lastFrame().cacheKey() != shown, 20000);
            rig.orvex->call(Member::Stop);
        };
        cycle();
        const int before = openDescriptors();
        for (int round = 0; round < 10; ++round)
            cycle();
        // A v4l2src that orphans its buffer pool on stop keeps the pool, the node's duplicate
        // and its poll sockets alive: six descriptors a run.
        QCOMPARE(openDescriptors(), before);
    }

    void threeSecondRecordingsReadBack_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("motionJpegCompressor");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("brokenEvery");  // ORVEX_EMULATED_BROKEN_EVERY; 0 for none
        QTest::newRow("YUYV uncompressed") << "YUY2 640x480 30 fps" << false << "video/x-raw" << 640 << 480 << 0;
        QTest::newRow("MJPEG 1080p as it comes") << "MJPG 1920x1080 30 fps" << false << "image/jpeg" << 1920 << 1080 << 0;
        // Motion JPEG chosen for a Motion JPEG camera: the camera's own frames, not re-encoded.
        QTest::newRow("MJPEG 1080p, Motion JPEG compressor") << "MJPG 1920x1080 30 fps" << true << "image/jpeg" << 1920 << 1080 << 0;
        // One frame in ten cut short or garbled: skipped and counted; the file keeps only the
        // camera's whole pictures and its length.
        QTest::newRow("MJPEG 720p, broken frames") << "MJPG 1280x720 30 fps" << false << "image/jpeg" << 1280 << 720 << 10;
    }

    void threeSecondRecordingsReadBack()
    {
        QFETCH(QString, format);
        QFETCH(bool, motionJpegCompressor);
        QFETCH(QString, codec);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, brokenEvery);
        if (brokenEvery)
            qputenv("ORVEX_EMULATED_BROKEN_EVERY", QByteArray::number(brokenEvery));
        const auto whole = qScopeGuard([] { qunsetenv("ORVEX_EMULATED_BROKEN_EVERY"); });
        Rig rig;
        rig.choose(format.toStdString());
        if (motionJpegCompressor) {
            rig.orvex->put(Member::VideoCompressor,
                           Value::i16(controltest::indexOf(*rig.orvex, Member::VideoCompressors, "JPEG image encoder")));
            rig.orvex->put(Member::UseVideoCompressor, Value::i16(1));
        }
        const std::string file = rig.startRecording();
        QTest::qWait(3000);
        const LiveStatistics figures = rig.orvex->core().statistics();
        const QString warning = rig.orvex->view().pictureWarning();
        rig.orvex->call(Member::Stop);
        QVERIFY2(rig.orvex->view().errorText().isEmpty(), qPrintable(rig.orvex->view().errorText()));
        if (brokenEvery) {
            // One frame in ten, less the few with the sync mark, which stay whole.
            const double share = double(figures.framesBroken) / double(figures.framesCaptured);
            QVERIFY2(share > 0.06 && share < 0.14, qPrintable(QString("%1 broken of %2").arg(figures.framesBroken).arg(figures.framesCaptured)));
            QVERIFY2(warning.startsWith("broken frames skipped: "), qPrintable(warning));
        } else {
            QCOMPARE(figures.framesBroken, 0);
        }

        const auto written = capture::testing::readBack(file, codec == "image/jpeg");
        QVERIFY(written.readable && written.hasIndex);
        QCOMPARE(QString::fromStdString(written.codecs.front()), codec);
        QCOMPARE(written.width, width);
        QCOMPARE(written.height, height);
        QVERIFY2(written.videoEnd > 2.5 && written.videoEnd < 3.8, qPrintable(QString::number(written.videoEnd)));
        // The camera marks a frame every two seconds of the clock its timestamps come from; in
        // the file the marks stay that far apart.
        const SyncReading marks = readSyncMarks(file);
        QVERIFY2(!marks.flashes.empty(), marks.error.c_str());
        for (std::size_t i = 1; i < marks.flashes.size(); ++i)
            QVERIFY2(std::abs(marks.flashes[i] - marks.flashes[i - 1] - 2.0) <= 1.5 / 30,
                     qPrintable(QString("flashes at %1 and %2 s").arg(marks.flashes[i - 1]).arg(marks.flashes[i])));
        if (codec == "image/jpeg") {
            // Every frame in the file is one the camera sent, byte for byte.
            QCOMPARE(int(written.videoFrameDigests.size()), written.videoFrames);
            const auto sent = cameraJpegDigests(std::uint32_t(width), std::uint32_t(height));
            for (const auto& digest : written.videoFrameDigests)
                QVERIFY2(sent.contains(digest), digest.c_str());
        }
    }

    // The control's page on the webcam: its exposure, focus, white balance and mains
    // frequency; with automatic exposure turned to manual, the exposure time can be set, and
    // a longer one brightens the picture.
    void thePageSetsTheWebcamsExposure()
    {
        Rig rig;
        rig.choose("YUY2 640x480 30 fps");
        QCOMPARE(rig.orvex->call(Member::Start), Value::i16(0));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.orvex->view().lastFrame().isNull(), 20000);
        bool sawPage = false;
        controltest::whenModalOpens([&](QDialog& page) {
            const auto close = qScopeGuard([&] { page.reject(); });
            sawPage = true;
            for (const char* key : {"auto_exposure", "exposure_time_absolute", "focus_automatic_continuous", "focus_absolute",
                                    "white_balance_automatic", "white_balance_temperature", "power_line_frequency"})
                QVERIFY2(page.findChild<QWidget*>(key), key);
            auto* mode = page.findChild<QComboBox*>("auto_exposure");
            auto* time = page.findChild<QSlider*>("exposure_time_absolute");
            QVERIFY(mode && time && !time->isEnabled());
            mode->setCurrentIndex(mode->findText("Manual Mode"));
            emit mode->activated(mode->currentIndex());
            QTRY_VERIFY_WITH_TIMEOUT(time->isEnabled(), 1000);
            const double before = picture::meanLuma(rig.orvex->view().lastFrame());
            page.findChild<QSpinBox*>("exposure_time_absoluteValue")->setValue(time->maximum());
            QCOMPARE(emulatedcards::controlValue(0, V4L2_CID_EXPOSURE_ABSOLUTE), time->maximum());
            QTRY_VERIFY_WITH_TIMEOUT(picture::meanLuma(rig.orvex->view().lastFrame()) > before + 20, 5000);
        });
        rig.orvex->call(Member::ShowPropertyPage);
        QVERIFY(sawPage);
        rig.orvex->call(Member::Stop);
    }

    // Four seconds without a frame in the middle of a recording with sound: the view says so
    // while it lasts and no longer once pictures are back; the file holds the last picture
    // for the time, keeps the tone meanwhile, and its picture and sound end together.
    void stallWhileRecording()
    {
        qputenv("ORVEX_EMULATED_STALL", "45+120");
        const auto flowing = qScopeGuard([] { qunsetenv("ORVEX_EMULATED_STALL"); });
        Rig rig;
        rig.choose("YUY2 640x480 30 fps");
        rig.orvex->put(Member::AudioDevice, Value::i16(controltest::indexOf(*rig.orvex, Member::AudioDevices, "Test Tone")));
        rig.orvex->put(Member::CaptureAudio, Value::boolean(true));
        const std::string file = rig.startRecording();
        const QString said = QString::fromStdString("no picture from " + Camera + " since ");
        QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->view().pictureWarning().startsWith(said), 6000);
        QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->view().pictureWarning().isEmpty(), 6000);
        QTest::qWait(1000);
        rig.orvex->call(Member::Stop);
        QVERIFY2(rig.orvex->view().errorText().isEmpty(), qPrintable(rig.orvex->view().errorText()));

        const auto written = capture::testing::readBack(file);
        qInfo("picture %.3f s, sound %.3f s", written.videoEnd, written.audioEnd);
        QVERIFY(written.readable && written.hasIndex);
        QVERIFY2(std::abs(written.videoEnd - written.audioEnd) <= 1.0 / 30 + 0.001,
                 qPrintable(QString("picture ends at %1 s, sound at %2 s").arg(written.videoEnd).arg(written.audioEnd)));
        QVERIFY2(written.videoEnd > 5, qPrintable(QString::number(written.videoEnd)));
        // The tone of the stall's second half (the camera's stream stalls from 1.5 to 5.5 s, the
        // file begins a little after the stream) is there: the sound's queue holds less.
        const auto rate = std::size_t(written.soundRate);
        QVERIFY(rate > 0 && written.sound.size() > 5 * rate);
        const auto loudest = std::max_element(written.sound.begin() + std::ptrdiff_t(4 * rate),
                                              written.sound.begin() + std::ptrdiff_t(5 * rate),
                                              [](std::int16_t a, std::int16_t b) { return std::abs(a) < std::abs(b); });
        QVERIFY2(std::abs(*loudest) > 1000, qPrintable(QString::number(*loudest)));
    }

    void unpluggedWhileRecording()
    {
        Rig rig;
        rig.choose("YUY2 640x480 30 fps");
        const std::string file = rig.startRecording();
        QTest::qWait(1000);
        emulatedcards::EmulatedCards::unplug(0);

        QTRY_VERIFY_WITH_TIMEOUT(!rig.orvex->view().errorText().isEmpty(), 15000);
        QVERIFY2(rig.orvex->view().errorText().contains("is no longer connected"), qPrintable(rig.orvex->view().errorText()));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.orvex->core().statistics().recording, 15000);
        const auto written = capture::testing::readBack(file);
        QVERIFY(written.readable && written.hasIndex);
        QVERIFY2(written.videoFrames >= 20, qPrintable(QString::number(written.videoFrames)));
        // The control carries on with another device.
        QVERIFY(rig.window.isVisible());
        rig.orvex->call(Member::Stop);
        rig.orvex->put(Member::CaptureToFile, Value::boolean(false));
        rig.orvex->put(Member::VideoDevice,
                       Value::i16(controltest::indexOf(*rig.orvex, Member::VideoDevices, "Test Pattern Camera")));
        QCOMPARE(rig.orvex->call(Member::Start), Value::i16(0));
        rig.orvex->call(Member::Stop);
    }

    // The emulated TV card's frames are two fields caught half a frame apart, combed where the
    // block moves; the view shows each field whole, with 625-line pixels, at the frame's full
    // height: through v4l2src, or woven by the control's own source from fields that come in
    // buffers of their own or one after the other in one buffer.
    void tvCardPicturesAreShownWhole_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<std::uint32_t>("field");
        QTest::newRow("interlaced") << "tvcard" << std::uint32_t(V4L2_FIELD_INTERLACED);
        QTest::newRow("each field apart") << "tvcard-fields" << std::uint32_t(V4L2_FIELD_ALTERNATE);
        QTest::newRow("both fields in turn") << "tvcard-seq" << std::uint32_t(V4L2_FIELD_SEQ_TB);
    }

    void tvCardPicturesAreShownWhole()
    {
        QFETCH(QString, profile);
        QFETCH(std::uint32_t, field);
        replugTvCard(qPrintable(profile), field);
        const auto back = qScopeGuard([] { replugTvCard("tvcard", V4L2_FIELD_INTERLACED); });
        constexpr std::uint32_t width = 768, height = 576;
        std::vector<std::uint8_t> yuyv(std::size_t(width) * height * 2);
        emulated::drawBars(yuyv, width, height, 5, 0, 0);
        QImage sent(int(width), int(height), QImage::Format_Grayscale8);
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x)
                sent.scanLine(int(y))[x] = yuyv[(std::size_t(y) * width + x) * 2];
        const auto blockRows = [](const QImage& image) {
            return QRect(0, image.height() / 3 + 2, image.width(), image.height() / 3 - 4);
        };
        QVERIFY(picture::combing(sent, blockRows(sent)).combed());

        Rig rig;
        startTvCardComposite(rig);
        QCOMPARE(rig.orvex->call(Member::Start), Value::i16(0));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.orvex->view().lastFrame().isNull(), 20000);
        for (int sample = 0; sample < 5; ++sample) {
            // The view goes on: the deinterlacer's history must not hold the driver's buffers.
            const qint64 before = rig.orvex->view().lastFrame().cacheKey();
            QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->view().lastFrame().cacheKey() != before, 2000);
            const QImage shown = rig.orvex->view().lastFrame();
            const picture::Combing combing = picture::combing(shown, blockRows(shown));
            QVERIFY2(!combing.combed(), qPrintable(QStringLiteral("%1 against %2").arg(combing.betweenFields).arg(combing.withinField)));
            QCOMPARE(shown.height(), int(height));
            // The block where it was sent, across the middle: not in two squashed halves.
            int white = 0;
            for (int x = 0; x < shown.width(); ++x)
                white += picture::luma(shown.pixel(x, shown.height() / 2)) > 230;
            QVERIFY2(white >= int(width) / 16, qPrintable(QString::number(white)));
            // 59:54 for 720 samples of 625 lines, scaled to the picture.
            const double expected = 59.0 * 720 * shown.height() / (54.0 * shown.width() * 576);
            QVERIFY2(std::abs(pixelAspect(shown) - expected) < 0.01, qPrintable(QString::number(pixelAspect(shown))));
        }
        rig.orvex->call(Member::Stop);
    }

    // Fields stored one after the other are woven in packed formats only: libv4l2's planar
    // I420, converted from them, is refused in words that say what to choose.
    void fieldsInTurnInAPlanarFormatAreRefused()
    {
        replugTvCard("tvcard-seq", V4L2_FIELD_SEQ_TB);
        const auto back = qScopeGuard([] { replugTvCard("tvcard", V4L2_FIELD_INTERLACED); });
        Rig rig;
        startTvCardComposite(rig);
        const int planar = controltest::indexOf(*rig.orvex, Member::VideoFormats, "I420 768x576 25 fps");
        QVERIFY(planar >= 0);
        rig.orvex->put(Member::VideoFormat, Value::i16(static_cast<std::int16_t>(planar)));
        try {
            rig.orvex->call(Member::Start);
            QFAIL("a planar format of fields in turn was streamed");
        } catch (const capture::CaptureError& error) {
            QVERIFY2(QString(error.what()).contains("choose a packed format"), error.what());
        }
    }
};

QTEST_MAIN(EmulatedCameraTest)
#include "EmulatedCameraTest.moc"
