#include "FormRig.h"

using capture::Member;
using capture::Value;

// The settings that reach the control at once, and the compressor switches.
class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void aspectRatioAndMutePutBooleansFromTheNewState()
    {
        FormRig rig(sixSources);
        rig.load();
        rig.fake->clearLog();

        rig.click("chkaspectratio");
        rig.click("chkaspectratio");
        rig.click("ChkTVMute");
        // While recording as well.
        rig.saveDialog().willSave("/tmp/g.avi");
        rig.click("Command2");
        rig.click("ChkTVMute");

        QCOMPARE(rig.requests({"35", "40"}), (Lines{
            "35 KeepAspectRatio put bool 0",
            "35 KeepAspectRatio put bool -1",
            "40 TVMute put bool 0",
            "40 TVMute put bool -1",
        }));
    }

    void backgroundColourPutsTheChosenColourAndNothingOnCancel()
    {
        FormRig rig(sixSources);
        rig.load();
        rig.colourDialog().willCancel();
        rig.colourDialog().willColor(0x0000ff);
        rig.colourDialog().willCancel();
        rig.colourDialog().willColor(0x204080);
        rig.fake->clearLog();

        for (int click = 0; click < 4; ++click)
            rig.click("cmdBackgroundColor");

        QCOMPARE(rig.colourDialog().events().count("showColor"), 4);
        QCOMPARE(rig.requests(), (Lines{
            "36 BackgroundColor put colour 255",
            "36 BackgroundColor put colour 2113664",
        }));
    }

    void compressorBoxesUnlockTheirControlsWithoutTouchingTheControl()
    {
        FormRig rig(sixSources);
        rig.load();
        rig.fake->clearLog();

        rig.click("ChkUseOrvex");
        QVERIFY(rig.enabled("cboVideoCompressor"));
        QVERIFY(rig.enabled("Command5"));
        QVERIFY(!rig.enabled("cboAudioCompressor"));
        rig.click("ChkUseAudioCap");
        QVERIFY(rig.enabled("cboAudioCompressor"));

        rig.click("ChkUseOrvex");
        rig.click("ChkUseAudioCap");
        QVERIFY(!rig.enabled("cboVideoCompressor"));
        QVERIFY(!rig.enabled("Command5"));
        QVERIFY(!rig.enabled("cboAudioCompressor"));

        QCOMPARE(rig.requests(), Lines{});
    }

    void settingShowsThePageOfTheSelectedCompressor_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<Value>("answer");
        QTest::addColumn<QString>("askedName");
        QTest::addColumn<QString>("passedIndex");
        QTest::addColumn<QStringList>("messages");

        // The fake's IndexOf: "MJPEG" 0, "Xvid" 1, "Lost Codec" absent.
        QTest::newRow("page shown") << 1 << Value::boolean(true) << QString("Xvid")
                                    << QString("i16 1") << QStringList();
        QTest::newRow("no page") << 0 << Value::boolean(false) << QString("MJPEG")
                                 << QString("i16 0") << QStringList{"No property page"};
        QTest::newRow("unknown name, page anyway") << 2 << Value::boolean(true) << QString("Lost Codec")
                                                   << QString("i16 -1") << QStringList();
        QTest::newRow("unknown name, no page") << 2 << Value::i16(0) << QString("Lost Codec")
                                               << QString("i16 -1") << QStringList{"No property page"};
        QTest::newRow("nothing selected") << -1 << Value::boolean(false) << QString("")
                                          << QString("i16 -1") << QStringList{"No property page"};
    }

    void settingShowsThePageOfTheSelectedCompressor()
    {
        QFETCH(int, selected);
        QFETCH(Value, answer);
        QFETCH(QString, askedName);
        QFETCH(QString, passedIndex);
        QFETCH(QStringList, messages);

        FormRig rig(sixSources);
        rig.load();
        QComboBox* compressors = rig.list("cboVideoCompressor");
        compressors->addItem("Lost Codec");
        compressors->setCurrentIndex(selected);
        rig.fake->setItemPropertyPageResult(answer);
        rig.click("ChkUseOrvex");
        rig.fake->clearLog();

        rig.click("Command5");

        QCOMPARE(rig.requests(), (Lines{
            "5 VideoCompressors get void",
            "5.2 VideoCompressors.IndexOf call text " + askedName.toStdString(),
            "5 VideoCompressors get void",
            "5.4 VideoCompressors.ShowItemPropertyPage call " + passedIndex.toStdString(),
        }));
        QCOMPARE(rig.toolkit.messageTexts(), messages);
        QCOMPARE(rig.endedWith, -1);
    }

    void settingUsesTheListNotTheCompressorLastApplied()
    {
        FormRig rig(sixSources);
        rig.load();
        rig.click("Command1");  // applies "MJPEG"
        rig.click("ChkUseOrvex");
        rig.list("cboVideoCompressor")->setCurrentIndex(1);
        rig.fake->clearLog();

        rig.click("Command5");

        QCOMPARE(rig.requests({"5.2"}), (Lines{"5.2 VideoCompressors.IndexOf call text Xvid"}));
    }
};

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
