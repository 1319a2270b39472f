// The real control on a real sound server: a private one per case, brought up by
// scripts/with-sound-server.sh with a null sink carrying a 440 Hz tone ("Orvex Test Signal")
// and a null sink as the default output ("Orvex Test Speakers") whose monitor the test listens to.

#include "ControlRig.h"

#include "capture/control/OrvexCore.h"
#include "capture/control/OrvexFactory.h"
#include "capture/view/VideoView.h"
#include "tests/engine/AviReadBack.h"
#include "tests/tulvik/WindowRig.h"

#include <gst/app/gstappsink.h>

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <numbers>
#include <vector>

using namespace capture;
using controltest::indexOf;
using controltest::names;
using Clock = std::chrono::steady_clock;

namespace {

const std::string ToneMonitor = "Monitor of Orvex Test Signal";
const std::string SpeakerMonitor = "Monitor of Orvex Test Speakers";
// A socket nobody listens on: no server, and no client starts one of its own.
const QByteArray NoServer = "unix:/nonexistent/orvex-no-sound-server";
// A sample this loud is sound, not silence (full scale is 32767).
constexpr int Audible = 1000;

// The script, run with a command that prints where the server is and waits for its input to
// close: closing it (or this process ending) stops the server and everything the script started.
class PrivateSoundServer {
public:
    // Empty when the server runs; else why not.
    QString start()
    {
        m_script.setProgram(QStringLiteral(SOUND_SERVER_SCRIPT));
        m_script.setArguments({QStringLiteral("sh"), QStringLiteral("-c"),
                               QStringLiteral("echo \"$PULSE_SERVER\"; exec cat >/dev/null")});
        m_script.start();
        while (!m_script.canReadLine()) {
            if (!m_script.waitForReadyRead(20000))
                return QStringLiteral("the sound server did not start: ") + QString::fromLocal8Bit(m_script.readAllStandardError());
        }
        qputenv("PULSE_SERVER", m_script.readLine().trimmed());
        return {};
    }

    ~PrivateSoundServer()
    {
        m_script.closeWriteChannel();
        if (!m_script.waitForFinished(10000))
            m_script.kill();
        qputenv("PULSE_SERVER", NoServer);
    }

private:
    QProcess m_script;
};

#define START_SOUND_SERVER(server)                                                                    \
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())                      \
        QSKIP("pulseaudio is not installed: run scripts/install-deps.sh to test sound.");             \
    if (const QString failure = (server).start(); !failure.isEmpty())                                \
        QFAIL(qPrintable(failure));

QString pactl(const QStringList& arguments)
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), arguments);
    pactl.waitForFinished(10000);
    return QString::fromUtf8(pactl.readAllStandardOutput());
}

// What this process holds on the server: "sink-inputs" (playback streams) or "clients".
int ownOnServer(const char* what)
{
    const QString mine = QStringLiteral("application.process.id = \"%1\"").arg(QCoreApplication::applicationPid());
    return pactl({QStringLiteral("list"), QString::fromLatin1(what)}).count(mine);
}

int ownPlaybackStreams() { return ownOnServer("sink-inputs"); }

// Silences or restores the script's 440 Hz tone where the server mixes it.
void muteTestSignal(bool muted)
{
    for (const QString& stream : pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")}).split(QStringLiteral("Sink Input #")))
        if (stream.contains(QStringLiteral("application.name = \"Orvex test signal\"")))
            pactl({QStringLiteral("set-sink-input-mute"), stream.section(QLatin1Char('\n'), 0, 0).trimmed(),
                   muted ? QStringLiteral("1") : QStringLiteral("0")});
}

// A monitor of the server (the speakers' by default), heard from here: the loudest sample of
// each piece as it arrives.
class SpeakerListener {
public:
    explicit SpeakerListener(const char* monitor = "orvex_speakers.monitor")
        : m_pipeline(gst_pipeline_new(nullptr))
    {
        GstElement* source = gst_element_factory_make("pulsesrc", nullptr);
        g_object_set(source, "device", monitor, "buffer-time", gint64(40000), "latency-time",
                     gint64(5000), nullptr);
        GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
        GstElement* sink = gst_element_factory_make("appsink", nullptr);
        CapsPtr caps(gst_caps_from_string("audio/x-raw, format=S16LE, channels=1"));
        g_object_set(sink, "caps", caps.get(), "sync", FALSE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = [](GstAppSink* appsink, gpointer self) {
            SamplePtr sample(gst_app_sink_pull_sample(appsink));
            std::vector<std::int16_t> samples(gst_buffer_get_size(gst_sample_get_buffer(sample.get())) / 2);
            gst_buffer_extract(gst_sample_get_buffer(sample.get()), 0, samples.data(), samples.size() * 2);
            int peak = 0;
            for (std::int16_t value : samples)
                peak = std::max(peak, std::abs(int(value)));
            static_cast<SpeakerListener*>(self)->heard(peak);
            return GST_FLOW_OK;
        };
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        gst_bin_add_many(GST_BIN(m_pipeline.get()), source, convert, sink, nullptr);
        gst_element_link_many(source, convert, sink, nullptr);
        gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING);
    }
    ~SpeakerListener() { gst_element_set_state(m_pipeline.get(), GST_STATE_NULL); }

    // Milliseconds from `since` until what is heard turned loud (or silent) and stayed so for
    // 300 ms; negative while it has not.
    double millisecondsUntil(Clock::time_point since, bool loud)
    {
        std::lock_guard lock(m_lock);
        auto settled = std::find_if(m_pieces.begin(), m_pieces.end(), [&](const Piece& piece) { return piece.at > since; });
        for (auto piece = settled; piece != m_pieces.end(); ++piece)
            if ((piece->peak > Audible) != loud)
                settled = piece + 1;
        if (settled == m_pieces.end() || m_pieces.back().at - settled->at < std::chrono::milliseconds(300))
            return -1;
        return std::chrono::duration<double, std::milli>(settled->at - since).count();
    }

    // Milliseconds from `since` to the first loud piece; negative while there is none.
    double millisecondsUntilLoud(Clock::time_point since)
    {
        std::lock_guard lock(m_lock);
        const auto loud = std::find_if(m_pieces.begin(), m_pieces.end(),
                                       [&](const Piece& piece) { return piece.at > since && piece.peak > Audible; });
        return loud == m_pieces.end() ? -1 : std::chrono::duration<double, std::milli>(loud->at - since).count();
    }

    bool isLoud()
    {
        std::lock_guard lock(m_lock);
        return !m_pieces.empty() && m_pieces.back().peak > Audible;
    }

private:
    struct Piece {
        Clock::time_point at;
        int peak;
    };

    void heard(int peak)
    {
        std::lock_guard lock(m_lock);
        m_pieces.push_back({Clock::now(), peak});
    }

    ElementPtr m_pipeline;
    std::mutex m_lock;
    std::vector<Piece> m_pieces;
};

// How strongly the samples swing at this frequency (Goertzel).
double strength(const std::vector<std::int16_t>& samples, int rate, double frequency)
{
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / rate);
    double previous = 0, beforePrevious = 0;
    for (std::int16_t sample : samples) {
        const double current = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    return previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
}

double dominantFrequency(const std::vector<std::int16_t>& samples, int rate)
{
    double best = 0, bestStrength = -1;
    auto scan = [&](double from, double to, double step) {
        for (double frequency = from; frequency <= to; frequency += step)
            if (const double s = strength(samples, rate, frequency); s > bestStrength) {
                bestStrength = s;
                best = frequency;
            }
    };
    scan(50, 4000, 5);
    scan(best - 5, best + 5, 0.25);
    return best;
}

int entriesOf(const char* folder)
{
    return int(QDir(QString::fromLatin1(folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

double rms(const std::vector<std::int16_t>& samples)
{
    double sum = 0;
    for (std::int16_t sample : samples)
        sum += double(sample) * sample;
    return samples.empty() ? 0 : std::sqrt(sum / double(samples.size()));
}

}  // namespace

class SoundServerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("PULSE_SERVER", NoServer);
        gst_init(nullptr, nullptr);
    }

    void theServersSourcesAreListedOnceBeforeTheTone()
    {
        PrivateSoundServer server;
        START_SOUND_SERVER(server);
        Orvex orvex;
        const auto audio = names(orvex, Member::AudioDevices);
        QCOMPARE(std::count(audio.begin(), audio.end(), ToneMonitor), 1);
        QCOMPARE(audio.back(), std::string("Test Tone"));
    }

    void withoutAServerOnlyTheMachinesOwnAreListed()
    {
        QElapsedTimer took;
        took.start();
        Orvex orvex;
        const auto audio = names(orvex, Member::AudioDevices);
        qInfo("discovery without a sound server took %lld ms", took.elapsed());
        QFile cards(QStringLiteral("/proc/asound/cards"));
        const bool noCards = !cards.open(QIODevice::ReadOnly) || cards.readAll().contains("no soundcards");
        if (noCards)
            QCOMPARE(audio, std::vector<std::string>{"Test Tone"});
        QCOMPARE(audio.back(), std::string("Test Tone"));
        QVERIFY(std::none_of(audio.begin(), audio.end(), [](const std::string& name) { return name.starts_with("Monitor of"); }));

        // Asking for a server that is not there leaves nothing open behind.
        const auto descriptors = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
        const auto before = descriptors();
        { Orvex again; }
        QCOMPARE(descriptors(), before);
    }

    void aRecordingFromTheServerCarriesItsTone()
    {
        PrivateSoundServer server;
        START_SOUND_SERVER(server);
        QTemporaryDir folder;
        const std::string file = folder.filePath(QStringLiteral("tone.avi")).toStdString();
        {
            Orvex orvex;
            orvex.put(Member::VideoDevice, Value::i16(indexOf(orvex, Member::VideoDevices, "Test Pattern Camera")));
            orvex.put(Member::AudioDevice, Value::i16(indexOf(orvex, Member::AudioDevices, ToneMonitor)));
            orvex.put(Member::CaptureToFile, Value::boolean(true));
            orvex.put(Member::CaptureFileName, Value::text(file));
            QCOMPARE(toInt16(orvex.call(Member::Start)), std::int16_t(0));
            // The level reaches the meter and the page while it records.
            QTRY_VERIFY_WITH_TIMEOUT(orvex.view().soundLevel().value_or(-100) > -20, 5000);
            QCOMPARE(orvex.core().soundLevels().size(), size_t(2));
            QTest::qWait(3000);
            QVERIFY(orvex.view().soundWarning().isEmpty());
            orvex.call(Member::Stop);
            QVERIFY(!orvex.view().soundLevel());
        }
        const testing::AviReadBack back = testing::readBack(file);
        QVERIFY(back.readable);
        QVERIFY2(back.soundRate > 0, "the recording holds no PCM sound");
        QVERIFY(back.sound.size() > size_t(back.soundRate) * 5 / 2);
        // The middle of it, away from the server's first and last buffers.
        const std::vector<std::int16_t> middle(back.sound.begin() + back.soundRate / 2,
                                               back.sound.begin() + back.soundRate * 5 / 2);
        const double frequency = dominantFrequency(middle, back.soundRate);
        qInfo("recorded %.2f s, dominant frequency %.2f Hz, RMS %.0f", double(back.sound.size()) / back.soundRate,
              frequency, rms(middle));
        QVERIFY(std::abs(frequency - 440) <= 5);
        QVERIFY(rms(middle) > 3000);
    }

    // tulvik, which never chooses sound, on the built-in tuner: its tone is heard until "Mute".
    void theTunerIsHeardInTulvikUntilMuted()
    {
        PrivateSoundServer server;
        START_SOUND_SERVER(server);
        SpeakerListener speakers;
        WindowRig tulvik(capture::createOrvex);
        tulvik.form->load();
        tulvik.devices()->setCurrentIndex(tulvik.devices()->findText(QStringLiteral("Test Pattern TV Tuner")));
        tulvik.start(QStringLiteral("49"));
        QVERIFY(!tulvik.exitStatus);
        QTRY_COMPARE_WITH_TIMEOUT(ownPlaybackStreams(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(speakers.isLoud(), 5000);

        auto* mute = tulvik.child<QCheckBox>("Check1");
        auto clickAndWait = [&] {
            const Clock::time_point clicked = Clock::now();
            mute->click();
            const bool muted = mute->isChecked();
            double took = -1;
            QTRY_VERIFY_WITH_TIMEOUT((took = speakers.millisecondsUntil(clicked, !muted)) >= 0, 3000);
            qInfo("%s heard %.0f ms after \"Mute\" was %s", muted ? "silence" : "sound", took,
                  muted ? "ticked" : "cleared");
        };
        clickAndWait();
        QCOMPARE(ownPlaybackStreams(), 1);  // the stream stays, silent

        // Muted, the television is still recorded with its sound, as a VCR records it.
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("muted.avi"));
        tulvik.toolkit.dialog(0).willSave(file);
        tulvik.button("Command3")->click();
        QTest::qWait(1500);
        tulvik.button("Command4")->click();
        QVERIFY(!speakers.isLoud());
        const testing::AviReadBack back = testing::readBack(file.toStdString());
        QVERIFY(back.soundRate > 0 && back.sound.size() > size_t(back.soundRate));
        QVERIFY(rms(back.sound) > 3000);

        clickAndWait();
        delete tulvik.form.data();
        QTRY_COMPARE_WITH_TIMEOUT(ownPlaybackStreams(), 0, 5000);
    }

    // A tuner plays the input chosen for it. The script's tone, silenced and restored where the
    // server mixes it, is heard at the signal's monitor and then at the speakers: the time
    // between is the playback latency, capture to output.
    void aChosenInputIsPlayedOnTheTuner()
    {
        PrivateSoundServer server;
        START_SOUND_SERVER(server);
        Orvex orvex;
        orvex.put(Member::VideoDevice, Value::i16(indexOf(orvex, Member::VideoDevices, "Test Pattern TV Tuner")));
        orvex.put(Member::AudioDevice, Value::i16(indexOf(orvex, Member::AudioDevices, ToneMonitor)));
        QCOMPARE(toInt16(orvex.call(Member::Start)), std::int16_t(0));
        SpeakerListener signal("orvex_tone.monitor");
        SpeakerListener speakers;
        QTRY_VERIFY_WITH_TIMEOUT(speakers.isLoud(), 5000);

        Clock::time_point since = Clock::now();
        muteTestSignal(true);
        QTRY_VERIFY_WITH_TIMEOUT(speakers.millisecondsUntil(since, false) >= 0, 5000);
        since = Clock::now();
        muteTestSignal(false);
        double sent = -1, heard = -1;
        QTRY_VERIFY_WITH_TIMEOUT((sent = signal.millisecondsUntilLoud(since)) >= 0
                                     && (heard = speakers.millisecondsUntilLoud(since)) >= 0,
                                 5000);
        qInfo("playback latency, capture to output: %.0f ms", heard - sent);
    }

    // Every start opens the output afresh; stopping must give back its connection, descriptors
    // and threads.
    void tunerPreviewsLeaveNothingBehind()
    {
        PrivateSoundServer server;
        START_SOUND_SERVER(server);
        Orvex orvex;
        orvex.put(Member::VideoDevice, Value::i16(indexOf(orvex, Member::VideoDevices, "Test Pattern TV Tuner")));
        auto cycle = [&] {
            QCOMPARE(toInt16(orvex.call(Member::Start)), std::int16_t(0));
            QTRY_VERIFY_WITH_TIMEOUT(orvex.view().soundLevel().has_value(), 5000);
            orvex.call(Member::Stop);
        };
        cycle();  // warms up what GStreamer keeps for the process
        const int descriptors = entriesOf("/proc/self/fd");
        const int threads = entriesOf("/proc/self/task");
        for (int round = 0; round < 8; ++round)
            cycle();
        QTRY_COMPARE_WITH_TIMEOUT(ownPlaybackStreams(), 0, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(ownOnServer("clients"), 0, 5000);
        QCOMPARE(entriesOf("/proc/self/fd"), descriptors);
        QTRY_VERIFY_WITH_TIMEOUT(entriesOf("/proc/self/task") <= threads, 3000);
    }

    // A camera's preview is silent; recording from a silent input says so on the picture.
    void aCameraIsNeverHeardAndSilenceIsPointedOut()
    {
        PrivateSoundServer server;
        START_SOUND_SERVER(server);
        QTemporaryDir folder;
        Orvex orvex;
        orvex.put(Member::VideoDevice, Value::i16(indexOf(orvex, Member::VideoDevices, "Test Pattern Camera")));
        orvex.put(Member::AudioDevice, Value::i16(indexOf(orvex, Member::AudioDevices, SpeakerMonitor)));
        QCOMPARE(toInt16(orvex.call(Member::Start)), std::int16_t(0));
        QTest::qWait(500);
        QCOMPARE(ownPlaybackStreams(), 0);
        QVERIFY(!orvex.view().soundLevel());

        orvex.put(Member::CaptureToFile, Value::boolean(true));
        orvex.put(Member::CaptureFileName, Value::text(folder.filePath(QStringLiteral("quiet.avi")).toStdString()));
        QCOMPARE(toInt16(orvex.call(Member::Start)), std::int16_t(0));
        QTRY_COMPARE_WITH_TIMEOUT(orvex.view().soundWarning(),
                                  QString::fromStdString("no sound from " + SpeakerMonitor), 8000);
        QCOMPARE(ownPlaybackStreams(), 0);
    }
};

QTEST_MAIN(SoundServerTest)
#include "SoundServerTest.moc"
