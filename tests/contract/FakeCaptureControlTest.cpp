#include "tests/support/control/FakeCaptureControl.h"

#include <QtTest>

using namespace capture;

class FakeCaptureControlTest : public QObject {
    Q_OBJECT

private slots:
    void logsEveryCallWithItsExactType()
    {
        FakeCaptureControl fake;
        fake.setItemNames(Member::VideoInputs, {"Television", "Composite"});
        fake.put(Member::VideoInput, Value::i16(1));
        fake.put(Member::CaptureAudio, Value::i16(1));
        fake.put(Member::CaptureToFile, Value::boolean(true));
        auto inputs = fake.collection(Member::VideoInputs);
        QCOMPARE(toText(inputs->item(1)->name()), std::string("Composite"));
        QCOMPARE(inputs->indexOf(Value::text("Composite")), Value::i16(1));
        QCOMPARE(inputs->indexOf(Value::text("S-Video")), Value::i16(-1));
        QCOMPARE(fake.call(Member::Start, Value()), Value::i16(0));

        const std::vector<std::string> expected = {
            "42 VideoInput put i16 1",
            "27 CaptureAudio put i16 1",
            "6 CaptureToFile put bool -1",
            "41 VideoInputs get void",
            "41.1 VideoInputs(1).Name get void",
            "41.2 VideoInputs.IndexOf call text Composite",
            "41.2 VideoInputs.IndexOf call text S-Video",
            "48 Start call void",
        };
        QCOMPARE(fake.requests(), expected);
        QCOMPARE(fake.log().back().line(), std::string("48 Start call void -> i16 0"));
        QCOMPARE(fake.lastPut(Member::CaptureToFile), Value::boolean(true));
        QVERIFY(fake.lastPut(Member::VideoDevice).isVoid());
    }

    void scriptedResultsAndAnswers()
    {
        FakeCaptureControl fake;
        fake.setItemNames(Member::VideoDevices, {"Cam", "Cam"});
        fake.setIndexOf(Member::VideoDevices, "Cam", Value::i16(7));
        QCOMPARE(fake.collection(Member::VideoDevices)->indexOf(Value::text("Cam")), Value::i16(7));

        fake.setResult(Member::Start, Value::i16(-2));
        fake.queueResults(Member::Start, {Value::i16(-1)});
        QCOMPARE(fake.call(Member::Start, Value()), Value::i16(-1));
        QCOMPARE(fake.call(Member::Start, Value()), Value::i16(-2));
        QCOMPARE(fake.call(Member::Start, Value()), Value::i16(-2));

        fake.setRange(Member::Contrast, {Value::boolean(true), Value::i32(-5), Value::i32(5), Value::i32(2)});
        auto contrast = fake.cameraProperty(Member::Contrast);
        QCOMPARE(contrast->get(7), Value::boolean(true));
        QCOMPARE(contrast->get(3), Value::i32(-5));
        QCOMPARE(contrast->get(2), Value::i32(5));
        QCOMPARE(contrast->get(5), Value::i32(2));
        // A number of another setting's numbering is no member of Contrast's object.
        QVERIFY_THROWS_EXCEPTION(CaptureError, contrast->get(4));
        QCOMPARE(fake.cameraProperty(Member::Gain)->get(7), Value::boolean(false));
    }

    void itemPagesAndChannels()
    {
        FakeCaptureControl fake;
        fake.setItemNames(Member::VideoCompressors, {"MJPEG"});
        auto compressors = fake.collection(Member::VideoCompressors);
        QCOMPARE(compressors->showItemPropertyPage(Value::i16(0)), Value::boolean(true));
        QCOMPARE(compressors->showItemPropertyPage(Value::i16(-1)), Value::boolean(false));
        QVERIFY_THROWS_EXCEPTION(CaptureError,
                                 fake.collection(Member::AudioDevices)->showItemPropertyPage(Value::i16(0)));

        fake.setItems(Member::TVChannels, {{"2", Value::i32(0)}, {"3", Value::i32(1)}});
        auto channels = fake.collection(Member::TVChannels);
        QCOMPARE(channels->item(0)->available(), Value::i32(0));
        QVERIFY_THROWS_EXCEPTION(CaptureError, compressors->item(0)->available());
        QVERIFY_THROWS_EXCEPTION(CaptureError, channels->item(2));
    }

    void failsOnTheNthCall()
    {
        FakeCaptureControl fake;
        fake.failOn("48", 2, "device lost");
        fake.call(Member::Start, Value());
        try {
            fake.call(Member::Start, Value());
            QFAIL("the second Start should fail");
        } catch (const CaptureError& error) {
            QCOMPARE(std::string(error.what()), std::string("device lost"));
        }
        fake.call(Member::Start, Value());  // the script fails once
        QCOMPARE(fake.requests({"48"}).size(), size_t(3));

        fake.failOn("41.2", 1);
        auto inputs = fake.collection(Member::VideoInputs);
        QVERIFY_THROWS_EXCEPTION(CaptureError, inputs->indexOf(Value::text("x")));
    }

    void actionsRunOnCalls()
    {
        FakeCaptureControl fake;
        std::string path;
        fake.onCall(Member::SnapShot, [&](const Value& argument) { path = toText(argument); });
        QCOMPARE(fake.call(Member::SnapShot, Value::text("/tmp/x.bmp")), Value::boolean(true));
        QCOMPARE(path, std::string("/tmp/x.bmp"));
    }
};

QTEST_MAIN(FakeCaptureControlTest)
#include "FakeCaptureControlTest.moc"
