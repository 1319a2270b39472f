// A recording beyond 4 GB stays readable to its end (OpenDML parts, each indexed).

#include "AviReadBack.h"
#include "CountingFrameSink.h"
#include "TestDevices.h"
#include "capture/engine/CaptureEngine.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace capture;
using namespace capture::testing;

class EngineLargeFileTest : public QObject {
    Q_OBJECT

private slots:
    void aRecordingPastFourGigabytesReadsBackToItsEnd()
    {
        gst_init(nullptr, nullptr);
        // In memory when there is a tmpfs for it: 4 GB go by in seconds there.
        QTemporaryDir folder(QFileInfo("/dev/shm").isWritable() ? "/dev/shm/engine-large-XXXXXX" : QString());
        if (QStorageInfo(folder.path()).bytesAvailable() < (qint64(6) << 30))
            QSKIP("needs 6 GB free beside the recording");
        const VideoFormat full{"BGRx", 1920, 1080, 60, 1};
        const double frameBytes = 1920.0 * 1080 * 4;
        PatternCamera camera{{full}};
        CountingFrameSink frames;
        CaptureEngine engine(frames);
        CaptureRequest request;
        request.videoDevice = &camera;
        request.showPreview = false;
        request.captureAudio = false;
        request.toFile = true;
        request.fileName = folder.filePath("large.avi").toStdString();
        QCOMPARE(engine.start(request), int(Started));
        QTRY_VERIFY_WITH_TIMEOUT(engine.stats().bytesWritten > (std::uint64_t(4) << 30) + (200u << 20), 300000);
        QElapsedTimer stopping;
        stopping.start();
        engine.stop();
        qInfo("stop took %lld ms", stopping.elapsed());

        const auto size = static_cast<double>(QFileInfo(folder.filePath("large.avi")).size());
        const AviReadBack file = readBack(request.fileName);
        QVERIFY(file.readable);
        QVERIFY(file.hasIndex);
        QVERIFY2(std::abs(file.videoFrames - size / frameBytes) < 0.01 * file.videoFrames,
                 qPrintable(QString("%1 frames read back from %2 bytes").arg(file.videoFrames).arg(size)));
        QVERIFY(std::abs(file.duration - file.videoFrames / 60.0) < 0.1);
    }
};

QTEST_GUILESS_MAIN(EngineLargeFileTest)
#include "EngineLargeFileTest.moc"
