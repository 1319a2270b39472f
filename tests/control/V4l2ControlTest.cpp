#include "FakeHardwareRig.h"

#include "capture/control/OrvexCore.h"
#include "capture/tv/ChannelTables.h"
#include "capture/view/VideoView.h"

#include <QtTest>

#include <cmath>
#include <functional>
#include <cstdlib>
#include <map>

Q_DECLARE_METATYPE(capture::Member)

using namespace capture;
using controltest::FakeHardwareRig;
using controltest::names;

namespace {

constexpr int Camera = 0;
constexpr int TvCard = 1;

// The V4L2 control behind each plain setting.
const std::map<Member, std::uint32_t> controlOf = {
    {Member::Brightness, V4L2_CID_BRIGHTNESS},
    {Member::Contrast, V4L2_CID_CONTRAST},
    {Member::Hue, V4L2_CID_HUE},
    {Member::Saturation, V4L2_CID_SATURATION},
    {Member::Sharpness, V4L2_CID_SHARPNESS},
    {Member::Gamma, V4L2_CID_GAMMA},
    {Member::WhiteBalance, V4L2_CID_WHITE_BALANCE_TEMPERATURE},
    {Member::BacklightCompensation, V4L2_CID_BACKLIGHT_COMPENSATION},
    {Member::Gain, V4L2_CID_GAIN},
};

// Every dialling code that has a channel table.
const double everyCountry[] = {1,  52,  57,  58,  63,  82,  81, 55, 54, 49, 34,  31, 90, 91, 62, 92, 880, 66,
                               60, 20, 213, 234, 251, 254, 39, 61, 64, 44, 353, 27, 33, 7,  380, 48, 86};

Value rangeMember(CaptureControl& control, Member property, int member)
{
    return control.cameraProperty(property)->get(member);
}

std::int32_t rangeValue(CaptureControl& control, Member property)
{
    return toInt32(rangeMember(control, property, rangeNumbering(property).value));
}

void put(CaptureControl& control, Member property, std::int32_t value)
{
    control.put(property, Value::i32(value));
}

// The number a window reads from the beginning of a channel's name.
double leadingNumber(const std::string& name)
{
    return std::strtod(name.c_str(), nullptr);
}

int numberOf(double country, const std::string& label)
{
    for (const auto& channel : tv::countryFor(country)->table->channels)
        if (channel.label == label)
            return channel.number;
    return -1;
}

}  // namespace

class V4l2ControlTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }

    void theCardsComeBeforeTheBuiltInDevices()
    {
        FakeHardwareRig rig(FakeHardwareRig::cameraAndTvCard());
        Orvex& orvex = rig.orvex();
        QCOMPARE(names(orvex, Member::VideoDevices),
                 (std::vector<std::string>{"USB 2.0 Camera", "Analog TV Card", "Test Pattern Camera",
                                           "Test Pattern TV Tuner"}));
        QCOMPARE(names(orvex, Member::VideoInputs), std::vector<std::string>{"Camera 1"});
        QCOMPARE(names(orvex, Member::VideoFormats).front(), std::string("YUY2 640x480 30 fps"));
        QCOMPARE(orvex.get(Member::HasTVTuner), Value::boolean(false));

        rig.choose(TvCard);
        QCOMPARE(names(orvex, Member::VideoInputs), (std::vector<std::string>{"Television", "Composite1"}));
        QCOMPARE(orvex.get(Member::HasTVTuner), Value::boolean(true));
        QVERIFY(!names(orvex, Member::VideoFormats).empty());

        // A machine without video nodes still offers the built-in devices.
        FakeHardwareRig bare({});
        QCOMPARE(names(bare.orvex(), Member::VideoDevices),
                 (std::vector<std::string>{"Test Pattern Camera", "Test Pattern TV Tuner"}));
    }

    // Cards plugged in and pulled out while the control lives: listed in node order before the
    // built-in devices, taken out when gone. The chosen card stays chosen by identity; one that
    // went stays chosen, and says so at Start, until another is chosen.
    void cardsComeAndGoWhileTheChoiceStays()
    {
        FakeHardwareRig rig({});
        Orvex& orvex = rig.orvex();
        auto camera = rig.plug(3, fakeUvcCamera());
        QTRY_COMPARE(names(orvex, Member::VideoDevices).size(), std::size_t(3));
        rig.choose(0);
        orvex.put(Member::VideoFormat, Value::i16(2));
        const std::string format = orvex.core().videoFormatName();

        auto tvCard = rig.plug(1, fakeTvCard());
        auto twin = rig.plug(5, fakeUvcCamera());
        QTRY_COMPARE(names(orvex, Member::VideoDevices),
                     (std::vector<std::string>{"Analog TV Card", "USB 2.0 Camera", "USB 2.0 Camera #2",
                                               "Test Pattern Camera", "Test Pattern TV Tuner"}));
        QCOMPARE(orvex.core().source().deviceIndex(), 1);
        rig.choose(controltest::indexOf(orvex, Member::VideoDevices, "USB 2.0 Camera"));
        QCOMPARE(orvex.core().videoFormatName(), format);
        put(orvex, Member::Sharpness, 5);
        QCOMPARE(camera->controlValue(V4L2_CID_SHARPNESS), 5);
        QVERIFY(twin->controlValue(V4L2_CID_SHARPNESS) != 5);

        rig.unplug(1, *tvCard);
        QTRY_COMPARE(names(orvex, Member::VideoDevices).front(), std::string("USB 2.0 Camera"));
        QCOMPARE(orvex.core().source().deviceIndex(), 0);

        rig.unplug(3, *camera);
        QTRY_COMPARE(names(orvex, Member::VideoDevices),
                     (std::vector<std::string>{"USB 2.0 Camera", "Test Pattern Camera", "Test Pattern TV Tuner"}));
        QCOMPARE(orvex.core().source().deviceIndex(), -1);
        QCOMPARE(orvex.core().videoDeviceName(), std::string("USB 2.0 Camera"));
        try {
            orvex.call(Member::Start);
            QFAIL("a start on a card that went succeeded");
        } catch (const CaptureError& error) {
            QVERIFY2(std::string(error.what()).find("no longer connected") != std::string::npos, error.what());
        }

        rig.plug(3, fakeUvcCamera());
        QTRY_COMPARE(names(orvex, Member::VideoDevices).size(), std::size_t(4));
        rig.choose(0);
        QCOMPARE(orvex.core().source().deviceIndex(), 0);
        put(orvex, Member::Sharpness, 4);
        QVERIFY(twin->controlValue(V4L2_CID_SHARPNESS) != 4);
    }

    void rangesReadBackUnderEachPropertysNumbers()
    {
        FakeHardwareRig rig(FakeHardwareRig::cameraAndTvCard());
        Orvex& orvex = rig.orvex();
        for (const auto& [property, id] : controlOf) {
            const RangeNumbering numbering = rangeNumbering(property);
            const auto* control = rig.card(Camera).control(id);
            QVERIFY(control);
            QCOMPARE(rangeMember(orvex, property, RangeMember::Supported), Value::boolean(true));
            QCOMPARE(rangeMember(orvex, property, numbering.min), Value::i32(control->minimum));
            QCOMPARE(rangeMember(orvex, property, numbering.max), Value::i32(control->maximum));
            QCOMPARE(rangeMember(orvex, property, numbering.value), Value::i32(control->value));
        }
        // The camera has no colour effect and no colour killer.
        QCOMPARE(rangeMember(orvex, Member::ColorEnable, RangeMember::Supported), Value::boolean(false));

        rig.choose(TvCard);
        for (Member property : cameraProperties) {
            const bool decoderHasIt = property == Member::Brightness || property == Member::Contrast
                || property == Member::Hue || property == Member::Saturation;
            QCOMPARE(rangeMember(orvex, property, RangeMember::Supported), Value::boolean(decoderHasIt));
        }
        QCOMPARE(rangeMember(orvex, Member::Hue, rangeNumbering(Member::Hue).min), Value::i32(-128));
    }

    void aWhiteBalancePutTurnsTheAutomaticModeOff()
    {
        FakeHardwareRig rig(FakeHardwareRig::cameraAndTvCard());
        QCOMPARE(rig.card(Camera).controlValue(V4L2_CID_AUTO_WHITE_BALANCE), 1);
        put(rig.orvex(), Member::WhiteBalance, 5200);
        QCOMPARE(rig.card(Camera).controlValue(V4L2_CID_AUTO_WHITE_BALANCE), 0);
        QCOMPARE(rig.card(Camera).controlValue(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 5200);
        QCOMPARE(rangeValue(rig.orvex(), Member::WhiteBalance), 5200);
    }

    void putsAreStepAlignedAndClamped_data()
    {
        QTest::addColumn<Member>("property");
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("taken");
        // Brightness -64..64; Hue -2000..2000 in steps of 100; Gain 0..100 in steps of 8.
        QTest::newRow("negative minimum, below") << Member::Brightness << -1000 << -64;
        QTest::newRow("negative minimum, inside") << Member::Brightness << -17 << -17;
        QTest::newRow("step above 1, rounded down") << Member::Hue << 1234 << 1200;
        QTest::newRow("step above 1, rounded up") << Member::Hue << -1250 << -1200;
        QTest::newRow("step above 1, below") << Member::Hue << -99999 << -2000;
        QTest::newRow("maximum off the grid") << Member::Gain << 100 << 96;
        QTest::newRow("above a maximum off the grid") << Member::Gain << 5000 << 96;
        QTest::newRow("between grid points") << Member::Gain << 51 << 48;
    }

    void putsAreStepAlignedAndClamped()
    {
        QFETCH(Member, property);
        QFETCH(int, requested);
        QFETCH(int, taken);
        FakeHardwareRig rig(FakeHardwareRig::cameraAndTvCard());
        rangeValue(rig.orvex(), property);  // as a window reads the range before it moves a slider
        rig.card(Camera).clearLog();
        put(rig.orvex(), property, requested);

        // One write, of a value already on the grid, so the driver keeps it as it is.
        const auto& writes = rig.card(Camera).controlWrites();
        QCOMPARE(writes.size(), std::size_t(1));
        QCOMPARE(writes.front().requested, taken);
        QCOMPARE(rig.card(Camera).controlValue(controlOf.at(property)), taken);
        QCOMPARE(rangeValue(rig.orvex(), property), taken);
    }

    void readOnlyAndDisabledControlsAreUnsupported()
    {
        auto camera = fakeUvcCamera();
        for (auto& control : camera.controls) {
            if (control.id == V4L2_CID_SHARPNESS)
                control.flags |= V4L2_CTRL_FLAG_READ_ONLY;
            if (control.id == V4L2_CID_GAMMA)
                control.flags |= V4L2_CTRL_FLAG_DISABLED;
        }
        FakeHardwareRig rig({camera});
        Orvex& orvex = rig.orvex();
        QCOMPARE(rangeMember(orvex, Member::Sharpness, RangeMember::Supported), Value::boolean(false));
        QCOMPARE(rangeMember(orvex, Member::Gamma, RangeMember::Supported), Value::boolean(false));
        rig.card(Camera).clearLog();
        put(orvex, Member::Sharpness, 5);
        put(orvex, Member::Gamma, 200);
        QVERIFY(rig.card(Camera).controlWrites().empty());
        QCOMPARE(rig.card(Camera).controlValue(V4L2_CID_SHARPNESS), 3);
    }

    void aGrabbedControlsPutChangesNothingAndSaysSo()
    {
        FakeHardwareRig rig(FakeHardwareRig::cameraAndTvCard());
        Orvex& orvex = rig.orvex();
        rig.card(Camera).setGrabbed(V4L2_CID_BRIGHTNESS, true);
        put(orvex, Member::Brightness, 40);
        QCOMPARE(rig.card(Camera).controlValue(V4L2_CID_BRIGHTNESS), 0);
        QVERIFY2(orvex.view().noticeText().contains("Brightness"), qPrintable(orvex.view().noticeText()));

        rig.card(Camera).setGrabbed(V4L2_CID_BRIGHTNESS, false);
        put(orvex, Member::Brightness, 40);
        QCOMPARE(rig.card(Camera).controlValue(V4L2_CID_BRIGHTNESS), 40);
    }

    void aTvCardStartsOnItsTunerInput()
    {
        // The tuner input comes second.
        auto card = fakeTvCard();
        std::swap(card.inputs[0], card.inputs[1]);
        {
            FakeHardwareRig rig({card, fakeUvcCamera()});
            QCOMPARE(rig.orvex().core().captureRequest().videoInput, 1);
            rig.orvex().put(Member::VideoInput, Value::i16(0));
            QCOMPARE(rig.orvex().core().videoInputName(), std::string("Composite1"));
        }
        FakeHardwareRig rig({fakeUvcCamera(), card});
        QCOMPARE(rig.orvex().core().captureRequest().videoInput, 0);
        rig.choose(1);
        QCOMPARE(rig.orvex().core().videoInputName(), std::string("Television"));
        QCOMPARE(rig.orvex().core().captureRequest().videoInput, 1);
        rig.orvex().put(Member::VideoInput, Value::i16(0));
        QCOMPARE(rig.orvex().core().captureRequest().videoInput, 0);

        // The tuner it found is the one that tunes.
        rig.orvex().put(Member::TVCountryCode, Value::f64(49));
        rig.orvex().put(Member::TVChannel, Value::f64(21));
        QCOMPARE(rig.frequency(1), 7540u);
    }

    void countryAndChannelTuneInTheTunersUnits_data()
    {
        QTest::addColumn<bool>("lowUnits");
        QTest::addColumn<double>("country");
        QTest::addColumn<QString>("label");
        QTest::addColumn<uint>("units");  // of 62.5 kHz
        const struct {
            double country;
            const char* label;
            uint units;
        } vectors[] = {{1, "2", 884}, {1, "14", 7540}, {49, "E2", 772}, {49, "E5", 2804}, {7, "R1", 796}, {81, "1", 1460}};
        for (const bool low : {false, true})
            for (const auto& vector : vectors)
                QTest::addRow("%s %g %s", low ? "62.5 Hz" : "62.5 kHz", vector.country, vector.label)
                    << low << vector.country << QString::fromLatin1(vector.label) << vector.units;
    }

    void countryAndChannelTuneInTheTunersUnits()
    {
        QFETCH(bool, lowUnits);
        QFETCH(double, country);
        QFETCH(QString, label);
        QFETCH(uint, units);
        FakeHardwareRig rig(FakeHardwareRig::cameraAndTvCard(lowUnits));
        rig.choose(TvCard);
        rig.orvex().put(Member::TVCountryCode, Value::f64(country));
        rig.orvex().put(Member::TVChannel, Value::f64(numberOf(country, label.toStdString())));
        QCOMPARE(rig.card(TvCard).frequencyRequests().back(), lowUnits ? units * 1000 : units);
        QCOMPARE(rig.frequency(TvCard), lowUnits ? units * 1000 : units);
    }

    void everyCountryListsItsChannelsTunedToTheTable()
    {
        FakeHardwareRig rig(FakeHardwareRig::cameraAndTvCard());
        Orvex& orvex = rig.orvex();
        rig.choose(TvCard);
        for (const double country : everyCountry) {
            const tv::ChannelTable& table = *tv::countryFor(country)->table;
            orvex.put(Member::TVCountryCode, Value::f64(country));
            const std::uint32_t tuned = rig.frequency(TvCard);
            auto channels = orvex.collection(Member::TVChannels);
            QCOMPARE(channels->count(), static_cast<int>(table.channels.size()));
            for (int i = 0; i < channels->count(); ++i) {
                auto item = channels->item(i);
                const std::string name = toText(item->name());
                const auto expected = static_cast<std::uint32_t>(std::lround(table.channels[size_t(i)].frequencyMHz * 16));
                // No scan yet: a real card offers every channel but the one it is on, which
                // has no station on this card.
                QCOMPARE(item->available(), Value::i32(expected == tuned ? 0 : 1));
                orvex.put(Member::TVChannel, Value::f64(leadingNumber(name)));
                QVERIFY2(rig.frequency(TvCard) == expected,
                         qPrintable(QString("%1 in %2").arg(QString::fromStdString(name)).arg(country)));
            }
        }
    }

    void muteReachesTheCard()
    {
        FakeHardwareRig rig(FakeHardwareRig::cameraAndTvCard());
        rig.choose(TvCard);
        rig.orvex().put(Member::TVMute, Value::boolean(true));
        QCOMPARE(rig.card(TvCard).controlValue(V4L2_CID_AUDIO_MUTE), 1);
        rig.orvex().put(Member::TVMute, Value::i16(0));
        QCOMPARE(rig.card(TvCard).controlValue(V4L2_CID_AUDIO_MUTE), 0);

        // Put while the camera was chosen, given to the card when it is chosen.
        rig.choose(Camera);
        rig.orvex().put(Member::TVMute, Value::boolean(true));
        QCOMPARE(rig.card(TvCard).controlValue(V4L2_CID_AUDIO_MUTE), 0);
        rig.choose(TvCard);
        QCOMPARE(rig.card(TvCard).controlValue(V4L2_CID_AUDIO_MUTE), 1);
    }

    // Another program streams from the card: the preview waits for it, and the settings, the
    // channel and mute still reach the card through the control's own open.
    void aCardAnotherProgramStreamsStillTakesItsSettings()
    {
        FakeHardwareRig rig(FakeHardwareRig::cameraAndTvCard());
        Orvex& orvex = rig.orvex();
        rig.choose(TvCard);
        rig.card(TvCard).setStreamingElsewhere(true);
        QCOMPARE(orvex.call(Member::Start), Value::i16(0));
        QVERIFY2(orvex.view().errorText().contains("in use by another program"), qPrintable(orvex.view().errorText()));

        put(orvex, Member::Brightness, 40);
        orvex.put(Member::TVCountryCode, Value::f64(49));
        orvex.put(Member::TVChannel, Value::f64(21));
        orvex.put(Member::TVMute, Value::boolean(true));
        QCOMPARE(rig.card(TvCard).controlValue(V4L2_CID_BRIGHTNESS), 40);
        QCOMPARE(rig.frequency(TvCard), 7540u);
        QCOMPARE(rig.card(TvCard).controlValue(V4L2_CID_AUDIO_MUTE), 1);
        orvex.call(Member::Stop);
        QVERIFY(orvex.view().errorText().isEmpty());
    }

    void aHeldTunerChangesNothingAndSaysSo()
    {
        FakeHardwareRig rig(FakeHardwareRig::cameraAndTvCard());
        Orvex& orvex = rig.orvex();
        rig.choose(TvCard);
        orvex.put(Member::TVCountryCode, Value::f64(49));
        orvex.put(Member::TVChannel, Value::f64(21));

        rig.card(TvCard).setTunerHeld(true);
        orvex.put(Member::TVChannel, Value::f64(numberOf(49, "E5")));
        QCOMPARE(rig.frequency(TvCard), 7540u);
        QCOMPARE(orvex.core().tuner()->channel, std::optional<double>(21));
        QVERIFY2(orvex.view().noticeText().contains("channel"), qPrintable(orvex.view().noticeText()));

        rig.card(TvCard).setGrabbed(V4L2_CID_AUDIO_MUTE, true);
        orvex.put(Member::TVMute, Value::boolean(true));
        QCOMPARE(rig.card(TvCard).controlValue(V4L2_CID_AUDIO_MUTE), 0);
        QCOMPARE(orvex.core().tuner()->muted, false);
        QVERIFY2(orvex.view().noticeText().contains("sound"), qPrintable(orvex.view().noticeText()));

        // Choosing the card again while it is held does not fail either.
        rig.choose(Camera);
        orvex.put(Member::TVChannel, Value::f64(22));
        rig.choose(TvCard);
        QCOMPARE(rig.frequency(TvCard), 7540u);

        rig.card(TvCard).setTunerHeld(false);
        rig.card(TvCard).setGrabbed(V4L2_CID_AUDIO_MUTE, false);
        orvex.put(Member::TVChannel, Value::f64(numberOf(49, "E5")));
        orvex.put(Member::TVMute, Value::boolean(true));
        QCOMPARE(rig.frequency(TvCard), 2804u);
        QCOMPARE(rig.card(TvCard).controlValue(V4L2_CID_AUDIO_MUTE), 1);
    }

    void otherTunerRefusalsStillRaise()
    {
        auto card = fakeTvCard();
        for (auto& control : card.controls)
            if (control.id == V4L2_CID_AUDIO_MUTE)
                control.flags |= V4L2_CTRL_FLAG_READ_ONLY;
        FakeHardwareRig rig({card});
        QVERIFY_THROWS_EXCEPTION(CaptureError, rig.orvex().put(Member::TVMute, Value::boolean(true)));
    }

    // The layers below raise a device's refusal in fields; the control's caller reads words.
    void refusalsReachTheCallerInWords()
    {
        const auto said = [](const std::function<void()>& call) {
            try {
                call();
            } catch (const CaptureError& error) {
                return QString::fromUtf8(error.what());
            }
            return QStringLiteral("nothing raised");
        };
        auto card = fakeTvCard();
        for (auto& control : card.controls)
            if (control.id == V4L2_CID_AUDIO_MUTE)
                control.flags |= V4L2_CTRL_FLAG_READ_ONLY;
        FakeHardwareRig rig({card});
        const QString mute = said([&] { rig.orvex().put(Member::TVMute, Value::boolean(true)); });
        QVERIFY2(mute.startsWith("The TV card did not mute its sound: ")
                     && mute.endsWith(". Close other programs that use the card and try again."),
                 qPrintable(mute));
    }
};

QTEST_MAIN(V4l2ControlTest)
#include "V4l2ControlTest.moc"
