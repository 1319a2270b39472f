#include "ControlRig.h"

#include "capture/devices/AudioSources.h"
#include "capture/devices/ServerSockets.h"
#include "capture/devices/SysfsDevice.h"
#include "capture/devices/virtual/VirtualControls.h"
#include "capture/control/OrvexCore.h"

#include <QTemporaryDir>
#include <QtTest>

#include <deque>
#include <filesystem>

// A device as a GStreamer device provider hands it out; its element is a test source.
struct TestGstDevice {
    GstDevice parent;
};
struct TestGstDeviceClass {
    GstDeviceClass parent;
};
G_DEFINE_TYPE(TestGstDevice, test_gst_device, GST_TYPE_DEVICE)

static GstElement* testGstDeviceCreateElement(GstDevice*, const gchar* name)
{
    return gst_element_factory_make("videotestsrc", name);
}

static void test_gst_device_class_init(TestGstDeviceClass* type)
{
    GST_DEVICE_CLASS(type)->create_element = testGstDeviceCreateElement;
}

static void test_gst_device_init(TestGstDevice*) {}

using namespace capture;
using controltest::indexOf;
using controltest::names;

namespace {

class NamedCamera : public VideoDevice {
public:
    explicit NamedCamera(std::string name, std::string physical = {}) : m_name(std::move(name)), m_physical(std::move(physical)) {}
    std::string name() const override { return m_name; }
    std::string physicalDevice() const override { return m_physical; }
    std::vector<std::string> inputs() override { return {"Camera"}; }
    std::vector<VideoFormat> formats(int) override { return {{"YUY2", 640, 480, 30, 1}}; }
    DeviceControls& controls() override { return m_controls; }
    Tuner* tuner() override { return nullptr; }
    ElementPtr createSource(int, const VideoFormat&) override { throw CaptureError("not streamed here"); }

private:
    VirtualControls m_controls{SettingProfile{}};  // none
    std::string m_name;
    std::string m_physical;
};

class NamedMicrophone : public AudioDevice {
public:
    explicit NamedMicrophone(std::string name, std::string physical = {}, bool microphone = true)
        : m_name(std::move(name)), m_physical(std::move(physical)), m_microphone(microphone)
    {
    }
    std::string name() const override { return m_name; }
    std::string physicalDevice() const override { return m_physical; }
    bool isMicrophone() const override { return m_microphone; }
    ElementPtr createSource() override { throw CaptureError("not streamed here"); }

private:
    std::string m_name;
    std::string m_physical;
    bool m_microphone;
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
        QCOMPARE(orvex.core().source().deviceIndex(), 1);
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

    // Until a window chooses sound, a TV card records and plays its own; a microphone is
    // never played back, a camera's picture never has its sound played.
    void theSoundFollowsThePictureUntilChosen()
    {
        VirtualDevices builtIn = createVirtualDevices();
        std::vector<std::unique_ptr<VideoDevice>> video;
        video.push_back(std::make_unique<NamedCamera>("Cam"));
        video.push_back(std::make_unique<NamedCamera>("TV Card", "/sys/devices/pci0000:00/0000:00:0a.0"));
        video.push_back(std::move(builtIn.tuner));
        std::vector<std::unique_ptr<AudioDevice>> audio;
        audio.push_back(std::make_unique<NamedMicrophone>("Mic"));
        audio.push_back(std::make_unique<NamedMicrophone>("TV Card Sound", "/sys/devices/pci0000:00/0000:00:0a.0", false));
        audio.push_back(std::move(builtIn.tone));
        Orvex orvex(DeviceCatalogue(std::move(video), std::move(audio)), EncoderCatalogue{});
        auto sound = [&] { return orvex.core().captureRequest().audioDevice->name(); };
        auto played = [&] { return orvex.core().captureRequest().playSound; };

        QCOMPARE(sound(), std::string("Mic"));
        QVERIFY(!played());
        orvex.put(Member::VideoDevice, Value::i16(1));
        QCOMPARE(sound(), std::string("TV Card Sound"));
        orvex.put(Member::VideoDevice, Value::i16(2));
        QCOMPARE(sound(), std::string("Test Tone"));
        QVERIFY(played());
        orvex.put(Member::VideoDevice, Value::i16(0));
        QCOMPARE(sound(), std::string("Mic"));

        orvex.put(Member::AudioDevice, Value::i16(0));
        orvex.put(Member::VideoDevice, Value::i16(2));
        QCOMPARE(sound(), std::string("Mic"));
        QVERIFY(!played());
    }

    // A card the sound server offers is listed once, through the server; an ALSA card it does
    // not hold keeps its card's name. What the server calls a webcam is a microphone.
    void soundSourcesAreListedOnce()
    {
        gst_init(nullptr, nullptr);
        auto device = [](const char* name, const char* properties) {
            GstStructure* structure = gst_structure_from_string(properties, nullptr);
            GstHandle<GstDevice> made(GST_DEVICE(g_object_new(test_gst_device_get_type(), "display-name", name, "device-class",
                                                              "Audio/Source", "properties", structure, nullptr)));
            gst_structure_free(structure);
            return made;
        };
        std::vector<GstHandle<GstDevice>> server, alsa;
        server.push_back(device("Built-in Audio Analog Stereo", "p, alsa.card=(string)0"));
        server.push_back(device("Webcam Microphone", "p, alsa.card=(string)2, device.form_factor=(string)webcam"));
        server.push_back(device("Monitor of Built-in Audio", "p, alsa.card=(string)0, device.class=(string)monitor"));
        alsa.push_back(device("HDA Intel PCH at 0xf7f10000 irq 33", "p, alsa.card=(int)0, alsa.card_name=(string)\"HDA Intel PCH\""));
        alsa.push_back(device("SAA7134 at 0xe0000000 irq 16", "p, alsa.card=(int)1, alsa.card_name=(string)SAA7134"));

        const auto sources = audioSourcesOf(std::move(server), std::move(alsa));
        std::vector<std::string> listed;
        std::vector<bool> microphones;
        for (const auto& source : sources) {
            listed.push_back(source->name());
            microphones.push_back(source->isMicrophone());
        }
        QCOMPARE(listed, (std::vector<std::string>{"Built-in Audio Analog Stereo", "Webcam Microphone",
                                                   "Monitor of Built-in Audio", "SAA7134"}));
        QCOMPARE(microphones, (std::vector<bool>{false, true, false, false}));
    }

    // A card with one capture device keeps its name; the devices of a card with several are
    // told apart by their own names and numbers, also where those names are the same.
    void alsaCaptureDevicesAreToldApart()
    {
        const std::vector<AlsaCapture> captures = {
            {"SAA7134", 1, 0, "SAA7134 PCM"},
            {"HDA Intel PCH", 0, 0, "ALC892 Analog"},
            {"HDA Intel PCH", 0, 2, "ALC892 Alt Analog"},
            {"Loopback", 2, 0, "Loopback PCM"},
            {"Loopback", 2, 1, "Loopback PCM"},
            {"USB Audio", 3, 0, "USB Audio"},
            {"USB Audio", 3, 1, ""},
        };
        QCOMPARE(alsaCaptureNames(captures),
                 (std::vector<std::string>{"SAA7134", "HDA Intel PCH: ALC892 Analog (device 0)",
                                           "HDA Intel PCH: ALC892 Alt Analog (device 2)",
                                           "Loopback: Loopback PCM (device 0)", "Loopback: Loopback PCM (device 1)",
                                           "USB Audio (device 0)", "USB Audio (device 1)"}));
    }

    // Files are "path" (relative to a scratch root, which also stands for /) or "path=content";
    // the environment's values may name the root as $ROOT.
    void aServerIsAskedForOnlyWhereOneMayAnswer_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("root");
        QTest::addColumn<bool>("pulse");
        QTest::addColumn<bool>("pipeWire");
        QTest::addColumn<bool>("soundCard");
        const QStringList home{"HOME=$ROOT/home"};
        QTest::newRow("nothing, as root") << home << QStringList{"usr/bin/pulseaudio"} << true << false << false << false;
        QTest::newRow("a user's own server would be started")
            << home << QStringList{"usr/bin/pulseaudio"} << false << true << false << false;
        QTest::newRow("starting one is turned off")
            << home << QStringList{"usr/bin/pulseaudio", "home/.config/pulse/client.conf=autospawn = no"} << false
            << false << false << false;
        QTest::newRow("named in the environment")
            << QStringList{"PULSE_SERVER=unix:/elsewhere", "PIPEWIRE_REMOTE=elsewhere"} << QStringList{} << true
            << true << true << false;
        QTest::newRow("sockets in the runtime folder")
            << QStringList{"XDG_RUNTIME_DIR=$ROOT/user"} << QStringList{"user/pulse/native", "user/pipewire-0"}
            << true << true << true << false;
        QTest::newRow("system-wide sockets")
            << home << QStringList{"run/pulse/native", "run/pipewire/pipewire-0"} << true << true << true << false;
        QTest::newRow("a server in a configuration part")
            << home << QStringList{"etc/pulse/client.conf.d/50-remote.conf=default-server = tcp:studio"} << true
            << true << false << false;
        QTest::newRow("a server only in a comment")
            << home << QStringList{"etc/pulse/client.conf=; default-server = tcp:studio"} << true << false << false
            << false;
        QTest::newRow("no runtime folder: the socket under the configuration folder")
            << home << QStringList{"etc/machine-id=0123abcd", "home/.config/pulse/0123abcd-runtime/native"} << true
            << true << false << false;
        QTest::newRow("a sound card that records")
            << home << QStringList{"dev/snd/controlC0", "dev/snd/pcmC0D0p", "dev/snd/pcmC0D1c"} << true << false
            << false << true;
        QTest::newRow("a sound card that only plays")
            << home << QStringList{"dev/snd/controlC0", "dev/snd/pcmC0D0p"} << true << false << false << false;
    }

    void aServerIsAskedForOnlyWhereOneMayAnswer()
    {
        QFETCH(QStringList, environment);
        QFETCH(QStringList, files);
        QFETCH(bool, root);
        QTemporaryDir scratch;
        for (const QString& file : files) {
            const QString path = scratch.filePath(file.section('=', 0, 0));
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(file.section('=', 1).toUtf8());
        }
        ServerLookup lookup;
        lookup.root = root;
        lookup.systemRoot = scratch.path().toStdString();
        lookup.environment = [&](const char* name) -> std::optional<std::string> {
            for (const QString& entry : environment)
                if (entry.section('=', 0, 0) == QLatin1String(name))
                    return entry.section('=', 1).replace(QStringLiteral("$ROOT"), scratch.path()).toStdString();
            return std::nullopt;
        };
        QTEST(pulseServerMayAnswer(lookup), "pulse");
        QTEST(pipeWireMayAnswer(lookup), "pipeWire");
        QTEST(soundCardMayAnswer(lookup), "soundCard");
    }

    // A USB stick's video and sound hang off different interfaces of one device; a PCI card's
    // off the card itself.
    void aCardsPartsMeetAtTheirPhysicalDevice()
    {
        namespace fs = std::filesystem;
        QTemporaryDir sys;
        const fs::path root = sys.path().toStdString();
        const fs::path stick = root / "devices/pci0000:00/0000:00:14.0/usb1/1-2";
        const fs::path card = root / "devices/pci0000:00/0000:00:0a.0";
        for (const fs::path& dir : {stick / "1-2:1.0", stick / "1-2:1.1", card, root / "class/video4linux/video0",
                                    root / "class/video4linux/video1", root / "class/sound/card1", root / "class/sound/card2"})
            fs::create_directories(dir);
        fs::create_directory_symlink(stick / "1-2:1.0", root / "class/video4linux/video0/device");
        fs::create_directory_symlink(stick / "1-2:1.1", root / "class/sound/card1/device");
        fs::create_directory_symlink(card, root / "class/video4linux/video1/device");
        fs::create_directory_symlink(card, root / "class/sound/card2/device");

        QCOMPARE(physicalDevice(root / "class/video4linux/video0"), fs::canonical(stick).string());
        QCOMPARE(physicalDevice(root / "class/sound/card1"), fs::canonical(stick).string());
        QCOMPARE(physicalDevice(root / "class/video4linux/video1"), fs::canonical(card).string());
        QCOMPARE(physicalDevice(root / "class/sound/card2"), fs::canonical(card).string());
        QCOMPARE(physicalDevice(root / "class/sound/card9"), std::string());
    }
};

QTEST_MAIN(DeviceCatalogueTest)
#include "DeviceCatalogueTest.moc"
