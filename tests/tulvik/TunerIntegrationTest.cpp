// The tuner window around the real capture control, on the built-in virtual TV tuner.

#include "WindowRig.h"

#include "capture/control/OrvexFactory.h"
#include "tulvik/NumberReading.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <gst/pbutils/pbutils.h>

#include <memory>

using capture::Member;
using capture::Value;

namespace {

const QString TunerName = QStringLiteral("Test Pattern TV Tuner");

struct Rig : WindowRig {
    capture::CaptureWidget* orvex;

    Rig() : WindowRig(capture::createOrvex)
    {
        orvex = dynamic_cast<capture::CaptureWidget*>(child<QWidget>("Orvex1"));
        form->show();
    }

    // Starts the tuner with the country code and waits until its picture arrives.
    void startTuner(const QString& countryCode)
    {
        form->load();
        devices()->setCurrentIndex(devices()->findText(TunerName));
        start(countryCode);
        QDir scratch(QDir::tempPath());
        const QString probe = scratch.filePath(QStringLiteral("tulvik-probe-%1.bmp").arg(QCoreApplication::applicationPid()));
        QTRY_VERIFY_WITH_TIMEOUT(capture::toBoolean(orvex->call(Member::SnapShot, Value::text(probe.toStdString()))),
                                 10000);
        QFile::remove(probe);
    }

    // A snapshot through the window, a few frames after whatever was last changed.
    QImage snapshot()
    {
        QTest::qWait(500);
        button("Command2")->click();
        return picture()->pixmap().toImage();
    }
};

// How much neighbouring pixels differ: small for bars with a number drawn on, large for snow.
double neighbourVariance(const QImage& picture)
{
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    double sum = 0;
    double squares = 0;
    long count = 0;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = 1; x < grey.width(); ++x) {
            const double difference = double(line[x]) - double(line[x - 1]);
            sum += difference;
            squares += difference * difference;
            ++count;
        }
    }
    const double mean = sum / double(count);
    return squares / double(count) - mean * mean;
}

QStringList stations(capture::CaptureControl& control)
{
    QStringList names;
    auto channels = control.collection(Member::TVChannels);
    capture::forEachItem(*channels, [&names](capture::CaptureItem& channel) {
        if (capture::toInt32(channel.available()) != 0)
            names << QString::fromStdString(capture::toText(channel.name()));
    });
    return names;
}

// The first channel of the control's list that carries no station.
double emptyChannel(capture::CaptureControl& control)
{
    auto channels = control.collection(Member::TVChannels);
    for (int position = 0; position < channels->count(); ++position) {
        auto channel = channels->item(position);
        if (capture::toInt32(channel->available()) == 0)
            return tulvik::readNumber(capture::toText(channel->name()));
    }
    return -1;
}

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

}  // namespace

class TunerIntegrationTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }

    void countryCodeListsExactlyTheStations()
    {
        Rig rig;
        rig.startTuner(QStringLiteral("49"));
        QVERIFY2(rig.toolkit.messages().empty(), qPrintable(rig.toolkit.messageTexts().join('\n')));
        QCOMPARE(rig.switches(), Running);

        const QStringList listed = rig.channelTexts();
        QCOMPARE(listed, stations(*rig.orvex));
        const int all = rig.orvex->collection(Member::TVChannels)->count();
        QVERIFY2(!listed.isEmpty() && listed.size() < all,
                 qPrintable(QStringLiteral("%1 of %2 channels listed").arg(listed.size()).arg(all)));
    }

    void aStationShowsBarsAndAnEmptyChannelSnow()
    {
        Rig rig;
        rig.startTuner(QStringLiteral("49"));
        QVERIFY(rig.channels()->count() > 1);

        const double untuned = neighbourVariance(rig.snapshot());
        rig.channels()->setCurrentRow(0);
        const QImage first = rig.snapshot();
        rig.channels()->setCurrentRow(1);
        const QImage second = rig.snapshot();
        QVERIFY2(first != second, "each station shows its own number");
        const double station = neighbourVariance(first);
        const double otherStation = neighbourVariance(second);
        const double unused = emptyChannel(*rig.orvex);
        QVERIFY(unused >= 0);
        rig.orvex->put(Member::TVChannel, Value::f64(unused));
        const double empty = neighbourVariance(rig.snapshot());

        qInfo("neighbour variance: untuned %.0f, stations %.0f and %.0f, empty channel %.0f", untuned, station,
              otherStation, empty);
        QVERIFY(untuned > 10 * station);
        QVERIFY(empty > 10 * station);
        QVERIFY(empty > 10 * otherStation);
        QVERIFY2(rig.toolkit.messages().empty(), qPrintable(rig.toolkit.messageTexts().join('\n')));
    }

    void snapshotIsWrittenBesideTheProgramAndShown()
    {
        Rig rig;
        const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/test.bmp");
        QCOMPARE(rig.form->snapshotPath(), path);
        QFile::remove(path);
        rig.startTuner(QStringLiteral("49"));
        rig.channels()->setCurrentRow(0);

        const QImage shown = rig.snapshot();
        QVERIFY2(rig.toolkit.messages().empty(), qPrintable(rig.toolkit.messageTexts().join('\n')));
        const QImage written(path);
        QVERIFY(!written.isNull());
        QVERIFY(!shown.isNull());
        QCOMPARE(shown.size(), written.size());
        QCOMPARE(shown.convertToFormat(QImage::Format_RGB32), written.convertToFormat(QImage::Format_RGB32));
        QFile::remove(path);
    }

    void recordingReadsBackWithSoundAndPicture()
    {
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("tuner news.avi"));
        Rig rig;
        rig.startTuner(QStringLiteral("49"));
        rig.channels()->setCurrentRow(0);

        rig.toolkit.dialog(0).willSave(file);
        rig.button("Command3")->click();
        QCOMPARE(rig.switches(), Recording);
        QTest::qWait(3000);
        rig.button("Command4")->click();
        QCOMPARE(rig.switches(), RunningAfterRecording);
        QVERIFY2(rig.toolkit.messages().empty(), qPrintable(rig.toolkit.messageTexts().join('\n')));

        GError* error = nullptr;
        std::unique_ptr<GstDiscoverer, GObjectUnref> discoverer(gst_discoverer_new(10 * GST_SECOND, &error));
        QVERIFY(discoverer);
        const QByteArray uri = QUrl::fromLocalFile(file).toEncoded();
        std::unique_ptr<GstDiscovererInfo, GObjectUnref> info(
            gst_discoverer_discover_uri(discoverer.get(), uri.constData(), &error));
        QVERIFY2(info, error ? error->message : "no answer");
        QCOMPARE(gst_discoverer_info_get_result(info.get()), GST_DISCOVERER_OK);

        GList* audio = gst_discoverer_info_get_audio_streams(info.get());
        GList* video = gst_discoverer_info_get_video_streams(info.get());
        const guint audioStreams = g_list_length(audio);
        const guint videoStreams = g_list_length(video);
        gst_discoverer_stream_info_list_free(audio);
        gst_discoverer_stream_info_list_free(video);
        QCOMPARE(audioStreams, 1u);
        QCOMPARE(videoStreams, 1u);

        const double seconds = double(gst_discoverer_info_get_duration(info.get())) / GST_SECOND;
        qInfo("recorded %.2f s", seconds);
        QVERIFY2(seconds > 2.7 && seconds < 3.6, qPrintable(QString::number(seconds)));
    }
};

QTEST_MAIN(TunerIntegrationTest)
#include "TunerIntegrationTest.moc"
