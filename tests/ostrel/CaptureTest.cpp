#include "FormRig.h"

using capture::Member;
using capture::Value;

namespace {

const QString RefusedText = "Capture Failure,Video, Audio Compressor not correct or capture file opening";
const QString NotFoundText = "Capture file not found";

const Lines RecordingRequests = {"34", "27", "33", "30", "31", "6", "7", "48"};

bool recordingButtons(const FormRig& rig)
{
    return !rig.enabled("Command1") && !rig.enabled("Command2") && rig.enabled("Command3");
}

bool previewButtons(const FormRig& rig)
{
    return rig.enabled("Command1") && rig.enabled("Command2") && !rig.enabled("Command3");
}

}  // namespace

// Preview, Capture and Stop Capture.
class CaptureTest : public QObject {
    Q_OBJECT

private slots:
    void captureCopiesTheOptionsAsCheckBoxValuesThenStarts()
    {
        FormRig rig(sixSources);
        rig.load();
        rig.saveDialog().willSave("/home/user/clip.avi");
        rig.fake->clearLog();

        rig.click("Command2");

        QCOMPARE(rig.saveDialog().events(), (QStringList{"filter Avi File (*.avi)|*.avi", "showSave"}));
        QCOMPARE(rig.requests(RecordingRequests), (Lines{
            "34 CaptureVideo put i16 1",
            "27 CaptureAudio put i16 1",
            "33 ShowPreview put i16 1",
            "30 UseVideoCompressor put i16 0",
            "31 UseAudioCompressor put i16 0",
            "6 CaptureToFile put bool -1",
            "7 CaptureFileName put text /home/user/clip.avi",
            "48 Start call void",
        }));
        // The sources go first.
        QCOMPARE(rig.requests().front(), std::string("3 VideoDevices get void"));
        QVERIFY(rig.toolkit.messages().empty());
        QVERIFY(recordingButtons(rig));
    }

    void optionsFollowTheBoxesAsTheUserLeftThem()
    {
        FormRig rig(sixSources);
        rig.load();
        rig.click("chkCaptureVideo");
        rig.click("chkShowPreview");
        rig.click("ChkUseOrvex");
        rig.click("ChkUseAudioCap");
        rig.saveDialog().willSave("/tmp/b.avi");
        rig.fake->clearLog();

        rig.click("Command2");

        QCOMPARE(rig.requests({"34", "27", "33", "30", "31"}), (Lines{
            "34 CaptureVideo put i16 0",
            "27 CaptureAudio put i16 1",
            "33 ShowPreview put i16 0",
            "30 UseVideoCompressor put i16 1",
            "31 UseAudioCompressor put i16 1",
        }));
    }

    void startStatusDecidesMessageAndButtons_data()
    {
        QTest::addColumn<Value>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("recording");

        QTest::newRow("-1 refused") << Value::i16(-1) << RefusedText << false;
        QTest::newRow("-2 file not found") << Value::i16(-2) << NotFoundText << false;
        QTest::newRow("-1 as a 32-bit number") << Value::i32(-1) << RefusedText << false;
        QTest::newRow("0 started") << Value::i16(0) << QString() << true;
        QTest::newRow("1 started") << Value::i16(1) << QString() << true;
        QTest::newRow("-3 started") << Value::i16(-3) << QString() << true;
        QTest::newRow("300 started") << Value::i32(300) << QString() << true;
    }

    void startStatusDecidesMessageAndButtons()
    {
        QFETCH(Value, status);
        QFETCH(QString, message);
        QFETCH(bool, recording);

        FormRig rig([&](capture::FakeCaptureControl& fake) {
            sixSources(fake);
            fake.setResult(Member::Start, status);
        });
        rig.load();
        rig.saveDialog().willSave("/tmp/c.avi");
        rig.click("Command2");

        QCOMPARE(rig.toolkit.messageTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty())
            QCOMPARE(rig.toolkit.messages()[0].title, QString("ostrel"));
        QVERIFY(recording ? recordingButtons(rig) : previewButtons(rig));
        QCOMPARE(rig.endedWith, -1);
    }

    void statusThatDoesNotFitSixteenBitsEndsTheProgram()
    {
        FormRig rig([](capture::FakeCaptureControl& fake) {
            sixSources(fake);
            fake.setResult(Member::Start, Value::i32(70000));
        });
        rig.load();
        rig.saveDialog().willSave("/tmp/d.avi");
        rig.click("Command2");

        QCOMPARE(rig.endedWith, 1);
        QVERIFY(previewButtons(rig));
    }

    void cancelledSaveEndsTheClickAfterTheSources()
    {
        FormRig rig(sixSources);
        rig.load();
        rig.saveDialog().willCancel();
        rig.saveDialog().willSave("/tmp/first.avi");
        rig.saveDialog().willCancel();
        rig.fake->clearLog();

        rig.click("Command2");  // no file chosen yet: nothing to record into
        QCOMPARE(rig.requests(RecordingRequests), Lines{});
        QCOMPARE(rig.requests({"28", "29"}).size(), size_t(2));  // the sources were applied

        rig.click("Command2");
        rig.click("Command3");
        rig.fake->clearLog();
        rig.click("Command2");  // the first recording must not be overwritten

        QCOMPARE(rig.requests(RecordingRequests), Lines{});
        QCOMPARE(rig.saveDialog().events().count("showSave"), 3);
        QVERIFY(previewButtons(rig));
        QVERIFY(rig.toolkit.messages().empty());
    }

    void stopCaptureReturnsToThePreview()
    {
        FormRig rig(sixSources);
        rig.load();
        rig.saveDialog().willSave("/tmp/e.avi");
        rig.click("Command2");
        QVERIFY(recordingButtons(rig));
        rig.fake->setResult(Member::Start, Value::i16(-1));  // not looked at after a stop
        rig.fake->clearLog();

        rig.click("Command3");

        QCOMPARE(rig.requests(), (Lines{
            "33 ShowPreview put bool -1",
            "6 CaptureToFile put bool 0",
            "49 Stop call void",
            "48 Start call void",
        }));
        QVERIFY(previewButtons(rig));
        QVERIFY(rig.toolkit.messages().empty());
    }

    void previewNeverRecordsEvenAfterARefusedCapture()
    {
        FormRig rig([](capture::FakeCaptureControl& fake) {
            sixSources(fake);
            fake.setResult(Member::Start, Value::i16(-1));
        });
        rig.load();
        rig.saveDialog().willSave("/tmp/f.avi");
        rig.click("Command2");
        rig.toolkit.clearMessages();
        rig.fake->clearLog();

        rig.click("Command1");

        const Lines asked = rig.requests();
        QCOMPARE(Lines(asked.end() - 2, asked.end()),
                 (Lines{"6 CaptureToFile put bool 0", "48 Start call void"}));
        QCOMPARE(rig.requests({"34", "27", "33", "30", "31", "7", "49"}), Lines{});
        // Preview does not look at Start's answer and switches no button.
        QVERIFY(rig.toolkit.messages().empty());
        QVERIFY(previewButtons(rig));
    }
};

QTEST_MAIN(CaptureTest)
#include "CaptureTest.moc"
