#include "ControlRig.h"

#include "capture/control/TracedControl.h"
#include "tests/support/control/FakeCaptureControl.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace capture;

namespace {

QStringList linesOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

class TraceTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("ORVEX_TRACE"); }
    void aShortSessionIsWrittenLineByLine();
    void failedCallsAreWrittenAsAsked();
    void nothingIsWrittenWithoutTheVariable();
};

void TraceTest::aShortSessionIsWrittenLineByLine()
{
    QTemporaryDir folder;
    const QString trace = folder.filePath("trace.log");
    QFile seed(trace);
    QVERIFY(seed.open(QIODevice::WriteOnly));
    seed.write("earlier run\n");
    seed.close();
    qputenv("ORVEX_TRACE", trace.toUtf8());

    auto orvex = controltest::virtualOrvex();
    orvex->put(Member::TVMute, Value::boolean(true));
    {
        auto devices = orvex->collection(Member::VideoDevices);
        devices->item(1)->name();
    }
    orvex->collection(Member::VideoInputs)->indexOf(Value::text("Camera"));
    orvex->put(Member::VideoDevice, Value::i16(1));
    orvex->put(Member::TVCountryCode, Value::f64(49));
    orvex->collection(Member::TVChannels)->item(0)->available();
    orvex->cameraProperty(Member::Brightness)->get(RangeMember::Supported);
    orvex->put(Member::Brightness, Value::i32(57));
    orvex->call(Member::Start);
    // Flushed at once: the lines are there while the control still lives.
    QCOMPARE(linesOf(trace).size(), 14);
    orvex->call(Member::Stop);
    orvex.reset();

    QCOMPARE(linesOf(trace),
             (QStringList{
                 "earlier run",
                 "40 TVMute put bool -1",
                 "3 VideoDevices get void",
                 "3.1 VideoDevices(1).Name get void -> text Test Pattern TV Tuner",
                 "41 VideoInputs get void",
                 "41.2 VideoInputs.IndexOf call text Camera -> i16 0",
                 "1 VideoDevice put i16 1",
                 "38 TVCountryCode put f64 49",
                 "37 TVChannels get void",
                 linesOf(trace).at(9),  // the first channel's availability depends on the stations
                 "8 Brightness get void",
                 "8.7 Brightness.Supported get void -> bool -1",
                 "8 Brightness put i32 57",
                 "48 Start call void -> i16 0",
                 "49 Stop call void",
             }));
    QVERIFY(linesOf(trace).at(9).startsWith("37.2 TVChannels(0).Available get void -> i32 "));
}

void TraceTest::failedCallsAreWrittenAsAsked()
{
    QTemporaryDir folder;
    const QString trace = folder.filePath("trace.log");
    FakeCaptureControl fake;
    fake.setItemNames(Member::VideoCompressors, {"Motion JPEG"});
    fake.failOn("48", 1, "the device is gone");
    fake.failOn("5.4", 1, "no page");
    TracedControl traced(fake, std::make_shared<TraceLog>(trace.toStdString()));

    QVERIFY_THROWS_EXCEPTION(CaptureError, traced.call(Member::Start, Value()));
    auto compressors = traced.collection(Member::VideoCompressors);
    QVERIFY_THROWS_EXCEPTION(CaptureError, compressors->showItemPropertyPage(Value::i16(0)));
    QCOMPARE(traced.call(Member::SnapShot, Value::text("a\\b\nc.bmp")), Value::boolean(true));

    QCOMPARE(linesOf(trace), (QStringList{
                                 "48 Start call void",
                                 "5 VideoCompressors get void",
                                 "5.4 VideoCompressors.ShowItemPropertyPage call i16 0",
                                 "50 SnapShot call text a\\\\b\\nc.bmp -> bool -1",
                             }));
}

void TraceTest::nothingIsWrittenWithoutTheVariable()
{
    QTemporaryDir folder;
    qputenv("ORVEX_TRACE", "");
    auto orvex = controltest::virtualOrvex();
    orvex->put(Member::TVMute, Value::boolean(true));
    QVERIFY(QDir(folder.path()).isEmpty());
    QVERIFY(!TraceLog::fromEnvironment());
    qputenv("ORVEX_TRACE", folder.filePath("no/such/folder/trace.log").toUtf8());
    QVERIFY(!TraceLog::fromEnvironment());
}

QTEST_MAIN(TraceTest)
#include "TraceTest.moc"
