#include "ControlRig.h"

#include "capture/engine/OrvexCore.h"

#include <QtTest>


using namespace capture;
using controltest::indexOf;
using controltest::names;

namespace {

class NamedCamera : public VideoDevice, public CameraSettings {
public:
    explicit NamedCamera(std::string name) : m_name(std::move(name)) {}
    std::string name() const override { return m_name; }
    std::vector<std::string> inputs() override { return {"Camera"}; }
    std::vector<VideoFormat> formats(int) override { return {{"YUY2", 640, 480, 30, 1}}; }
    CameraSettings& settings() override { return *this; }
    Tuner* tuner() override { return nullptr; }
    ElementPtr createSource(int, const VideoFormat&) override { throw CaptureError("not streamed here"); }
    SettingRange range(Member) override { return {}; }
    SettingWrite set(Member, std::int32_t) override { return SettingWrite::Unsupported; }

private:
    std::string m_name;
};

class NamedMicrophone : public AudioDevice {
public:
    explicit NamedMicrophone(std::string name) : m_name(std::move(name)) {}
    std::string name() const override { return m_name; }
    ElementPtr createSource() override { throw CaptureError("not streamed here"); }

private:
    std::string m_name;
};

DeviceCatalogue catalogueOf(const std::vector<std::string>& video, const std::vector<std::string>& audio)
{
    std::vector<std::unique_ptr<VideoDevice>> cameras;
    for (const auto& name : video)
        cameras.push_back(std::make_unique<NamedCamera>(name));
    std::vector<std::unique_ptr<AudioDevice>> microphones;
    for (const auto& name : audio)
        microphones.push_back(std::make_unique<NamedMicrophone>(name));
    return DeviceCatalogue(std::move(cameras), std::move(microphones));
}

}  // namespace

class DeviceCatalogueTest : public QObject {
    Q_OBJECT

private slots:
    void devicesOfOneNameAreToldApart()
    {
        Orvex orvex(catalogueOf({"USB Camera", "USB Camera", "Studio", "USB Camera"}, {"Mic", "Mic"}), EncoderCatalogue{});
        QCOMPARE(names(orvex, Member::VideoDevices),
                 (std::vector<std::string>{"USB Camera", "USB Camera #2", "Studio", "USB Camera #3"}));
        QCOMPARE(names(orvex, Member::AudioDevices), (std::vector<std::string>{"Mic", "Mic #2"}));

        // A window's choice comes back by name and lands on that device.
        orvex.put(Member::VideoDevice, Value::i16(static_cast<std::int16_t>(
                                           indexOf(orvex, Member::VideoDevices, "USB Camera #2"))));
        QCOMPARE(orvex.core().settings().videoDevice, 1);
        QCOMPARE(orvex.core().videoDeviceName(), std::string("USB Camera #2"));
        orvex.put(Member::AudioDevice, Value::i16(static_cast<std::int16_t>(indexOf(orvex, Member::AudioDevices, "Mic #2"))));
        QCOMPARE(orvex.core().audioDeviceName(), std::string("Mic #2"));
    }

    void aMadeUpNameNeverTakesADevicesOwn()
    {
        const DeviceCatalogue catalogue = catalogueOf({"Cam", "Cam", "Cam #2", "Cam"}, {});
        std::vector<std::string> listed;
        for (int i = 0; i < catalogue.videoCount(); ++i)
            listed.push_back(catalogue.videoName(i));
        QCOMPARE(listed, (std::vector<std::string>{"Cam", "Cam #3", "Cam #2", "Cam #4"}));
    }
};

QTEST_MAIN(DeviceCatalogueTest)
#include "DeviceCatalogueTest.moc"
