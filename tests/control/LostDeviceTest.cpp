#include "ControlRig.h"

#include "capture/control/OrvexCore.h"
#include "capture/view/VideoView.h"
#include "tests/engine/AviReadBack.h"
#include "tests/engine/TestDevices.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace capture;
using capture::testing::PatternCamera;

class LostDeviceTest : public QObject {
    Q_OBJECT

private slots:
    // The source's error stands for a camera pulled out mid-stream, as v4l2src reports it.
    void aDeviceLostWhileRecordingEndsLikeAnyStreamingError()
    {
        QTemporaryDir folder;
        const std::string file = folder.filePath("lost.avi").toStdString();
        std::vector<std::unique_ptr<VideoDevice>> video;
        video.push_back(std::make_unique<PatternCamera>(std::vector<VideoFormat>{capture::testing::smallFormat()},
                                                        PatternCamera::Behaviour::FailsAfter, 45));
        std::vector<std::unique_ptr<AudioDevice>> audio;
        audio.push_back(std::make_unique<capture::testing::ToneMicrophone>());
        QWidget window;
        auto* orvex = new Orvex(DeviceCatalogue(std::move(video), std::move(audio)), EncoderCatalogue::fromRegistry(),
                                &window);
        window.show();

        orvex->put(Member::CaptureToFile, Value::boolean(true));
        orvex->put(Member::CaptureFileName, Value::text(file));
        QCOMPARE(orvex->call(Member::Start), Value::i16(0));
        QTRY_VERIFY_WITH_TIMEOUT(!orvex->view().errorText().isEmpty(), 15000);

        // The overlay says what happened and the recording is closed and readable.
        const QString said = orvex->view().errorText();
        QVERIFY2(said.contains("video device \"Pattern camera\" stopped"), qPrintable(said));
        QVERIFY(!orvex->core().statistics().recording);
        const auto written = capture::testing::readBack(file);
        QVERIFY(written.hasIndex);
        QVERIFY2(written.videoFrames >= 40, qPrintable(QString::number(written.videoFrames)));

        // The preview has stopped: the last picture stays, no new one comes.
        const qint64 last = orvex->view().lastFrame().cacheKey();
        QTest::qWait(300);
        QCOMPARE(orvex->view().lastFrame().cacheKey(), last);

        // The window and its control carry on.
        QVERIFY(window.isVisible());
        orvex->call(Member::Stop);
        orvex->put(Member::CaptureToFile, Value::boolean(false));
        QCOMPARE(orvex->call(Member::Start), Value::i16(0));
        QVERIFY(orvex->view().errorText().isEmpty());
        orvex->call(Member::Stop);
    }
};

QTEST_MAIN(LostDeviceTest)
#include "LostDeviceTest.moc"
