#include "FormRig.h"

using capture::Member;
using capture::Value;

// Start-up fills the six lists; Preview and Capture hand the chosen names back to the control.
class SourcesTest : public QObject {
    Q_OBJECT

private slots:
    void loadMutesThenFillsTheSixListsInOrder()
    {
        FormRig rig([](capture::FakeCaptureControl& fake) {
            fake.setItemNames(Member::VideoDevices, {"Zeta Cam", "Alpha Cam", "Zeta Cam"});
            fake.setItemNames(Member::VideoInputs, {"Tuner"});
            fake.setItemNames(Member::VideoFormats, {"RGB24"});
            fake.setItemNames(Member::AudioDevices, {"Mic"});
            fake.setItemNames(Member::AudioCompressors, {"PCM"});
            fake.setItemNames(Member::VideoCompressors, {"MJPEG"});
        });
        rig.load();

        QCOMPARE(rig.requests(), (Lines{
            "40 TVMute put bool -1",
            "3 VideoDevices get void",
            "3.1 VideoDevices(0).Name get void",
            "3.1 VideoDevices(1).Name get void",
            "3.1 VideoDevices(2).Name get void",
            "41 VideoInputs get void",
            "41.1 VideoInputs(0).Name get void",
            "4 VideoFormats get void",
            "4.1 VideoFormats(0).Name get void",
            "25 AudioDevices get void",
            "25.1 AudioDevices(0).Name get void",
            "32 AudioCompressors get void",
            "32.1 AudioCompressors(0).Name get void",
            "5 VideoCompressors get void",
            "5.1 VideoCompressors(0).Name get void",
        }));

        // Kept as reported: unsorted, the duplicate too, the first entry selected.
        QComboBox* devices = rig.list("cboDevice");
        QCOMPARE(devices->count(), 3);
        QCOMPARE(devices->itemText(0), QString("Zeta Cam"));
        QCOMPARE(devices->itemText(1), QString("Alpha Cam"));
        QCOMPARE(devices->itemText(2), QString("Zeta Cam"));
        QCOMPARE(devices->currentIndex(), 0);
        for (const char* name : {"cboVideoInput", "cboVideoFormat", "cboAudioDevice",
                                 "cboAudioCompressor", "cboVideoCompressor"}) {
            QCOMPARE(rig.list(name)->count(), 1);
            QCOMPARE(rig.list(name)->currentIndex(), 0);
        }
        QCOMPARE(rig.endedWith, -1);
    }

    void emptyCollectionsLeaveTheirListUnselected()
    {
        FormRig rig([](capture::FakeCaptureControl& fake) {
            fake.setItemNames(Member::VideoDevices, {"Webcam"});
            fake.setItemNames(Member::VideoFormats, {"MJPG 1280x720"});
            fake.setItemNames(Member::AudioCompressors, {"PCM"});
            fake.setItemNames(Member::VideoCompressors, {"MJPEG"});
        });
        rig.load();

        for (const char* name : {"cboVideoInput", "cboAudioDevice"}) {
            QCOMPARE(rig.list(name)->count(), 0);
            QCOMPARE(rig.list(name)->currentIndex(), -1);
        }
        // Start-up goes on past the empty lists.
        QCOMPARE(rig.list("cboAudioCompressor")->currentIndex(), 0);
        QCOMPARE(rig.list("cboVideoCompressor")->currentIndex(), 0);
    }

    void previewAppliesAllSixRowsByNameWithFreshCollections()
    {
        FormRig rig([](capture::FakeCaptureControl& fake) {
            sixSources(fake);
            // The index the control gives a name need not be its position in the list.
            fake.setIndexOf(Member::VideoDevices, "Cam A", Value::i32(7));
            fake.setIndexOf(Member::AudioCompressors, "PCM", Value::f64(3.0));
        });
        rig.load();
        rig.fake->clearLog();

        rig.click("Command1");

        QCOMPARE(rig.requests(), (Lines{
            "3 VideoDevices get void",
            "3.2 VideoDevices.IndexOf call text Cam A",
            "1 VideoDevice put i16 7",
            "41 VideoInputs get void",
            "41.2 VideoInputs.IndexOf call text Composite",
            "42 VideoInput put i16 0",
            "4 VideoFormats get void",
            "4.2 VideoFormats.IndexOf call text YUY2 640x480",
            "2 VideoFormat put i16 0",
            "25 AudioDevices get void",
            "25.2 AudioDevices.IndexOf call text Line In",
            "26 AudioDevice put i16 0",
            // The compressor lists are disabled at start; their choices are applied all the same.
            "5 VideoCompressors get void",
            "5.2 VideoCompressors.IndexOf call text MJPEG",
            "28 VideoCompressor put i16 0",
            "32 AudioCompressors get void",
            "32.2 AudioCompressors.IndexOf call text PCM",
            "29 AudioCompressor put i16 3",
            "6 CaptureToFile put bool 0",
            "48 Start call void",
        }));
    }

    void unknownOrEmptyNamesPutNothingAndTheOtherRowsStillApply()
    {
        FormRig rig([](capture::FakeCaptureControl& fake) {
            sixSources(fake);
            fake.setItemNames(Member::VideoInputs, {});
        });
        rig.load();

        // The user picks the second device, which has other formats than the first.
        rig.list("cboDevice")->setCurrentIndex(1);
        rig.fake->setItemNames(Member::VideoFormats, {"MJPG 1920x1080"});
        // Typed text is not a choice: only the selected entry counts.
        rig.list("cboVideoCompressor")->setEditText("Typed Codec");
        rig.fake->clearLog();

        rig.click("Command2");

        QCOMPARE(rig.requests({"3.2", "1", "41.2", "42", "4.2", "2", "25.2", "26", "5.2", "28", "32.2", "29"}),
                 (Lines{
                     "3.2 VideoDevices.IndexOf call text Cam B",
                     "1 VideoDevice put i16 1",
                     "41.2 VideoInputs.IndexOf call text ",
                     "4.2 VideoFormats.IndexOf call text YUY2 640x480",
                     "25.2 AudioDevices.IndexOf call text Line In",
                     "26 AudioDevice put i16 0",
                     "5.2 VideoCompressors.IndexOf call text MJPEG",
                     "28 VideoCompressor put i16 0",
                     "32.2 AudioCompressors.IndexOf call text PCM",
                     "29 AudioCompressor put i16 0",
                 }));
        // The lists are never refilled.
        QCOMPARE(rig.list("cboVideoFormat")->itemText(0), QString("YUY2 640x480"));
    }

    void failureInTheThirdRowEndsTheClickThere()
    {
        FormRig rig([](capture::FakeCaptureControl& fake) {
            sixSources(fake);
            fake.failOn("2", 1, "Format not supported by the device");
        });
        rig.load();
        rig.fake->clearLog();

        rig.click("Command2");

        const Lines asked = rig.requests();
        QCOMPARE(asked.back(), std::string("2 VideoFormat put i16 0"));
        QCOMPARE(rig.requests({"25", "26", "5", "28", "32", "29", "48"}), Lines{});
        QVERIFY(rig.saveDialog().events().isEmpty());
        QCOMPARE(rig.endedWith, 1);
        QCOMPARE(rig.toolkit.messages().size(), size_t(1));
        QCOMPARE(rig.toolkit.messages()[0].title, QString("ostrel"));
        QVERIFY(rig.toolkit.messages()[0].text.contains("Format not supported by the device"));

        // The program is ending: a further click does nothing.
        rig.click("Command1");
        QCOMPARE(rig.requests().size(), asked.size());
    }

    void indexThatDoesNotFitSixteenBitsIsAFailure()
    {
        FormRig rig([](capture::FakeCaptureControl& fake) {
            sixSources(fake);
            fake.setIndexOf(Member::VideoDevices, "Cam A", Value::i32(40000));
        });
        rig.load();
        rig.fake->clearLog();

        rig.click("Command1");

        QCOMPARE(rig.requests({"1", "48"}), Lines{});
        QCOMPARE(rig.endedWith, 1);
    }
};

QTEST_MAIN(SourcesTest)
#include "SourcesTest.moc"
