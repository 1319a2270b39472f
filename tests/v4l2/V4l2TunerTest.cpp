#include "capture/contract/CaptureError.h"
#include "capture/tv/ChannelTables.h"
#include "capture/v4l2/V4l2VideoDevice.h"
#include "tests/support/kernel/FakeV4l2Hardware.h"
#include "tests/support/kernel/FakeV4l2Io.h"

#include <QtTest>

#include <chrono>
#include <memory>

using namespace capture;
using namespace std::chrono_literals;

namespace {

// A TV card opened through the seam; scans sleep on paper only.
struct Card {
    explicit Card(FakeV4l2Hardware hardware)
        : io(std::make_shared<FakeV4l2Io>()), device(io->add("/dev/video0", std::move(hardware)))
    {
        opened = V4l2VideoDevice::open(io, "/dev/video0", {}, [this](std::chrono::milliseconds delay) {
            sleeps.push_back(delay);
        });
    }

    V4l2Tuner& tuner()
    {
        if (!opened || !opened->v4l2Tuner())
            throw std::logic_error("the fake card has no tuner");
        return *opened->v4l2Tuner();
    }

    std::uint32_t frequency() const { return device->frequency(device->hardware().tuners.front().index); }

    std::shared_ptr<FakeV4l2Io> io;
    std::shared_ptr<FakeV4l2Device> device;
    std::unique_ptr<V4l2VideoDevice> opened;
    std::vector<std::chrono::milliseconds> sleeps;
};

// The number that tunes the channel of this band-plan name in the country's table.
int numberOf(double country, const std::string& label)
{
    const auto choice = tv::countryFor(country);
    if (choice)
        for (const auto& channel : choice->table->channels)
            if (channel.label == label)
                return channel.number;
    return -1;
}

const double everyCountry[] = {1,  52, 57, 58, 63, 82, 81,  55,  54, 49, 34,  31,  90,  91,  62, 92,  880, 66, 60,
                               20, 213, 234, 251, 254, 39, 61, 64, 44, 353, 27, 33, 7, 380, 48, 86};

}  // namespace

class V4l2TunerTest : public QObject {
    Q_OBJECT

private slots:
    void tunerIsFoundOnItsInput()
    {
        // The tuner input comes second and feeds tuner 1; there is no tuner 0.
        auto hw = fakeTvCard();
        hw.inputs = {{"Composite1", V4L2_INPUT_TYPE_CAMERA, 0, V4L2_STD_ALL, {}},
                     {"Television", V4L2_INPUT_TYPE_TUNER, 1, V4L2_STD_ALL, {}}};
        hw.tuners.front().index = 1;
        Card card(std::move(hw));

        QCOMPARE(card.tuner().inputIndex(), 1u);
        QCOMPARE(card.tuner().tunerIndex(), 1u);
        card.tuner().setCountryCode(49);
        card.tuner().tune(numberOf(49, "E5"));
        QCOMPARE(card.device->frequency(1), 2804u);
    }

    void devicesWithoutAnAnalogTvTuner()
    {
        QVERIFY(!Card(fakeUvcCamera()).opened->tuner());

        auto noCapability = fakeTvCard();
        noCapability.deviceCaps &= ~V4L2_CAP_TUNER;
        QVERIFY(!Card(std::move(noCapability)).opened->tuner());

        auto radioOnly = fakeTvCard();
        radioOnly.tuners.front().type = V4L2_TUNER_RADIO;
        QVERIFY(!Card(std::move(radioOnly)).opened->tuner());

        auto noTunerInput = fakeTvCard();
        noTunerInput.inputs.erase(noTunerInput.inputs.begin());
        QVERIFY(!Card(std::move(noTunerInput)).opened->tuner());
    }

    void testVectorsTuneToTheTunersUnits_data()
    {
        QTest::addColumn<double>("country");
        QTest::addColumn<QString>("label");
        QTest::addColumn<double>("megahertz");
        QTest::addColumn<uint>("units");  // of 62.5 kHz

        const struct {
            double country;
            const char* label;
            double megahertz;
            uint units;
        } vectors[] = {
            {1, "2", 55.25, 884},    {1, "6", 83.25, 1332},     {1, "7", 175.25, 2804},   {1, "13", 211.25, 3380},
            {1, "14", 471.25, 7540}, {1, "69", 801.25, 12820},  {1, "83", 885.25, 14164}, {49, "E2", 48.25, 772},
            {49, "E4", 62.25, 996},  {49, "E5", 175.25, 2804},  {49, "E12", 224.25, 3588}, {49, "SE1", 105.25, 1684},
            {49, "S21", 303.25, 4852}, {49, "21", 471.25, 7540}, {7, "R1", 49.75, 796},   {7, "R6", 175.25, 2804},
            {7, "R12", 223.25, 3572}, {81, "1", 91.25, 1460},   {81, "4", 171.25, 2740},  {81, "12", 217.25, 3476},
            {81, "13", 471.25, 7540}, {39, "A", 53.75, 860},    {39, "H", 210.25, 3364},  {33, "K01", 47.75, 764},
            {33, "K05", 176.00, 2816}, {353, "A0", 45.75, 732}, {61, "0", 46.25, 740},    {61, "5A", 138.25, 2212},
            {64, "1", 45.25, 724},   {27, "4", 175.25, 2804},   {86, "1", 49.75, 796},
        };
        for (const auto& vector : vectors)
            QTest::addRow("%g %s", vector.country, vector.label)
                << vector.country << QString::fromLatin1(vector.label) << vector.megahertz << vector.units;
    }

    void testVectorsTuneToTheTunersUnits()
    {
        QFETCH(double, country);
        QFETCH(QString, label);
        QFETCH(double, megahertz);
        QFETCH(uint, units);
        const int channel = numberOf(country, label.toStdString());
        QVERIFY2(channel >= 0, "the channel is in its country's table");

        for (const bool lowUnits : {false, true}) {
            Card card(fakeTvCard(lowUnits));
            card.tuner().setCountryCode(country);
            card.tuner().tune(channel);
            QCOMPARE(card.frequency(), lowUnits ? units * 1000 : units);
            QCOMPARE(card.tuner().frequencyMHz().value_or(0), megahertz);
        }
    }

    void unitsAreRoundedNotTruncated()
    {
        QCOMPARE(V4l2Tuner::toUnits(48.30, false), 773u);       // 772.8
        QCOMPARE(V4l2Tuner::toUnits(48.27, false), 772u);       // 772.32
        QCOMPARE(V4l2Tuner::toUnits(77.15, true), 1234400u);    // 1234399.99... in binary
        QCOMPARE(V4l2Tuner::toUnits(55.25, true), 884000u);
    }

    void outOfRangeFrequenciesClamp()
    {
        for (const bool lowUnits : {false, true}) {
            auto hw = fakeTvCard(lowUnits);
            const std::uint32_t perMHz = lowUnits ? 16000 : 16;
            hw.tuners.front().rangeLow = 100 * perMHz;
            hw.tuners.front().rangeHigh = 500 * perMHz;
            Card card(std::move(hw));
            card.tuner().setCountryCode(1);
            card.tuner().tune(2);  // 55.25 MHz
            QCOMPARE(card.frequency(), 100 * perMHz);
            card.tuner().tune(83);  // 885.25 MHz
            QCOMPARE(card.frequency(), 500 * perMHz);
            card.tuner().tune(14);
            QCOMPARE(card.frequency(), lowUnits ? 7540000u : 7540u);
            // The requests were inside the range already: nothing was left to the driver.
            QCOMPARE(card.device->frequencyRequests(),
                     (std::vector<std::uint32_t>{100 * perMHz, 500 * perMHz, lowUnits ? 7540000u : 7540u}));
        }
    }

    void channelsTheTableLacksAreIgnored()
    {
        Card card(fakeTvCard());
        card.tuner().tune(21);  // no country yet
        QCOMPARE(card.device->count(VIDIOC_S_FREQUENCY), 0);

        card.tuner().setCountryCode(49);
        card.tuner().tune(21);
        QCOMPARE(card.frequency(), 7540u);
        card.tuner().tune(999);
        card.tuner().tune(21.5);
        card.tuner().tune(0);
        QCOMPARE(card.device->count(VIDIOC_S_FREQUENCY), 1);
        QCOMPARE(card.frequency(), 7540u);

        card.tuner().setCountryCode(999);
        QVERIFY(card.tuner().channels().empty());
        card.tuner().tune(21);
        QCOMPARE(card.device->count(VIDIOC_S_FREQUENCY), 1);
    }

    void countryPicksTheStandard_data()
    {
        QTest::addColumn<double>("country");
        QTest::addColumn<qulonglong>("standard");
        QTest::newRow("USA") << 1.0 << qulonglong(V4L2_STD_NTSC_M);
        QTest::newRow("Japan") << 81.0 << qulonglong(V4L2_STD_NTSC_M_JP);
        QTest::newRow("Korea") << 82.0 << qulonglong(V4L2_STD_NTSC_M_KR);
        QTest::newRow("Brazil") << 55.0 << qulonglong(V4L2_STD_PAL_M);
        QTest::newRow("Argentina") << 54.0 << qulonglong(V4L2_STD_PAL_Nc);
        QTest::newRow("Germany") << 49.0 << qulonglong(V4L2_STD_PAL_BG);
        QTest::newRow("UK") << 44.0 << qulonglong(V4L2_STD_PAL_I);
        QTest::newRow("France") << 33.0 << qulonglong(V4L2_STD_SECAM_L);
        QTest::newRow("Russia") << 7.0 << qulonglong(V4L2_STD_SECAM_DK);
        QTest::newRow("Poland") << 48.0 << qulonglong(V4L2_STD_PAL_DK);
        QTest::newRow("China") << 86.0 << qulonglong(V4L2_STD_PAL_DK);
    }

    void countryPicksTheStandard()
    {
        QFETCH(double, country);
        QFETCH(qulonglong, standard);
        Card card(fakeTvCard());
        card.tuner().setCountryCode(country);
        QCOMPARE(qulonglong(card.device->standard()), standard);
    }

    void standardWaitsWhileTheCardStreams()
    {
        Card card(fakeTvCard());
        card.tuner().setCountryCode(49);
        card.device->setStreamingElsewhere(true);
        card.tuner().setCountryCode(1);
        QCOMPARE(card.device->standard(), V4L2_STD_PAL_BG);
        QCOMPARE(card.tuner().standard().value_or(0), V4L2_STD_NTSC_M);
        // The stream stops; the next one starts on the chosen standard.
        card.device->setStreamingElsewhere(false);
        QCOMPARE(card.tuner().applyStandard(), 0);
        QCOMPARE(card.device->standard(), V4L2_STD_NTSC_M);
    }

    void cardWithoutTheExactStandardTakesItsFamily()
    {
        auto hw = fakeTvCard();
        hw.standards = V4L2_STD_PAL_BG | V4L2_STD_PAL_DK | V4L2_STD_NTSC_M;
        for (auto& input : hw.inputs)
            input.standards = hw.standards;
        Card card(std::move(hw));
        card.tuner().setCountryCode(44);  // PAL-I
        QVERIFY(card.device->standard() & V4L2_STD_PAL);
        QVERIFY(!(card.device->standard() & V4L2_STD_525_60));
        // PAL-M has no family to fall back on: the card keeps its standard.
        const v4l2_std_id before = card.device->standard();
        card.tuner().setCountryCode(55);
        QCOMPARE(card.device->standard(), before);
    }

    void muteReachesTheControl()
    {
        Card card(fakeTvCard());
        card.tuner().setMute(true);
        QCOMPARE(card.device->controlValue(V4L2_CID_AUDIO_MUTE), 1);
        card.tuner().setMute(false);
        QCOMPARE(card.device->controlValue(V4L2_CID_AUDIO_MUTE), 0);

        card.device->setGrabbed(V4L2_CID_AUDIO_MUTE, true);
        QCOMPARE(card.tuner().setMute(true), TunerWrite::Busy);
        QCOMPARE(card.device->controlValue(V4L2_CID_AUDIO_MUTE), 0);
    }

    void aHeldCardIsBusy()
    {
        Card card(fakeTvCard());
        card.tuner().setCountryCode(1);
        card.tuner().tune(14);
        card.device->setTunerHeld(true);
        card.device->setGrabbed(V4L2_CID_AUDIO_MUTE, true);
        QCOMPARE(card.tuner().tune(2), TunerWrite::Busy);
        QCOMPARE(card.tuner().setMute(true), TunerWrite::Busy);
        QCOMPARE(card.frequency(), 7540u);
        QCOMPARE(card.device->controlValue(V4L2_CID_AUDIO_MUTE), 0);
    }

    void cardWithoutMuteOrAfterUnplugRaisesNothing()
    {
        auto hw = fakeTvCard();
        std::erase_if(hw.controls, [](const auto& control) { return control.id == V4L2_CID_AUDIO_MUTE; });
        Card card(std::move(hw));
        card.tuner().setMute(true);
        QVERIFY(card.device->controlWrites().empty());

        card.tuner().setCountryCode(1);
        card.device->unplug();
        card.tuner().tune(14);
        card.tuner().setMute(false);
        card.tuner().setCountryCode(49);
        QVERIFY(!card.tuner().channels().empty());
    }

    void everyCountryListsItsTableTunedToItsFrequencies()
    {
        Card card(fakeTvCard());
        for (const double country : everyCountry) {
            const auto choice = tv::countryFor(country);
            QVERIFY2(choice, qPrintable(QString::number(country)));
            card.tuner().setCountryCode(country);
            const auto channels = card.tuner().channels();
            QCOMPARE(channels.size(), choice->table->channels.size());
            QVERIFY(!channels.empty());
            for (std::size_t i = 0; i < channels.size(); ++i) {
                const tv::Channel& expected = choice->table->channels[i];
                QCOMPARE(channels[i].name, expected.name);
                QCOMPARE(channels[i].number, double(expected.number));
                card.tuner().tune(channels[i].number);
                QCOMPARE(card.frequency(), std::uint32_t(std::lround(expected.frequencyMHz * 16)));
            }
        }
    }

    void scanMarksTheChannelsWithASignal()
    {
        auto hw = fakeTvCard();
        hw.stationsMHz = {55.25, 471.25, 1200.0};
        Card card(std::move(hw));
        card.tuner().setCountryCode(1);
        card.tuner().tune(5);
        const std::uint32_t watching = card.frequency();

        int reports = 0;
        card.tuner().scan([&](int done, int total) {
            ++reports;
            return done <= total;
        });

        QCOMPARE(reports, 82);
        QCOMPARE(card.sleeps.size(), std::size_t(82));
        QCOMPARE(card.sleeps.front(), 150ms);
        QCOMPARE(card.frequency(), watching);
        std::vector<double> found;
        for (const auto& channel : card.tuner().channels())
            if (channel.available)
                found.push_back(channel.number);
        QCOMPARE(found, (std::vector<double>{2, 14}));

        // Another table has not been scanned; the results come back with the country.
        card.tuner().setCountryCode(49);
        for (const auto& channel : card.tuner().channels())
            QVERIFY(channel.available);
        card.tuner().setCountryCode(1);
        QCOMPARE(card.tuner().channels()[0].available, true);
        QCOMPARE(card.tuner().channels()[1].available, false);
    }

    // Without a scan, the channel the card is on is offered exactly when the driver reports a
    // signal there, read once the tuner has settled; on another input it is not measured.
    void theTunedChannelFollowsTheSignal()
    {
        auto hw = fakeTvCard();
        hw.stationsMHz = {55.25};
        Card card(std::move(hw));
        card.tuner().setCountryCode(1);
        const auto offered = [&](double number) {
            for (const auto& channel : card.tuner().channels())
                if (channel.number == number)
                    return channel.available;
            return false;
        };
        card.tuner().tune(2);
        QVERIFY(offered(2));
        QCOMPARE(card.sleeps.size(), std::size_t(1));
        QVERIFY(card.sleeps.front() > 100ms && card.sleeps.front() <= 150ms);
        card.tuner().tune(5);
        QVERIFY(!offered(5));
        QVERIFY(offered(2));
        card.opened->formats(1);  // Composite
        QVERIFY(offered(5));
    }

    void stoppedScanChangesNothing()
    {
        auto hw = fakeTvCard();
        hw.stationsMHz = {55.25, 471.25};  // the channel watched has one, so it is offered too
        Card card(std::move(hw));
        card.tuner().setCountryCode(1);
        card.tuner().setSettleDelay(20ms);
        card.tuner().tune(14);
        card.tuner().scan([](int done, int) { return done < 10; });

        QCOMPARE(card.sleeps.size(), std::size_t(10));
        QCOMPARE(card.sleeps.front(), 20ms);
        for (const auto& channel : card.tuner().channels())
            QVERIFY(channel.available);
        QCOMPARE(card.frequency(), 7540u);
    }

    void scanSkipsChannelsOutOfTheTunersReach()
    {
        auto hw = fakeTvCard();
        hw.tuners.front().rangeLow = 100 * 16;
        hw.stationsMHz = {100.0};  // what a clamped tune would find at the bottom of the range
        Card card(std::move(hw));
        card.tuner().setCountryCode(1);
        card.tuner().scan();
        for (const auto& channel : card.tuner().channels())
            QVERIFY(!channel.available);
    }
};

QTEST_APPLESS_MAIN(V4l2TunerTest)
#include "V4l2TunerTest.moc"
