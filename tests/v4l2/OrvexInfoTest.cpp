#include "capture/tv/ChannelTables.h"
#include "capture/v4l2/V4l2VideoDevice.h"
#include "tests/support/kernel/FakeV4l2Hardware.h"
#include "tests/support/kernel/FakeV4l2Io.h"
#include "tools/InfoOptions.h"
#include "tools/InfoReport.h"

#include <QProcess>
#include <QtTest>

#include <fstream>
#include <sstream>

using namespace capture;
using namespace capture::info;

namespace {

struct Run {
    int exitCode = -1;
    QStringList out;
    QString err;
};

Run runInfo(const QStringList& arguments, const QString& configFolder = {})
{
    QProcess process;
    if (!configFolder.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder);
        process.setProcessEnvironment(environment);
    }
    process.start(QStringLiteral(ORVEX_INFO_PATH), arguments);
    Run run;
    if (!process.waitForFinished(60000))
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The line orvex-info prints for a channel: the table's name for it and its frequency.
QString expectedLine(double country, const std::string& label, const char* megahertz)
{
    for (const auto& channel : tv::countryFor(country)->table->channels)
        if (channel.label == label)
            return QString::fromStdString(channel.name) + '\t' + megahertz + " MHz";
    return QStringLiteral("no channel ") + QString::fromStdString(label);
}

std::string settingsReport(FakeV4l2Hardware hardware)
{
    auto io = std::make_shared<FakeV4l2Io>();
    io->add("/dev/video0", std::move(hardware));
    auto device = V4l2VideoDevice::open(io, "/dev/video0", {});
    std::ostringstream out;
    printDeviceSettings(out, 0, *device);
    return out.str();
}

}  // namespace

class OrvexInfoTest : public QObject {
    Q_OBJECT

private slots:
    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("mode");  // -1: refused
        QTest::addColumn<double>("value");

        using Mode = InfoOptions::Mode;
        QTest::newRow("nothing") << QStringList{} << int(Mode::Overview) << 0.0;
        QTest::newRow("help") << QStringList{"--help"} << int(Mode::Help) << 0.0;
        QTest::newRow("kept") << QStringList{"--kept"} << int(Mode::KeptCameras) << 0.0;
        QTest::newRow("device") << QStringList{"--device", "2"} << int(Mode::Device) << 2.0;
        QTest::newRow("device=") << QStringList{"--device=0"} << int(Mode::Device) << 0.0;
        QTest::newRow("channels") << QStringList{"--channels", "49"} << int(Mode::Channels) << 49.0;
        QTest::newRow("channels=") << QStringList{"--channels=353"} << int(Mode::Channels) << 353.0;
        QTest::newRow("letters") << QStringList{"--channels", "abc"} << -1 << 0.0;
        QTest::newRow("number then letters") << QStringList{"--channels", "49abc"} << -1 << 0.0;
        QTest::newRow("negative code") << QStringList{"--channels", "-49"} << -1 << 0.0;
        QTest::newRow("empty code") << QStringList{"--channels="} << -1 << 0.0;
        QTest::newRow("no code") << QStringList{"--channels"} << -1 << 0.0;
        QTest::newRow("negative device") << QStringList{"--device", "-1"} << -1 << 0.0;
        QTest::newRow("device with letters") << QStringList{"--device", "1x"} << -1 << 0.0;
        QTest::newRow("two options") << QStringList{"--device", "1", "--channels", "49"} << -1 << 0.0;
        QTest::newRow("unknown") << QStringList{"--list"} << -1 << 0.0;
        QTest::newRow("bare word") << QStringList{"49"} << -1 << 0.0;
    }

    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, mode);
        QFETCH(double, value);
        std::vector<std::string> list;
        for (const auto& argument : arguments)
            list.push_back(argument.toStdString());

        const auto parsed = parseInfoOptions(list);
        if (mode < 0) {
            const auto* complaint = std::get_if<std::string>(&parsed);
            QVERIFY(complaint);
            QVERIFY(complaint->rfind("orvex-info: ", 0) == 0);
            QVERIFY(complaint->find('\n') == std::string::npos);
            return;
        }
        const auto* options = std::get_if<InfoOptions>(&parsed);
        QVERIFY(options);
        QCOMPARE(int(options->mode), mode);
        if (options->mode == InfoOptions::Mode::Device)
            QCOMPARE(double(options->device), value);
        if (options->mode == InfoOptions::Mode::Channels)
            QCOMPARE(options->countryCode, value);
    }

    void channelListsCarryTheTestVectors()
    {
        const struct {
            double country;
            const char* label;
            const char* megahertz;
        } vectors[] = {{1, "2", "55.25"},    {1, "14", "471.25"},  {1, "83", "885.25"}, {49, "21", "471.25"},
                       {49, "E5", "175.25"}, {49, "E2", "48.25"},  {81, "1", "91.25"},  {81, "13", "471.25"}};
        for (const double country : {1.0, 49.0, 81.0}) {
            const Run run = runInfo({"--channels", QString::number(country)});
            QCOMPARE(run.exitCode, 0);
            QCOMPARE(std::size_t(run.out.size()), tv::countryFor(country)->table->channels.size());
            for (const auto& vector : vectors)
                if (vector.country == country)
                    QVERIFY2(run.out.contains(expectedLine(country, vector.label, vector.megahertz)), vector.label);
        }
    }

    void badArgumentExitsTwoWithOneLine()
    {
        const Run run = runInfo({"--channels", "abc"});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.err.count('\n'), 1);
        QVERIFY(run.err.contains("abc"));

        QCOMPARE(runInfo({"--device", "9999"}).exitCode, 2);
        QCOMPARE(runInfo({"--channels", "999"}).exitCode, 0);
    }

    void keptCamerasAreListedWithWhatTheyKeep()
    {
        QTemporaryDir config;
        const KeptCameras cameras(config.path().toStdString() + "/orvex/cameras");
        KeptSettings kept{"usb 046d:0825 port 2-1.3", "USB Camera", true, {}, {}, VideoFormat{"YUY2", 640, 480, 30, 1, false}, {}};
        kept.keep({0x00980900, ControlKind::Integer, 40, {}, "brightness"});
        QCOMPARE(cameras.save(kept), std::string());
        kept.camera = "pci 0000:03:00.0";
        QCOMPARE(cameras.save(kept), std::string());
        std::ofstream(cameras.fileOf(kept.camera), std::ios::app) << "brightness is 40\n";

        const Run run = runInfo({"--kept"}, config.path());
        QCOMPARE(run.exitCode, 0);
        for (const char* line : {"  usb 046d:0825 port 2-1.3  \"USB Camera\"", "       format YUY2 640x480 30 fps",
                                 "       brightness = 40", "  pci 0000:03:00.0  \"USB Camera\"",
                                 "       not read: line 10: \"brightness is 40\" is not a setting, not read"})
            QVERIFY2(run.out.contains(QString::fromUtf8(line)), line);
    }

    void deviceReportShowsTheTenSettingsAndTheTuner()
    {
        const std::string camera = settingsReport(fakeUvcCamera());
        QVERIFY(camera.find("Video device 0: USB 2.0 Camera\n") != std::string::npos);
        QVERIFY(camera.find("WhiteBalance                   yes    2800    6500      10    4600\n") != std::string::npos);
        QVERIFY(camera.find("Brightness                     yes     -64      64       1       0\n") != std::string::npos);
        QVERIFY(camera.find("ColorEnable                     no\n") != std::string::npos);
        QVERIFY(camera.find("TV tuner: no\n") != std::string::npos);

        const std::string card = settingsReport(fakeTvCard());
        QVERIFY(card.find("Gain                            no\n") != std::string::npos);
        QVERIFY(card.find("TV tuner: yes\n") != std::string::npos);
    }
};

QTEST_APPLESS_MAIN(OrvexInfoTest)
#include "OrvexInfoTest.moc"
