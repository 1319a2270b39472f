// Which Motion JPEG frames count as whole pictures: the camera's own frames do; frames cut
// short or garbled on the way do not.

#include "capture/engine/PictureCheck.h"
#include "tests/support/emulator/EmulatedPictures.h"

#include <QTest>

#include <vector>

using namespace capture;

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

class PictureCheckTest : public QObject {
    Q_OBJECT

private slots:
    void wholeJpeg_data()
    {
        QTest::addColumn<Bytes>("frame");
        QTest::addColumn<bool>("whole");
        const Bytes camera = emulated::cameraJpegFrame(640, 480, 3);
        QTest::newRow("the camera's frame") << camera << true;
        Bytes padded = camera;
        padded.resize(camera.size() + 300, 0);
        QTest::newRow("padded with zeros after its end") << padded << true;
        QTest::newRow("cut short") << Bytes(camera.begin(), camera.begin() + Bytes::difference_type(camera.size() / 2)) << false;
        Bytes noStart = camera;
        noStart[1] = 0x00;
        QTest::newRow("no start marker") << noStart << false;
        // The end marker is there, the header is not: the bytes between are noise.
        Bytes garbage(camera.size(), 0x5a);
        garbage[0] = 0xff, garbage[1] = 0xd8, garbage[garbage.size() - 2] = 0xff, garbage.back() = 0xd9;
        QTest::newRow("garbage between the markers") << garbage << false;
        // A header segment whose length runs past the end of the frame.
        Bytes overrun = camera;
        overrun[4] = 0xff;
        QTest::newRow("a segment longer than the frame") << overrun << false;
        QTest::newRow("markers only") << Bytes{0xff, 0xd8, 0xff, 0xd9} << false;
        QTest::newRow("empty") << Bytes{} << false;
    }

    void wholeJpeg()
    {
        QFETCH(Bytes, frame);
        QFETCH(bool, whole);
        QCOMPARE(capture::wholeJpeg(frame.data(), frame.size()), whole);
    }
};

QTEST_APPLESS_MAIN(PictureCheckTest)
#include "PictureCheckTest.moc"
