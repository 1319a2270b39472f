#include "WindowRig.h"

#include "tests/support/control/FakeCaptureControl.h"
#include "desktop/Fonts.h"
#include "desktop/Twips.h"
#include "tulvik/SnapshotFolder.h"

#include <QCheckBox>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using capture::FakeCaptureControl;
using capture::Member;
using capture::Value;
using Lines = std::vector<std::string>;

namespace {

// The window around the fake control; snapshots go to a folder of the test's own.
struct Rig : WindowRig {
    FakeCaptureControl* fake;
    QTemporaryDir folder;

    Rig() : WindowRig([](QWidget* parent) { return new FakeCaptureControl(parent); })
    {
        fake = dynamic_cast<FakeCaptureControl*>(child<QWidget>("Orvex1"));
        form->setSnapshotFolder(folder.path());
        fake->setResult(Member::HasTVTuner, Value::boolean(true));
    }
};

QImage filled(const QSize& size, Qt::GlobalColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

}  // namespace

class Form1Test : public QObject {
    Q_OBJECT

private slots:
    void windowHoldsItsControlsAsLaidOut()
    {
        Rig rig;
        QCOMPARE(rig.form->windowTitle(), QStringLiteral("TV Tunner Demo"));
        QCOMPARE(rig.form->size(), QSize(648, 494));
        QCOMPARE(rig.form->font().family(), desktop::standInFamily("MS Sans Serif"));

        struct Expected {
            const char* name;
            const char* className;
            QString text;
            QRect twips;
            bool enabled;
        };
        const Expected controls[] = {
            {"Orvex1", "QWidget", {}, {240, 960, 4335, 3255}, true},
            {"Command1", "QPushButton", "Start", {4200, 120, 1095, 375}, true},
            {"List1", "QListWidget", {}, {240, 4800, 3255, 2205}, true},
            {"Command2", "QPushButton", "SnapShot", {5400, 120, 1095, 375}, false},
            {"Picture1", "QLabel", {}, {5160, 840, 4335, 3375}, true},
            {"Label1", "QLabel", "Video Device", {120, 120, 1215, 255}, true},
            {"cboDevice", "QComboBox", {}, {1680, 120, 2415, 315}, true},
            {"Command3", "QPushButton", "Capture", {6600, 120, 1095, 375}, false},
            {"Label2", "QLabel", "TV Channel No.", {240, 4440, 1335, 255}, true},
            {"Command4", "QPushButton", "Stop Capture", {7800, 120, 1095, 375}, false},
            {"Check1", "QCheckBox", "Mute", {3720, 5280, 975, 375}, true},
            {"Command5", "QPushButton", "Orvex Property Page", {3720, 6120, 2295, 615}, true},
            {"Text1", "QLineEdit", "1", {1680, 480, 1455, 285}, true},
            {"Label3", "QLabel", "Country Code", {120, 480, 1215, 255}, true},
            {"Label4", "QLabel", "if you do not know your country code ,see the help file", {3240, 480, 4455, 255}, true},
        };
        QStringList tabOrder;
        for (const Expected& control : controls) {
            auto* widget = rig.child<QWidget>(control.name);
            QVERIFY2(widget->inherits(control.className), control.name);
            const QRect& t = control.twips;
            QCOMPARE(widget->geometry(), desktop::twipsRect(t.x(), t.y(), t.width(), t.height()));
            QCOMPARE(widget->isEnabled(), control.enabled);
            QCOMPARE(widget->font(), rig.form->font());
            const QVariant text = widget->property("text");
            QCOMPARE(text.isValid() ? text.toString() : QString(), control.text);
            tabOrder << QLatin1String(control.name);
        }

        QStringList chain;
        for (QWidget* widget = rig.child<QWidget>("Orvex1"); chain.size() < tabOrder.size();
             widget = widget->nextInFocusChain())
            if (tabOrder.contains(widget->objectName()))
                chain << widget->objectName();
        QCOMPARE(chain, tabOrder);

        QVERIFY(!rig.devices()->isEditable());
        QCOMPARE(rig.devices()->count(), 0);
        QCOMPARE(rig.channels()->count(), 0);
        QCOMPARE(rig.child<QCheckBox>("Check1")->checkState(), Qt::Unchecked);
        QVERIFY(rig.picture()->pixmap().isNull());
        QCOMPARE(rig.picture()->frameShadow(), QFrame::Sunken);
        QVERIFY(rig.fake->requests().empty());
    }

    void loadListsTheDevicesAndSelectsTheFirst()
    {
        Rig rig;
        rig.fake->setItemNames(Member::VideoDevices, {"Card A", "Test Pattern TV Tuner"});
        rig.form->load();
        QCOMPARE(rig.devices()->itemText(0), QStringLiteral("Card A"));
        QCOMPARE(rig.devices()->itemText(1), QStringLiteral("Test Pattern TV Tuner"));
        QCOMPARE(rig.devices()->currentIndex(), 0);
        QCOMPARE(rig.fake->requests(), (Lines{"3 VideoDevices get void", "3.1 VideoDevices(0).Name get void",
                                              "3.1 VideoDevices(1).Name get void"}));
        QCOMPARE(rig.switches(), Opened);

        Rig empty;
        empty.form->load();
        QCOMPARE(empty.devices()->count(), 0);
        QCOMPARE(empty.devices()->currentIndex(), -1);
        QVERIFY(!empty.reporter.failed());
    }

    void startTunesTheChosenDeviceAndListsOfferedChannels()
    {
        Rig rig;
        rig.fake->setItemNames(Member::VideoDevices, {"Card A", "Test Pattern TV Tuner"});
        rig.fake->setIndexOf(Member::VideoDevices, "Test Pattern TV Tuner", Value::i16(4));
        rig.fake->setItems(Member::TVChannels, {{"21 (471.25 MHz)", Value::i32(1)},
                                                {"22 (479.25 MHz)", Value::i32(0)},
                                                {"5 (E5) 175.25 MHz", Value::i32(7)}});
        rig.form->load();
        rig.devices()->setCurrentIndex(1);
        rig.fake->clearLog();

        rig.start(QStringLiteral("4 9abc"));
        QCOMPARE(rig.fake->requests(),
                 (Lines{"3 VideoDevices get void", "3.2 VideoDevices.IndexOf call text Test Pattern TV Tuner",
                        "1 VideoDevice put i16 4", "38 TVCountryCode put f64 49", "48 Start call void",
                        "52 HasTVTuner get void", "37 TVChannels get void", "37.2 TVChannels(0).Available get void",
                        "37.1 TVChannels(0).Name get void", "37.2 TVChannels(1).Available get void",
                        "37.2 TVChannels(2).Available get void", "37.1 TVChannels(2).Name get void"}));
        QCOMPARE(rig.channelTexts(), (QStringList{"21 (471.25 MHz)", "5 (E5) 175.25 MHz"}));
        QVERIFY(rig.toolkit.messages().empty());
        QCOMPARE(rig.switches(), Running);

        // Typing after "Start" reaches the control only with the next "Start".
        rig.fake->clearLog();
        rig.child<QLineEdit>("Text1")->setText(QStringLiteral("44"));
        QVERIFY(rig.fake->requests().empty());
    }

    void startWithoutTunerWarnsAndStillGoesOn()
    {
        Rig rig;
        rig.fake->setResult(Member::HasTVTuner, Value::i32(0));
        rig.fake->setItems(Member::TVChannels, {{"2", Value::i32(0)}, {"3", Value::i32(0)}});
        rig.form->load();  // no devices: nothing selected, so no device is put
        rig.start(QString());
        QCOMPARE(rig.fake->requests({"1", "38"}), (Lines{"38 TVCountryCode put f64 0"}));
        QCOMPARE(rig.toolkit.messages().size(), size_t(1));
        QCOMPARE(rig.toolkit.messages()[0].title, QStringLiteral("tulvik"));
        QCOMPARE(rig.toolkit.messages()[0].text, QStringLiteral("No TV Tunner found"));
        QCOMPARE(rig.channels()->count(), 0);
        QCOMPARE(rig.switches(), Running);
    }

    void aSecondStartListsEachChannelOnceAndTunesNothing()
    {
        Rig rig;
        rig.fake->setItemNames(Member::VideoDevices, {"Gone"});
        rig.fake->setIndexOf(Member::VideoDevices, "Gone", Value::i16(-1));
        rig.fake->setItemNames(Member::TVChannels, {"21", "22"});
        rig.form->load();
        rig.start();
        rig.channels()->setCurrentRow(1);
        rig.toolkit.dialog(0).willSave(QStringLiteral("/tmp/a.avi"));
        rig.button("Command3")->click();
        rig.button("Command4")->click();
        rig.fake->clearLog();

        rig.start();
        QCOMPARE(rig.channelTexts(), (QStringList{"21", "22"}));
        // The device that the control no longer knows is not put, and the emptied list tunes nothing.
        QCOMPARE(rig.fake->requests({"1", "39"}), Lines{});
    }

    void aChosenChannelIsTunedByTheNumberItBeginsWith()
    {
        Rig rig;
        rig.fake->setItemNames(Member::TVChannels, {"5", "21 (471.25 MHz)", "Teletext", " 1 2 3"});
        rig.start();
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form));
        rig.fake->clearLog();

        rig.channels()->setCurrentRow(0);  // as the arrow keys do
        const QRect second = rig.channels()->visualItemRect(rig.channels()->item(1));
        QTest::mouseClick(rig.channels()->viewport(), Qt::LeftButton, {}, second.center());
        rig.channels()->setCurrentRow(2);
        rig.channels()->setCurrentRow(3);
        QCOMPARE(rig.fake->requests(), (Lines{"39 TVChannel put f64 5", "39 TVChannel put f64 21",
                                              "39 TVChannel put f64 0", "39 TVChannel put f64 123"}));
    }

    void muteFollowsTheCheckBoxBeforeAndAfterStart()
    {
        Rig rig;
        auto* mute = rig.child<QCheckBox>("Check1");
        mute->click();
        rig.start();
        mute->click();
        // A greyed box is not checked and unmutes.
        mute->setTristate(true);
        mute->click();
        QCOMPARE(mute->checkState(), Qt::PartiallyChecked);
        QCOMPARE(rig.fake->requests({"40"}),
                 (Lines{"40 TVMute put bool -1", "40 TVMute put bool 0", "40 TVMute put bool 0"}));
    }

    void snapshotIsWrittenBesideTheProgramAndShown()
    {
        Rig rig;
        QCOMPARE(rig.form->snapshotPath(), rig.folder.filePath(QStringLiteral("test.bmp")));
        Qt::GlobalColor next = Qt::red;
        rig.fake->onCall(Member::SnapShot, [&next](const Value& path) {
            QVERIFY(filled(QSize(400, 300), next).save(QString::fromStdString(capture::toText(path)), "BMP"));
        });
        rig.start();
        rig.button("Command2")->click();
        next = Qt::blue;
        rig.button("Command2")->click();

        const std::string path = rig.form->snapshotPath().toStdString();
        QCOMPARE(rig.fake->requests({"50"}), (Lines{"50 SnapShot call text " + path, "50 SnapShot call text " + path}));
        const QImage shown = rig.picture()->pixmap().toImage();
        QCOMPARE(shown.size(), QSize(400, 300));
        QCOMPARE(QColor(shown.pixel(10, 10)), QColor(Qt::blue));
        QVERIFY(rig.toolkit.messages().empty());
        QCOMPARE(rig.switches(), Running);
    }

    // An installed copy's folder cannot be written; its snapshots go to the user's data folder.
    void snapshotsGoToTheUsersFolderWhenTheProgramsCannotBeWritten()
    {
        QStandardPaths::setTestModeEnabled(true);
        QTemporaryDir program;
        QCOMPARE(tulvik::snapshotFolder(program.path()), program.path());

        const QString unwritable = program.filePath(QStringLiteral("missing"));
        const QString user = tulvik::snapshotFolder(unwritable);
        QCOMPARE(user, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
        QVERIFY(user != unwritable);
        QVERIFY(QFileInfo(user).isDir() && QFileInfo(user).isWritable());
    }

    void aFailedSnapshotIsToldAndKeepsThePicture()
    {
        Rig rig;
        rig.fake->onCall(Member::SnapShot, [](const Value& path) {
            QVERIFY(filled(QSize(40, 30), Qt::green).save(QString::fromStdString(capture::toText(path)), "BMP"));
        });
        rig.start();
        rig.button("Command2")->click();

        // The control answers False: the file it left from before must not pass for a new picture.
        rig.fake->onCall(Member::SnapShot, [](const Value&) {});
        rig.fake->setResult(Member::SnapShot, Value::boolean(false));
        rig.button("Command2")->click();
        // The control claims success but the file is no picture.
        rig.fake->setResult(Member::SnapShot, Value::boolean(true));
        rig.fake->onCall(Member::SnapShot, [](const Value& path) {
            QFile file(QString::fromStdString(capture::toText(path)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not a picture");
        });
        rig.button("Command2")->click();
        // The control could not save its picture: its reason is told, the program goes on.
        rig.fake->failOn("50", 1, "test.bmp is a folder");
        rig.button("Command2")->click();

        const QStringList messages = rig.toolkit.messageTexts();
        QCOMPARE(messages.size(), 3);
        QCOMPARE(messages[2], QStringLiteral("The snapshot failed: test.bmp is a folder"));
        QVERIFY2(messages[0].startsWith(QStringLiteral("The snapshot failed")), qPrintable(messages[0]));
        QVERIFY2(messages[1].contains(rig.form->snapshotPath()), qPrintable(messages[1]));
        QCOMPARE(rig.picture()->pixmap().size(), QSize(40, 30));
        QVERIFY(!rig.reporter.failed());
    }

    void captureRecordsIntoTheChosenFile_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("switches");
        QTest::newRow("started") << 0 << QString() << Recording;
        QTest::newRow("other status") << 1 << QString() << Recording;
        QTest::newRow("cannot begin") << -1
                                      << "Capture Failure,Video, Audio Compressor not correct or capture file opening"
                                      << Running;
        QTest::newRow("file not found") << -2 << "Capture file not found" << Running;
    }

    void captureRecordsIntoTheChosenFile()
    {
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(QString, switches);
        Rig rig;
        rig.start();
        rig.fake->clearLog();
        rig.fake->setResult(Member::Start, Value::i16(static_cast<std::int16_t>(status)));
        rig.toolkit.dialog(0).willSave(QStringLiteral("/tmp/news at 8.avi"));
        rig.button("Command3")->click();

        QCOMPARE(rig.toolkit.dialog(0).events(), (QStringList{"filter Avi File (*.avi)|*.avi", "showSave"}));
        QCOMPARE(rig.fake->requests(),
                 (Lines{"34 CaptureVideo put bool -1", "27 CaptureAudio put bool -1", "33 ShowPreview put bool -1",
                        "30 UseVideoCompressor put bool 0", "31 UseAudioCompressor put bool 0",
                        "6 CaptureToFile put bool -1", "7 CaptureFileName put text /tmp/news at 8.avi",
                        "48 Start call void"}));
        QCOMPARE(rig.toolkit.messageTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(rig.switches(), switches);
    }

    void aCancelledSaveDialogPutsNothing()
    {
        Rig rig;
        rig.start();
        rig.fake->clearLog();
        rig.toolkit.dialog(0).willCancel();
        rig.button("Command3")->click();
        QCOMPARE(rig.toolkit.dialog(0).events(), (QStringList{"filter Avi File (*.avi)|*.avi", "showSave"}));
        QVERIFY(rig.fake->requests().empty());
        QCOMPARE(rig.switches(), Running);
    }

    void stopCaptureReturnsToTheLivePictureAndCaptureWorksAgain()
    {
        Rig rig;
        rig.start();
        rig.toolkit.dialog(0).willSave(QStringLiteral("/tmp/first.avi"));
        rig.button("Command3")->click();
        rig.button("Command2")->click();  // a snapshot while recording
        QCOMPARE(rig.switches(), Recording);
        rig.fake->clearLog();

        rig.button("Command4")->click();
        QCOMPARE(rig.fake->requests(), (Lines{"49 Stop call void", "6 CaptureToFile put bool 0", "48 Start call void"}));
        QCOMPARE(rig.switches(), RunningAfterRecording);

        rig.toolkit.dialog(0).willSave(QStringLiteral("/tmp/second.avi"));
        rig.button("Command3")->click();
        QCOMPARE(rig.toolkit.dialog(0).events().count(QStringLiteral("showSave")), 2);
        QCOMPARE(rig.fake->requests({"34", "27", "33", "30", "31", "6", "7"}).size(), size_t(8));
        QCOMPARE(rig.fake->lastPut(Member::CaptureFileName), Value::text("/tmp/second.avi"));
        QCOMPARE(rig.switches(), QStringLiteral("11101"));
    }

    void propertyPageOpensBeforeStart()
    {
        Rig rig;
        rig.button("Command5")->click();
        QCOMPARE(rig.fake->requests(), Lines{"51 ShowPropertyPage call void"});
        QCOMPARE(rig.switches(), Opened);
    }

    void aFailingCallEndsTheProgramKeepingWhatWasDone_data()
    {
        QTest::addColumn<QString>("countryCode");
        QTest::addColumn<QString>("failOn");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("requestCount");
        QTest::newRow("Start raises") << "49" << "48" << "scripted failure" << 4;
        QTest::newRow("country code too large") << "1E999" << "" << "too large" << 2;
    }

    void aFailingCallEndsTheProgramKeepingWhatWasDone()
    {
        QFETCH(QString, countryCode);
        QFETCH(QString, failOn);
        QFETCH(QString, error);
        QFETCH(int, requestCount);
        Rig rig;
        if (!failOn.isEmpty())
            rig.fake->failOn(failOn.toStdString(), 1);
        rig.start(countryCode);
        QVERIFY(rig.reporter.failed());
        QCOMPARE(rig.exitStatus, std::optional<int>(desktop::FailureReporter::ExitStatus));
        QCOMPARE(rig.toolkit.messages().size(), size_t(1));
        QVERIFY2(rig.toolkit.messages()[0].text.contains(error), qPrintable(rig.toolkit.messages()[0].text));
        QCOMPARE(rig.fake->requests().size(), size_t(requestCount));
    }
};

QTEST_MAIN(Form1Test)
#include "Form1Test.moc"
