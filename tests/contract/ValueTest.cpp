#include "capture/contract/CallRecord.h"
#include "capture/contract/CaptureControl.h"

#include <QtTest>

using namespace capture;

Q_DECLARE_METATYPE(capture::Value)

class ValueTest : public QObject {
    Q_OBJECT

private slots:
    void exactTypesAreTold()
    {
        // A checked box (1), True (-1), a 16-bit and a 32-bit index never compare equal.
        QVERIFY(Value::i16(1) != Value::boolean(true));
        QVERIFY(Value::i16(-1) != Value::boolean(true));
        QVERIFY(Value::i16(5) != Value::i32(5));
        QVERIFY(Value::colour(255) != Value::i32(255));
        QCOMPARE(Value::boolean(true).boolValue(), std::int16_t(-1));
        QCOMPARE(Value::boolean(false).boolValue(), std::int16_t(0));
        QVERIFY_THROWS_EXCEPTION(CaptureError, Value::i16(1).i32Value());
        QVERIFY(Value().isVoid());
    }

    void narrowing_data()
    {
        QTest::addColumn<int>("kind");  // 0 = i16, 1 = i32, 2 = bool
        QTest::addColumn<Value>("input");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<double>("expected");

        QTest::newRow("i16 from i32") << 0 << Value::i32(-1) << true << -1.0;
        QTest::newRow("i16 top edge") << 0 << Value::i32(32767) << true << 32767.0;
        QTest::newRow("i16 over") << 0 << Value::i32(32768) << false << 0.0;
        QTest::newRow("i16 under") << 0 << Value::i32(-32769) << false << 0.0;
        QTest::newRow("i16 halves to even") << 0 << Value::f64(2.5) << true << 2.0;
        QTest::newRow("i16 numeric text") << 0 << Value::text(" 12 ") << true << 12.0;
        QTest::newRow("i16 from text") << 0 << Value::text("Composite") << false << 0.0;
        QTest::newRow("i16 from void") << 0 << Value() << false << 0.0;
        QTest::newRow("i16 nan") << 0 << Value::f64(std::nan("")) << false << 0.0;
        QTest::newRow("i32 from double") << 1 << Value::f64(-100000.0) << true << -100000.0;
        QTest::newRow("i32 over") << 1 << Value::f64(2147483648.0) << false << 0.0;
        QTest::newRow("i32 infinity") << 1 << Value::f64(INFINITY) << false << 0.0;
        QTest::newRow("bool from -1") << 2 << Value::i16(-1) << true << 1.0;
        QTest::newRow("bool from 1") << 2 << Value::i16(1) << true << 1.0;
        QTest::newRow("bool from 0") << 2 << Value::i32(0) << true << 0.0;
        QTest::newRow("bool from text True") << 2 << Value::text("True") << true << 1.0;
        QTest::newRow("bool from text false") << 2 << Value::text("false") << true << 0.0;
        QTest::newRow("bool from text") << 2 << Value::text("maybe") << false << 0.0;
        QTest::newRow("bool from void") << 2 << Value() << false << 0.0;
    }

    void narrowing()
    {
        QFETCH(int, kind);
        QFETCH(Value, input);
        QFETCH(bool, fits);
        QFETCH(double, expected);
        auto narrow = [&]() -> double {
            switch (kind) {
            case 0: return toInt16(input);
            case 1: return toInt32(input);
            default: return toBoolean(input) ? 1.0 : 0.0;
            }
        };
        if (fits) {
            QCOMPARE(narrow(), expected);
        } else {
            QVERIFY_THROWS_EXCEPTION(CaptureError, narrow());
        }
    }

    void textOfValues()
    {
        QCOMPARE(toText(Value::text("Cam")), std::string("Cam"));
        QCOMPARE(toText(Value::i16(-1)), std::string("-1"));
        QCOMPARE(toText(Value::boolean(true)), std::string("True"));
        QVERIFY_THROWS_EXCEPTION(CaptureError, toText(Value()));
    }

    void traceLines()
    {
        QCOMPARE(CallRecord::put(Member::TVCountryCode, Value::f64(49)).line(),
                 std::string("38 TVCountryCode put f64 49"));
        QCOMPARE(CallRecord::put(Member::Brightness, Value::i32(57)).line(),
                 std::string("8 Brightness put i32 57"));
        QCOMPARE(CallRecord::put(Member::TVMute, Value::boolean(true)).line(),
                 std::string("40 TVMute put bool -1"));
        CallRecord start = CallRecord::call(Member::Start, Value());
        start.result = Value::i16(0);
        QCOMPARE(start.line(), std::string("48 Start call void -> i16 0"));
        CallRecord indexOf = CallRecord::collectionCall(Member::VideoInputs, CollectionMember::IndexOf,
                                                        Value::text("Composite"));
        indexOf.result = Value::i16(1);
        QCOMPARE(indexOf.line(), std::string("41.2 VideoInputs.IndexOf call text Composite -> i16 1"));
        QCOMPARE(CallRecord::rangeGet(Member::Contrast, 3).request(), std::string("9.3 Contrast.Min get void"));
        QCOMPARE(CallRecord::itemGet(Member::TVChannels, 4, ItemMember::Available).request(),
                 std::string("37.2 TVChannels(4).Available get void"));
        QCOMPARE(CallRecord::put(Member::CaptureFileName, Value::text("a\\b\nc")).line(),
                 std::string("7 CaptureFileName put text a\\\\b\\nc"));
        QCOMPARE(CallRecord::put(Member::TVChannel, Value::f64(1.5)).line(),
                 std::string("39 TVChannel put f64 1.5"));
    }

    void rangeNumberingPerProperty()
    {
        auto same = [](RangeNumbering a, RangeNumbering b) {
            return a.min == b.min && a.max == b.max && a.value == b.value;
        };
        QVERIFY(same(rangeNumbering(Member::Brightness), {1, 2, 4}));
        QVERIFY(same(rangeNumbering(Member::Contrast), {3, 2, 5}));
        for (Member property : cameraProperties)
            if (property != Member::Brightness && property != Member::Contrast)
                QVERIFY(same(rangeNumbering(property), {4, 3, 6}));
        QVERIFY_THROWS_EXCEPTION(CaptureError, rangeNumbering(Member::Start));
    }
};


QTEST_APPLESS_MAIN(ValueTest)
#include "ValueTest.moc"
