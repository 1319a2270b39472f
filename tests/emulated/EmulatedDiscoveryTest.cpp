// The control and orvex-info finding the emulated cards as they find the nodes of /dev: listed
// before the built-in devices, converted formats read through libv4l2, cards plugged in and
// pulled out while a control lives.

#include "EmulatedCards.h"

#include "capture/control/Orvex.h"
#include "capture/control/OrvexCore.h"
#include "capture/view/VideoView.h"
#include "tests/control/ControlRig.h"

#include <QProcess>
#include <QtTest>

using namespace capture;
using controltest::indexOf;
using controltest::names;
using emulatedcards::EmulatedCards;

namespace {

const std::vector<std::string> emulatedCards{"Emulated USB Camera", "Emulated TV Card", "Emulated Bayer Camera"};

std::vector<std::string> firstOf(const std::vector<std::string>& list, std::size_t count)
{
    return std::vector<std::string>(list.begin(), list.begin() + static_cast<long>(std::min(count, list.size())));
}

// orvex-info's lines from the one that names the device to the next device's.
QStringList sectionOf(const QStringList& lines, const QString& device)
{
    QStringList section;
    for (const QString& line : lines) {
        const bool deviceLine = QRegularExpression(QStringLiteral("^  \\d+: ")).match(line).hasMatch();
        if (deviceLine && !section.isEmpty())
            break;
        if (!section.isEmpty() || (deviceLine && line.contains(device)))
            section << line;
    }
    return section;
}

}  // namespace

class EmulatedDiscoveryTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        if (!emulatedcards::emulatorPreloaded())
            QFAIL("Run through ctest, or under scripts/with-emulated-devices.sh: the emulated cards need the emulator preloaded.");
    }

    void theBayerCameraStreamsWhatLibv4l2Converts()
    {
        EmulatedCards cards;
        QWidget window;
        auto* orvex = new Orvex(&window);
        orvex->resize(320, 240);
        window.show();
        orvex->put(Member::CaptureAudio, Value::boolean(false));
        const int bayer = indexOf(*orvex, Member::VideoDevices, "Emulated Bayer Camera");
        QVERIFY2(bayer >= 0, names(*orvex, Member::VideoDevices).front().c_str());
        orvex->put(Member::VideoDevice, Value::i16(static_cast<std::int16_t>(bayer)));

        // The camera's own Bayer format has no GStreamer name here: all it lists is converted.
        const auto listed = names(*orvex, Member::VideoFormats);
        QVERIFY(!listed.empty());
        int rgb = -1;
        for (std::size_t i = 0; i < listed.size() && rgb < 0; ++i)
            if (listed[i].rfind("RGB ", 0) == 0 || listed[i].rfind("BGR ", 0) == 0)
                rgb = static_cast<int>(i);
        QVERIFY2(rgb >= 0, listed.front().c_str());
        orvex->put(Member::VideoFormat, Value::i16(static_cast<std::int16_t>(rgb)));
        QVERIFY(orvex->core().captureRequest().videoFormat->converted);

        QCOMPARE(orvex->call(Member::Start), Value::i16(0));
        QTRY_VERIFY_WITH_TIMEOUT(!orvex->view().lastFrame().isNull(), 20000);
        const qint64 first = orvex->view().lastFrame().cacheKey();
        QTRY_VERIFY_WITH_TIMEOUT(orvex->view().lastFrame().cacheKey() != first, 5000);
        QVERIFY2(orvex->view().errorText().isEmpty(), qPrintable(orvex->view().errorText()));
        orvex->call(Member::Stop);
    }

    void cardsComeAndGoWhileAControlLives()
    {
        EmulatedCards cards;
        Orvex orvex;
        QCOMPARE(firstOf(names(orvex, Member::VideoDevices), 4),
                 (std::vector<std::string>{"Emulated USB Camera", "Emulated TV Card", "Emulated Bayer Camera",
                                           "Test Pattern Camera"}));
        orvex.put(Member::VideoDevice, Value::i16(indexOf(orvex, Member::VideoDevices, "Emulated TV Card")));

        EmulatedCards::unplug(0);
        QTRY_COMPARE_WITH_TIMEOUT(firstOf(names(orvex, Member::VideoDevices), 2),
                                  (std::vector<std::string>{"Emulated TV Card", "Emulated Bayer Camera"}), 10000);
        QCOMPARE(orvex.core().source().deviceIndex(), 0);
        QCOMPARE(orvex.get(Member::HasTVTuner), Value::boolean(true));

        EmulatedCards::plug(0, "webcam");
        QTRY_COMPARE_WITH_TIMEOUT(firstOf(names(orvex, Member::VideoDevices), 3), emulatedCards, 10000);
        QCOMPARE(orvex.core().source().deviceIndex(), 1);
        QCOMPARE(orvex.core().videoDeviceName(), std::string("Emulated TV Card"));
    }

    void orvexInfoListsTheEmulatedCardsFirst()
    {
        EmulatedCards cards;
        QProcess info;
        info.start(QStringLiteral(ORVEX_INFO_PATH), {});
        QVERIFY(info.waitForFinished(60000));
        QCOMPARE(info.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(info.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);

        QVERIFY(lines.contains("  0: Emulated USB Camera"));
        QVERIFY(lines.contains("  1: Emulated TV Card  (TV tuner)"));
        QVERIFY(lines.contains("  2: Emulated Bayer Camera"));
        QVERIFY(lines.contains("  3: Test Pattern Camera"));

        const QString webcam = sectionOf(lines, "Emulated USB Camera").join('\n');
        QVERIFY2(QRegularExpression(QStringLiteral("format \\d+: MJPG 1920x1080 30 fps\\n")).match(webcam + '\n').hasMatch(),
                 qPrintable(webcam));
        QVERIFY2(webcam.contains(": YUY2 640x480 30 fps\n"), qPrintable(webcam));

        const QStringList bayer = sectionOf(lines, "Emulated Bayer Camera").filter("format ");
        QVERIFY(!bayer.isEmpty());
        for (const QString& format : bayer)
            QVERIFY2(format.endsWith("(converted)"), qPrintable(format));
    }
};

QTEST_MAIN(EmulatedDiscoveryTest)
#include "EmulatedDiscoveryTest.moc"
