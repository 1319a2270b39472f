// mirrane on the emulated USB camera and tulvik on the emulated TV card: the real windows, the
// real control and v4l2src, with the cards' state read back as another program would.

#include "EmulatedCards.h"

#include "mirrane/Form1.h"
#include "tests/mirrane/SliderRows.h"
#include "tests/tulvik/WindowRig.h"
#include "tulvik/NumberReading.h"

#include "tests/support/desktop/ScriptedToolkit.h"

#include <QImage>
#include <QSlider>
#include <QtTest>

using capture::Member;
using capture::Value;

namespace {

capture::CaptureWidget* orvexOnEmulatedCamera(QWidget* parent)
{
    capture::CaptureWidget* orvex = capture::createOrvex(parent);
    orvex->put(Member::VideoDevice, Value::i16(capture::toInt16(
                                        orvex->collection(Member::VideoDevices)->indexOf(Value::text("Emulated USB Camera")))));
    return orvex;
}

bool hasPicture(capture::CaptureControl& orvex)
{
    QTemporaryDir folder;
    return capture::toBoolean(orvex.call(Member::SnapShot, Value::text(folder.filePath("probe.bmp").toStdString())));
}

v4l2_queryctrl describe(std::uint32_t id)
{
    v4l2_queryctrl query{};
    query.id = id;
    emulatedcards::askDevice(0, VIDIOC_QUERYCTRL, &query);
    return query;
}

// Squared luma steps between neighbours: small for bars, large for snow.
double grain(const QImage& picture)
{
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    double squares = 0;
    long count = 0;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = 1; x < grey.width(); ++x, ++count)
            squares += std::pow(double(line[x]) - double(line[x - 1]), 2);
    }
    return squares / double(count);
}

}  // namespace

class EmulatedWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        if (!emulatedcards::emulatorPreloaded())
            QFAIL("Run through ctest, or under scripts/with-emulated-devices.sh: the emulated cards need the emulator preloaded.");
    }

    void mirraneSlidersDriveTheCamera()
    {
        emulatedcards::EmulatedCards cards;
        desktop::ScriptedToolkit toolkit;
        int endedWith = -1;
        desktop::FailureReporter reporter{toolkit, "mirrane", [&](int status) { endedWith = status; }};
        QPointer<mirrane::Form1> form = new mirrane::Form1(orvexOnEmulatedCamera, toolkit, reporter);
        auto* orvex = dynamic_cast<capture::CaptureWidget*>(form->findChild<QWidget*>("Orvex1"));
        form->load();
        form->show();
        form->findChild<QPushButton*>("Command1")->click();
        QTRY_VERIFY_WITH_TIMEOUT(hasPicture(*orvex), 20000);
        QVERIFY2(endedWith == -1, qPrintable(toolkit.messageTexts().join('\n')));

        const auto slider = [&](Member property) {
            for (const auto& [member, name] : mirrane::testing::sliderRows)
                if (member == property)
                    return form->findChild<QSlider*>(name);
            return static_cast<QSlider*>(nullptr);
        };
        // The device's own ranges.
        const std::pair<Member, std::uint32_t> bound[] = {{Member::Brightness, V4L2_CID_BRIGHTNESS},
                                                          {Member::WhiteBalance, V4L2_CID_WHITE_BALANCE_TEMPERATURE},
                                                          {Member::Gamma, V4L2_CID_GAMMA}};
        for (const auto& [property, id] : bound) {
            const v4l2_queryctrl range = describe(id);
            QCOMPARE(slider(property)->minimum(), range.minimum);
            QCOMPARE(slider(property)->maximum(), range.maximum);
        }

        // Moved while streaming: the device takes the value; white balance leaves its automatic mode first.
        QCOMPARE(emulatedcards::controlValue(0, V4L2_CID_AUTO_WHITE_BALANCE), 1);
        QTest::keyClick(slider(Member::WhiteBalance), Qt::Key_End);
        QCOMPARE(emulatedcards::controlValue(0, V4L2_CID_AUTO_WHITE_BALANCE), 0);
        QCOMPARE(emulatedcards::controlValue(0, V4L2_CID_WHITE_BALANCE_TEMPERATURE), describe(V4L2_CID_WHITE_BALANCE_TEMPERATURE).maximum);
        QTest::keyClick(slider(Member::Brightness), Qt::Key_Home);
        QCOMPARE(emulatedcards::controlValue(0, V4L2_CID_BRIGHTNESS), -64);
        QVERIFY2(endedWith == -1, qPrintable(toolkit.messageTexts().join('\n')));
        delete form.data();
    }

    void tulvikTunesTheCard()
    {
        emulatedcards::EmulatedCards cards;
        WindowRig rig(capture::createOrvex);
        auto* orvex = dynamic_cast<capture::CaptureWidget*>(rig.child<QWidget>("Orvex1"));
        rig.form->show();
        rig.form->load();
        rig.devices()->setCurrentIndex(rig.devices()->findText(QStringLiteral("Emulated TV Card")));
        rig.start(QStringLiteral("49"));
        QTRY_VERIFY_WITH_TIMEOUT(hasPicture(*orvex), 20000);
        QVERIFY2(rig.toolkit.messages().empty(), qPrintable(rig.toolkit.messageTexts().join('\n')));

        // The German channel table, every channel listed until a scan looked for stations.
        QCOMPARE(rig.channels()->count(), orvex->collection(Member::TVChannels)->count());
        const auto snapshot = [&] {
            QTest::qWait(500);
            rig.button("Command2")->click();
            return rig.picture()->pixmap().toImage();
        };
        // A click tunes the card to the channel's frequency, in 62.5 kHz steps.
        const auto clickAndTune = [&](const QString& channel) {
            QListWidget* list = rig.channels();
            const auto found = list->findItems(channel, Qt::MatchExactly);
            if (found.size() != 1)
                return 0u;
            list->scrollToItem(found.front());
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.front()).center());
            v4l2_frequency tuned{};
            return emulatedcards::askDevice(1, VIDIOC_G_FREQUENCY, &tuned) == 0 ? tuned.frequency : 0u;
        };
        QCOMPARE(clickAndTune(QStringLiteral("5 (E5) 175.25 MHz")), 175.25 * 16);
        const double station = grain(snapshot());
        QCOMPARE(clickAndTune(QStringLiteral("6 (E6) 182.25 MHz")), 182.25 * 16);
        const double empty = grain(snapshot());
        qInfo("neighbour steps: station %.0f, empty channel %.0f", station, empty);
        QVERIFY(empty > 10 * station);
        QVERIFY2(rig.toolkit.messages().empty(), qPrintable(rig.toolkit.messageTexts().join('\n')));
    }
};

QTEST_MAIN(EmulatedWindowsTest)
#include "EmulatedWindowsTest.moc"
