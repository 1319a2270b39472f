#include "ControlRig.h"

#include "capture/control/OrvexCore.h"
#include "capture/view/VideoView.h"

#include <QTemporaryDir>
#include <linux/videodev2.h>
#include <QtTest>

using namespace capture;
using controltest::indexOf;
using controltest::names;

namespace {

Value rangeValue(CaptureControl& control, Member property, int member)
{
    return control.cameraProperty(property)->get(member);
}

// A camera whose settings another program holds.
class HeldControls : public DeviceControls {
public:
    std::vector<DeviceControl> list() override { return {*read(V4L2_CID_BRIGHTNESS)}; }
    // Every setting is there, at 128 of 0 to 255.
    std::optional<DeviceControl> read(std::uint32_t id) override
    {
        DeviceControl control;
        control.id = id;
        control.maximum = 255;
        control.value = 128;
        control.hasValue = true;
        return control;
    }
    std::optional<std::int64_t> value(std::uint32_t) override { return 128; }
    ControlWrite write(std::uint32_t, std::int64_t) override { return ControlWrite::Busy; }
    ControlWrite writeText(std::uint32_t, const std::string&) override { return ControlWrite::Busy; }
    int watch(const std::vector<std::uint32_t>&) override { return -1; }
    void unwatch() override {}
    std::vector<std::uint32_t> changes() override { return {}; }
    std::vector<std::pair<std::uint32_t, ControlWrite>> resetToDefaults() override { return {}; }
};

class HeldCamera : public VideoDevice {
public:
    std::string name() const override { return "Held Camera"; }
    std::vector<std::string> inputs() override { return {"Camera"}; }
    std::vector<VideoFormat> formats(int) override { return {{"YUY2", 640, 480, 30, 1}}; }
    DeviceControls& controls() override { return m_controls; }
    Tuner* tuner() override { return nullptr; }
    ElementPtr createSource(int, const VideoFormat&) override { throw CaptureError("held"); }

private:
    HeldControls m_controls;
};

}  // namespace

class OrvexMembersTest : public QObject {
    Q_OBJECT

private slots:
    void discoveredCatalogueEndsWithTheVirtualDevices();
    void collectionsFollowTheCurrentDevice();
    void indexesThatNameNoItemRaise();
    void flagsTakeCheckBoxValuesAndBooleans();
    void channelsComeFromTheCountryTable();
    void tunerSettingsWaitForADeviceWithATuner();
    void cameraRangesUseEachPropertysNumbers();
    void cameraPutsReachTheDevice();
    void onlyChannelsAndCompressorsHaveTheirExtraMembers();
    void putsAreKeptUntilStart();
    void startAnswersItsStatus();
    void aHeldSettingAndNoSoundAreNoFailure();
};

void OrvexMembersTest::discoveredCatalogueEndsWithTheVirtualDevices()
{
    Orvex orvex;
    const auto video = names(orvex, Member::VideoDevices);
    QVERIFY(video.size() >= 2);
    QCOMPARE(std::vector<std::string>(video.end() - 2, video.end()),
             (std::vector<std::string>{"Test Pattern Camera", "Test Pattern TV Tuner"}));
    const auto audio = names(orvex, Member::AudioDevices);
    QVERIFY(!audio.empty());
    QCOMPARE(audio.back(), std::string("Test Tone"));
}

void OrvexMembersTest::collectionsFollowTheCurrentDevice()
{
    auto orvex = controltest::virtualOrvex();
    QCOMPARE(names(*orvex, Member::VideoInputs), std::vector<std::string>{"Camera"});
    QCOMPARE(names(*orvex, Member::VideoFormats).front(), std::string("BGRx 640x480 30 fps"));
    QCOMPARE(orvex->get(Member::HasTVTuner), Value::boolean(false));

    orvex->put(Member::VideoDevice, Value::i16(1));
    QCOMPARE(names(*orvex, Member::VideoInputs), (std::vector<std::string>{"Television", "Composite"}));
    QCOMPARE(orvex->get(Member::HasTVTuner), Value::boolean(true));

    auto inputs = orvex->collection(Member::VideoInputs);
    QCOMPARE(inputs->indexOf(Value::text("Composite")), Value::i16(1));
    QCOMPARE(inputs->indexOf(Value::text("composite")), Value::i16(-1));
    QCOMPARE(inputs->indexOf(Value::text("")), Value::i16(-1));

    // A snapshot: putting another device later does not change a collection already handed out.
    orvex->put(Member::VideoDevice, Value::i16(0));
    QCOMPARE(inputs->count(), 2);
    QCOMPARE(names(*orvex, Member::VideoInputs), std::vector<std::string>{"Camera"});
}

void OrvexMembersTest::indexesThatNameNoItemRaise()
{
    auto orvex = controltest::virtualOrvex();
    QVERIFY_THROWS_EXCEPTION(CaptureError, orvex->put(Member::VideoDevice, Value::i16(2)));
    QVERIFY_THROWS_EXCEPTION(CaptureError, orvex->put(Member::VideoDevice, Value::i16(-1)));
    QVERIFY_THROWS_EXCEPTION(CaptureError, orvex->put(Member::VideoInput, Value::i16(1)));
    QVERIFY_THROWS_EXCEPTION(CaptureError, orvex->put(Member::AudioDevice, Value::i16(1)));
    QVERIFY_THROWS_EXCEPTION(CaptureError, orvex->put(Member::VideoFormat, Value::i32(70000)));
    QVERIFY_THROWS_EXCEPTION(CaptureError, orvex->put(Member::VideoCompressor, Value::i16(30000)));
    QVERIFY_THROWS_EXCEPTION(CaptureError, orvex->put(Member::Start, Value()));
    QVERIFY_THROWS_EXCEPTION(CaptureError, orvex->get(Member::VideoDevices));
    QVERIFY_THROWS_EXCEPTION(CaptureError, orvex->collection(Member::Brightness));

    // A refused put changes nothing.
    orvex->put(Member::VideoDevice, Value::i16(1));
    QVERIFY_THROWS_EXCEPTION(CaptureError, orvex->put(Member::VideoInput, Value::i16(2)));
    QCOMPARE(orvex->core().source().input(), 0);
    orvex->put(Member::VideoInput, Value::i32(1));
    QCOMPARE(orvex->core().source().input(), 1);
}

void OrvexMembersTest::flagsTakeCheckBoxValuesAndBooleans()
{
    auto orvex = controltest::virtualOrvex();
    const OrvexSettings& settings = orvex->core().settings();
    orvex->put(Member::CaptureAudio, Value::i16(0));
    QCOMPARE(settings.captureAudio, false);
    orvex->put(Member::CaptureAudio, Value::i16(1));
    QCOMPARE(settings.captureAudio, true);
    orvex->put(Member::ShowPreview, Value::boolean(false));
    QCOMPARE(settings.showPreview, false);
    orvex->put(Member::ShowPreview, Value::boolean(true));
    QCOMPARE(settings.showPreview, true);
    orvex->put(Member::UseVideoCompressor, Value::i16(2));
    QCOMPARE(settings.useVideoCompressor, true);
    QVERIFY_THROWS_EXCEPTION(CaptureError, orvex->put(Member::CaptureVideo, Value::text("maybe")));
    QCOMPARE(settings.captureVideo, true);
}

void OrvexMembersTest::channelsComeFromTheCountryTable()
{
    auto orvex = controltest::virtualOrvex();
    orvex->put(Member::VideoDevice, Value::i16(1));
    orvex->put(Member::TVCountryCode, Value::f64(49));
    auto channels = orvex->collection(Member::TVChannels);
    QCOMPARE(channels->count(), 104);
    int stations = 0;
    forEachItem(*channels, [&](CaptureItem& item) {
        const Value available = item.available();
        QCOMPARE(available.type(), ValueType::I32);
        QVERIFY(available == Value::i32(0) || available == Value::i32(1));
        stations += available.i32Value();
        QVERIFY(std::isdigit(static_cast<unsigned char>(toText(item.name()).front())));
    });
    QVERIFY(stations > 0);
    QVERIFY(stations < 104);

    orvex->put(Member::TVChannel, Value::f64(21));
    orvex->put(Member::TVChannel, Value::f64(9999));  // not in the table: ignored
    orvex->put(Member::TVMute, Value::boolean(true));
    QCOMPARE(orvex->core().tuner()->muted, true);
    orvex->put(Member::TVCountryCode, Value::f64(999));
    QCOMPARE(orvex->collection(Member::TVChannels)->count(), 0);
}

void OrvexMembersTest::tunerSettingsWaitForADeviceWithATuner()
{
    auto orvex = controltest::virtualOrvex();
    // The camera has no tuner: the puts are kept without complaint.
    orvex->put(Member::TVMute, Value::boolean(true));
    orvex->put(Member::TVCountryCode, Value::f64(44));
    QCOMPARE(orvex->collection(Member::TVChannels)->count(), 0);
    QVERIFY(!orvex->core().tuner());

    orvex->put(Member::VideoDevice, Value::i16(1));
    QCOMPARE(orvex->collection(Member::TVChannels)->count(), 49);  // UK: UHF 21 to 69
    QCOMPARE(orvex->core().tuner()->muted, true);
}

void OrvexMembersTest::cameraRangesUseEachPropertysNumbers()
{
    auto orvex = controltest::virtualOrvex();
    for (Member property : cameraProperties) {
        const RangeNumbering numbering = rangeNumbering(property);
        QCOMPARE(rangeValue(*orvex, property, RangeMember::Supported), Value::boolean(true));
        const Value min = rangeValue(*orvex, property, numbering.min);
        const Value max = rangeValue(*orvex, property, numbering.max);
        const Value value = rangeValue(*orvex, property, numbering.value);
        QCOMPARE(min.type(), ValueType::I32);
        QVERIFY2(min.i32Value() < max.i32Value(), memberName(property).data());
        QVERIFY(value.i32Value() >= min.i32Value() && value.i32Value() <= max.i32Value());
    }
    // Numbers that belong to another property's object are not offered.
    QVERIFY_THROWS_EXCEPTION(CaptureError, rangeValue(*orvex, Member::Brightness, 3));
    QVERIFY_THROWS_EXCEPTION(CaptureError, rangeValue(*orvex, Member::Contrast, 4));
    QVERIFY_THROWS_EXCEPTION(CaptureError, rangeValue(*orvex, Member::Gain, 1));

    // The TV tuner's decoder has four settings only.
    orvex->put(Member::VideoDevice, Value::i16(1));
    QCOMPARE(rangeValue(*orvex, Member::Saturation, RangeMember::Supported), Value::boolean(true));
    QCOMPARE(rangeValue(*orvex, Member::Sharpness, RangeMember::Supported), Value::boolean(false));
    QCOMPARE(rangeValue(*orvex, Member::Gain, RangeMember::Supported), Value::boolean(false));
}

void OrvexMembersTest::cameraPutsReachTheDevice()
{
    auto orvex = controltest::virtualOrvex();
    const RangeNumbering numbering = rangeNumbering(Member::Brightness);
    const std::int32_t max = rangeValue(*orvex, Member::Brightness, numbering.max).i32Value();
    orvex->put(Member::Brightness, Value::i32(max));
    QCOMPARE(rangeValue(*orvex, Member::Brightness, numbering.value), Value::i32(max));
    orvex->put(Member::Brightness, Value::i32(max + 1000));  // clamped, no error
    QCOMPARE(rangeValue(*orvex, Member::Brightness, numbering.value), Value::i32(max));

    // The tuner lacks gain: the put is taken and does nothing.
    orvex->put(Member::VideoDevice, Value::i16(1));
    orvex->put(Member::Gain, Value::i32(5));
    QCOMPARE(rangeValue(*orvex, Member::Gain, RangeMember::Supported), Value::boolean(false));
}

void OrvexMembersTest::onlyChannelsAndCompressorsHaveTheirExtraMembers()
{
    auto orvex = controltest::virtualOrvex();
    auto devices = orvex->collection(Member::VideoDevices);
    QVERIFY_THROWS_EXCEPTION(CaptureError, devices->item(0)->available());
    QVERIFY_THROWS_EXCEPTION(CaptureError, devices->item(2));
    QVERIFY_THROWS_EXCEPTION(CaptureError, devices->showItemPropertyPage(Value::i16(0)));
    QVERIFY_THROWS_EXCEPTION(CaptureError,
                             orvex->collection(Member::AudioCompressors)->showItemPropertyPage(Value::i16(0)));

    auto compressors = orvex->collection(Member::VideoCompressors);
    QCOMPARE(compressors->showItemPropertyPage(Value::i16(-1)), Value::boolean(false));
    QCOMPARE(compressors->showItemPropertyPage(Value::i16(compressors->count())), Value::boolean(false));

    // A collection that outlives its control says so instead of reaching into freed memory.
    orvex.reset();
    QVERIFY_THROWS_EXCEPTION(CaptureError, compressors->showItemPropertyPage(Value::i16(0)));
}

void OrvexMembersTest::putsAreKeptUntilStart()
{
    auto orvex = controltest::virtualOrvex();
    CaptureRequest request = orvex->core().captureRequest();
    QCOMPARE(request.videoDevice->name(), std::string("Test Pattern Camera"));
    QCOMPARE(request.videoFormat->name(), std::string("BGRx 640x480 30 fps"));
    QCOMPARE(request.audioDevice->name(), std::string("Test Tone"));
    QVERIFY(request.captureVideo && request.captureAudio && request.showPreview);
    QVERIFY(!request.toFile && !request.videoEncoder && !request.audioEncoder);

    orvex->put(Member::VideoDevice, Value::i16(1));
    orvex->put(Member::VideoInput, Value::i16(1));
    orvex->put(Member::CaptureToFile, Value::boolean(true));
    orvex->put(Member::CaptureFileName, Value::text("/tmp/clip one.avi"));
    orvex->put(Member::VideoCompressor, Value::i16(indexOf(*orvex, Member::VideoCompressors, "JPEG image encoder")));
    orvex->put(Member::UseVideoCompressor, Value::i16(1));
    orvex->put(Member::CaptureAudio, Value::i16(0));

    request = orvex->core().captureRequest();
    QCOMPARE(request.videoDevice->name(), std::string("Test Pattern TV Tuner"));
    QCOMPARE(request.videoInput, 1);
    QVERIFY(request.toFile);
    QCOMPARE(request.fileName, std::string("/tmp/clip one.avi"));
    QCOMPARE(request.videoEncoder->factory, std::string("jpegenc"));
    QVERIFY(!request.audioEncoder);
    QVERIFY(!request.captureAudio);
}

void OrvexMembersTest::startAnswersItsStatus()
{
    QTemporaryDir folder;
    auto orvex = controltest::virtualOrvex();
    const Value started = orvex->call(Member::Start);
    QCOMPARE(started, Value::i16(0));
    QTRY_VERIFY_WITH_TIMEOUT(!orvex->view().lastFrame().isNull(), 10000);

    orvex->put(Member::CaptureToFile, Value::boolean(true));
    QCOMPARE(orvex->call(Member::Start), Value::i16(-2));  // no name yet
    orvex->put(Member::CaptureFileName, Value::text(folder.filePath("missing/clip.avi").toStdString()));
    QCOMPARE(orvex->call(Member::Start), Value::i16(-2));

    const QString file = folder.filePath("clip.avi");
    orvex->put(Member::CaptureFileName, Value::text(file.toStdString()));
    QCOMPARE(orvex->call(Member::Start), Value::i16(0));
    QTest::qWait(500);
    QCOMPARE(orvex->call(Member::Stop), Value());
    QVERIFY(QFileInfo(file).size() > 0);

    // -1 stays -1; the overlay and the property page say which part failed and on what.
    orvex->put(Member::CaptureFileName, Value::text(folder.path().toStdString()));
    QCOMPARE(orvex->call(Member::Start), Value::i16(-1));
    const QString expected = "the recording file \"" + folder.path() + "\"";
    QVERIFY2(orvex->view().errorText().contains(expected), qPrintable(orvex->view().errorText()));
    QVERIFY(QString::fromStdString(orvex->core().lastFailure()).startsWith(expected));

    orvex->put(Member::CaptureToFile, Value::boolean(false));
    QCOMPARE(orvex->call(Member::Start), Value::i16(0));
    QVERIFY(orvex->view().errorText().isEmpty());
    orvex->call(Member::Stop);
}

void OrvexMembersTest::aHeldSettingAndNoSoundAreNoFailure()
{
    std::vector<std::unique_ptr<VideoDevice>> video;
    video.push_back(std::make_unique<HeldCamera>());
    Orvex orvex(DeviceCatalogue(std::move(video), {}), EncoderCatalogue{});
    orvex.resize(320, 240);
    const QImage before = orvex.view().grab().toImage();
    orvex.put(Member::Gain, Value::i32(12));
    QVERIFY(orvex.view().grab().toImage() != before);  // the view says the setting is held

    QCOMPARE(orvex.collection(Member::AudioDevices)->count(), 0);
    QCOMPARE(orvex.collection(Member::VideoCompressors)->count(), 0);
    QVERIFY_THROWS_EXCEPTION(CaptureError, orvex.put(Member::AudioDevice, Value::i16(0)));
    const CaptureRequest request = orvex.core().captureRequest();
    QVERIFY(!request.audioDevice);
    QVERIFY(!request.captureAudio);

    // Asked to compress with no encoder on the machine, a recording cannot begin.
    orvex.put(Member::UseVideoCompressor, Value::i16(1));
    orvex.put(Member::CaptureToFile, Value::boolean(true));
    orvex.put(Member::CaptureFileName, Value::text("/tmp/held.avi"));
    QCOMPARE(orvex.call(Member::Start), Value::i16(-1));
    QVERIFY(!QFileInfo::exists("/tmp/held.avi"));
    // The device cannot be opened: that is a failure of Start itself.
    orvex.put(Member::CaptureToFile, Value::boolean(false));
    QVERIFY_THROWS_EXCEPTION(CaptureError, orvex.call(Member::Start));
}

QTEST_MAIN(OrvexMembersTest)
#include "OrvexMembersTest.moc"
