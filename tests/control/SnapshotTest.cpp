#include "ControlRig.h"

#include "capture/view/BitmapFile.h"
#include "capture/view/VideoView.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace capture;

class SnapshotTest : public QObject {
    Q_OBJECT

private slots:
    void falseBeforeTheFirstFrame();
    void writesTheLastFrameAsABitmap();
    void aReaderNeverSeesHalfAPicture();
    void aFailedWriteLeavesNothingBehind();
    void aPictureThatCannotBeSavedSaysWhy();
};

void SnapshotTest::falseBeforeTheFirstFrame()
{
    QTemporaryDir folder;
    auto orvex = controltest::virtualOrvex();
    const QString path = folder.filePath("test.bmp");
    QCOMPARE(orvex->call(Member::SnapShot, Value::text(path.toStdString())), Value::boolean(false));
    QVERIFY(QDir(folder.path()).isEmpty());
}

void SnapshotTest::writesTheLastFrameAsABitmap()
{
    QTemporaryDir folder;
    auto orvex = controltest::virtualOrvex();
    QCOMPARE(orvex->call(Member::Start), Value::i16(0));
    QTRY_VERIFY_WITH_TIMEOUT(!orvex->view().lastFrame().isNull(), 10000);

    // Names are taken as they are, spaces and letters beyond ASCII included.
    const QString path = folder.filePath(QStringLiteral("snap shot é.bmp"));
    QCOMPARE(orvex->call(Member::SnapShot, Value::text(path.toStdString())), Value::boolean(true));
    orvex->call(Member::Stop);

    QImage picture;
    QVERIFY(picture.load(path, "BMP"));
    QCOMPARE(picture.size(), QSize(640, 480));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"snap shot é.bmp"});

    // The colour bars, white to black, at the centre of each bar.
    const QColor bars[] = {Qt::white, Qt::yellow, Qt::cyan, Qt::green, Qt::magenta, Qt::red, Qt::blue, Qt::black};
    for (int bar = 0; bar < 8; ++bar) {
        const QColor seen = picture.pixelColor(640 * (2 * bar + 1) / 16, 100);
        QVERIFY2(std::abs(seen.red() - bars[bar].red()) <= 8 && std::abs(seen.green() - bars[bar].green()) <= 8
                     && std::abs(seen.blue() - bars[bar].blue()) <= 8,
                 qPrintable(QStringLiteral("bar %1 is %2").arg(bar).arg(seen.name())));
    }
}

void SnapshotTest::aReaderNeverSeesHalfAPicture()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("test.bmp");
    QImage frame(1280, 720, QImage::Format_RGB32);
    frame.fill(Qt::darkCyan);
    QVERIFY(writeBitmap(frame, path));

    std::atomic_bool writing{true};
    std::atomic_int broken{0};
    std::thread reader([&] {
        while (writing) {
            QImage seen(path, "BMP");
            if (seen.size() != frame.size())
                ++broken;
        }
    });
    for (int i = 0; i < 40; ++i) {
        frame.fill(i % 2 ? Qt::darkCyan : Qt::darkYellow);
        QVERIFY(writeBitmap(frame, path));
    }
    writing = false;
    reader.join();
    QCOMPARE(broken.load(), 0);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"test.bmp"});
}

void SnapshotTest::aFailedWriteLeavesNothingBehind()
{
    QTemporaryDir folder;
    QImage frame(64, 48, QImage::Format_RGB32);
    frame.fill(Qt::red);
    QVERIFY(!writeBitmap(frame, folder.filePath("missing/test.bmp")));
    QVERIFY(!writeBitmap(QImage(), folder.filePath("test.bmp")));
    QVERIFY(!writeBitmap(frame, QString()));
    QVERIFY(!writeBitmap(frame, folder.path()));  // a folder, not a file
    QVERIFY(QDir(folder.path()).isEmpty());
}

void SnapshotTest::aPictureThatCannotBeSavedSaysWhy()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("test.bmp");
    QVERIFY(QDir().mkdir(path));
    auto orvex = controltest::virtualOrvex();
    QCOMPARE(orvex->call(Member::Start), Value::i16(0));
    QTRY_VERIFY_WITH_TIMEOUT(!orvex->view().lastFrame().isNull(), 10000);

    QString message;
    try {
        orvex->call(Member::SnapShot, Value::text(path.toStdString()));
    } catch (const CaptureError& error) {
        message = QString::fromStdString(error.what());
    }
    orvex->call(Member::Stop);
    qInfo("%s", qPrintable(message));
    QVERIFY2(message.contains(path) && message.contains("folder of that name"), qPrintable(message));
    QVERIFY(QFileInfo(path).isDir());
}

QTEST_MAIN(SnapshotTest)
#include "SnapshotTest.moc"
