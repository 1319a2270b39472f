// The capture window around the real capture control, on the built-in test devices, or on
// the video device that ORVEX_TEST_VIDEO_DEVICE names (vivid, in the kernel's VM).

#include "ostrel/Form1.h"

#include "capture/control/OrvexFactory.h"
#include "tests/support/desktop/ScriptedToolkit.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Rig {
    desktop::ScriptedToolkit toolkit;
    int endedWith = -1;
    desktop::FailureReporter reporter{toolkit, "ostrel", [this](int status) { endedWith = status; }};
    QPointer<ostrel::Form1> form = new ostrel::Form1(capture::createOrvex, toolkit, reporter);

    Rig()
    {
        desktop::guarded(reporter, form, [this] { form->load(); })();
        form->show();
    }
    ~Rig() { delete form.data(); }

    void click(const char* name) { form->findChild<QAbstractButton*>(name)->click(); }
    bool enabled(const char* name) { return form->findChild<QWidget*>(name)->isEnabled(); }
};

}  // namespace

class RecordingIntegrationTest : public QObject {
    Q_OBJECT

private slots:
    void recordsVideoAndSoundIntoAnAviFileAndStopsBackToThePreview()
    {
        QTemporaryDir folder;
        const QString file = folder.filePath("clip.avi");
        Rig rig;
        auto* devices = rig.form->findChild<QComboBox*>("cboDevice");
        const QString device = qEnvironmentVariable("ORVEX_TEST_VIDEO_DEVICE");
        if (device.isEmpty())
            QCOMPARE(devices->currentText(), QString("Test Pattern Camera"));
        else
            devices->setCurrentIndex(devices->findText(device));
        QVERIFY(devices->currentIndex() >= 0);

        rig.click("Command1");
        QTest::qWait(300);
        rig.toolkit.dialog(0).willSave(file);
        rig.click("Command2");
        QVERIFY2(rig.toolkit.messages().empty(), qPrintable(rig.toolkit.messageTexts().join('\n')));
        QVERIFY(!rig.enabled("Command1") && !rig.enabled("Command2") && rig.enabled("Command3"));

        QTest::qWait(1500);
        rig.click("Command3");
        QVERIFY(rig.enabled("Command1") && rig.enabled("Command2") && !rig.enabled("Command3"));
        QCOMPARE(rig.endedWith, -1);

        // Stop returns once the file is finished: a complete AVI with a video and a sound stream.
        QFile avi(file);
        QVERIFY(avi.open(QIODevice::ReadOnly));
        const QByteArray head = avi.read(16384);
        QCOMPARE(head.left(4), QByteArray("RIFF"));
        QCOMPARE(head.mid(8, 4), QByteArray("AVI "));
        QVERIFY(head.contains("vids"));
        QVERIFY(head.contains("auds"));
        QVERIFY(avi.size() > 10000);
    }

    void captureIntoAMissingFolderIsReportedAndKeepsTheButtons()
    {
        Rig rig;
        rig.toolkit.dialog(0).willSave("/nonexistent-ostrel-folder/clip.avi");

        rig.click("Command2");

        QCOMPARE(rig.toolkit.messageTexts(), QStringList{"Capture file not found"});
        QVERIFY(rig.enabled("Command1") && rig.enabled("Command2") && !rig.enabled("Command3"));
        QCOMPARE(rig.endedWith, -1);
    }
};

QTEST_MAIN(RecordingIntegrationTest)
#include "RecordingIntegrationTest.moc"
