#include "ControlRig.h"

#include "capture/control/OrvexCore.h"
#include "capture/pages/ControlPropertyPage.h"
#include "capture/devices/EncoderCatalogueCache.h"
#include "capture/devices/EncoderTrial.h"
#include "capture/gst/GstHandle.h"
#include "capture/pages/EncoderPropertyPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

using namespace capture;

namespace {

bool lists(const std::vector<EncoderInfo>& encoders, const std::string& longName, const std::string& factory)
{
    return std::any_of(encoders.begin(), encoders.end(), [&](const EncoderInfo& encoder) {
        return encoder.longName == longName && encoder.factory == factory;
    });
}

}  // namespace

class EncoderAndPagesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }
    void catalogueListsWhatTheMuxerTakes();
    void trialsAreKeptAndABrokenCacheIsTriedAgain();
    void aKeptCatalogueHoldsUntilWhatItWasMadeFromChanges_data();
    void aKeptCatalogueHoldsUntilWhatItWasMadeFromChanges();
    void encoderPageEditsByTypeAndKeepsOnlyChanges();
    void encoderPageSettingsGoToTheNextRecording();
    void controlPageMovesCameraSettingsLive();
};

void EncoderAndPagesTest::catalogueListsWhatTheMuxerTakes()
{
    const EncoderCatalogue catalogue = EncoderCatalogue::fromRegistry();
    QVERIFY(lists(catalogue.video, "JPEG image encoder", "jpegenc"));
    QVERIFY(lists(catalogue.video, "x264 H.264 Encoder", "x264enc"));
    QVERIFY(lists(catalogue.audio, "L.A.M.E. mp3 encoder", "lamemp3enc"));
    QVERIFY(!lists(catalogue.audio, "JPEG image encoder", "jpegenc"));
    QVERIFY(!lists(catalogue.video, "L.A.M.E. mp3 encoder", "lamemp3enc"));
    // Opus and Vorbis have no place in an AVI file.
    QVERIFY(std::none_of(catalogue.audio.begin(), catalogue.audio.end(),
                         [](const EncoderInfo& e) { return e.factory == "opusenc" || e.factory == "vorbisenc"; }));
    auto byName = [](const EncoderInfo& a, const EncoderInfo& b) { return a.longName < b.longName; };
    QVERIFY(std::is_sorted(catalogue.video.begin(), catalogue.video.end(), byName));
    QVERIFY(std::is_sorted(catalogue.audio.begin(), catalogue.audio.end(), byName));
    // The windows pick by name, so no two encoders may share one.
    auto sameName = [](const EncoderInfo& a, const EncoderInfo& b) { return a.longName == b.longName; };
    QVERIFY(std::adjacent_find(catalogue.audio.begin(), catalogue.audio.end(), sameName) == catalogue.audio.end());
    QVERIFY(std::adjacent_find(catalogue.video.begin(), catalogue.video.end(), sameName) == catalogue.video.end());
    QCOMPARE(EncoderCatalogue::fromRegistry().video.size(), catalogue.video.size());
    // No name says a word twice ("... video encoder encoder").
    static const QRegularExpression repeated(QStringLiteral(R"(\b(\w+) \1\b)"));
    for (const auto* list : {&catalogue.video, &catalogue.audio})
        for (const EncoderInfo& encoder : *list)
            QVERIFY2(!repeated.match(QString::fromStdString(encoder.longName)).hasMatch(), encoder.longName.c_str());
}

// A kept trial is believed (an encoder it refused is not offered, and no trial runs for it);
// lines cut short or not ours are passed over, and what is tried anew is kept whole.
void EncoderAndPagesTest::trialsAreKeptAndABrokenCacheIsTriedAgain()
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("cache/encoder-trials.tsv"));
    GstHandle<GstElementFactory> jpeg(gst_element_factory_find("jpegenc"));
    const std::string jpegKey = trialKey(jpeg.get());
    GstHandle<GstElementFactory> x264(gst_element_factory_find("x264enc"));
    const std::string x264Key = trialKey(x264.get());
    QVERIFY(QDir().mkpath(folder.filePath(QStringLiteral("cache"))));
    {
        // The trials the suite ran first, so that only x264 is tried again here.
        QFile suite(EncoderTrialCache::defaultFile());
        QByteArray lines = suite.open(QIODevice::ReadOnly) ? suite.readAll() : QByteArray();
        QFile stored(file);
        QVERIFY(stored.open(QIODevice::WriteOnly));
        for (const QByteArray& line : lines.split('\n'))
            if (!line.startsWith(QByteArray::fromStdString(jpegKey)) && !line.startsWith(QByteArray::fromStdString(x264Key)))
                stored.write(line + '\n');
        stored.write(QByteArray::fromStdString(jpegKey) + "\trefused\tsaid so by the test\n" +
                     QByteArray::fromStdString(x264Key) + "\toffered\n"  // cut short
                     "\xff\xfe not ours at all\n");
    }
    const EncoderCatalogue catalogue = EncoderCatalogue::fromRegistry(EncoderTrialCache(file));
    QVERIFY(!lists(catalogue.video, "JPEG image encoder", "jpegenc"));
    QVERIFY(std::any_of(catalogue.leftOut.begin(), catalogue.leftOut.end(), [](const EncoderLeftOut& left) {
        return left.factory == "jpegenc" && left.reason == "said so by the test";
    }));

    const EncoderTrialCache kept(file);
    QCOMPARE(kept.find(jpegKey)->reason, std::string("said so by the test"));
    QVERIFY(kept.find(x264Key));  // tried again, and kept
}

void EncoderAndPagesTest::aKeptCatalogueHoldsUntilWhatItWasMadeFromChanges_data()
{
    QTest::addColumn<QString>("change");  // a file under the scratch folder, and what is added to it
    QTest::addColumn<bool>("pluginsNamedInTheEnvironment");
    QTest::addColumn<bool>("kept");
    QTest::newRow("nothing changed") << QString() << false << true;
    QTest::newRow("the registry written again") << "home/.cache/gstreamer-1.0/registry.test.bin=more" << false << false;
    QTest::newRow("a plugin of the user's own") << "home/.local/share/gstreamer-1.0/plugins/libgstnew.so=" << false
                                                << false;
    QTest::newRow("a system plugin replaced") << "system/libgstfoo.so=rebuilt" << false << false;
    QTest::newRow("encoders tried again") << "trials.tsv=x264enc\toffered\t" << false << false;
    QTest::newRow("plugins named in the environment") << QString() << true << false;
}

// Kept with the state of the registry, the plugins and the trials it was made from, and believed
// only while all three are as they were.
void EncoderAndPagesTest::aKeptCatalogueHoldsUntilWhatItWasMadeFromChanges()
{
    QFETCH(QString, change);
    QFETCH(bool, pluginsNamedInTheEnvironment);
    QTemporaryDir scratch;
    auto append = [&](const QString& fileAndText) {
        const QString path = scratch.filePath(fileAndText.section('=', 0, 0));
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write(fileAndText.section('=', 1).toUtf8());
    };
    for (const char* made : {"home/.cache/gstreamer-1.0/registry.test.bin=registry", "system/libgstfoo.so=plugin",
                             "trials.tsv=jpegenc\toffered\t\n"})
        append(QString::fromUtf8(made));
    RegistryPlace place{[&](const char* name) -> std::optional<std::string> {
                            if (std::string(name) == "HOME")
                                return scratch.filePath(QStringLiteral("home")).toStdString();
                            if (std::string(name) == "GST_PLUGIN_PATH" && pluginsNamedInTheEnvironment)
                                return scratch.filePath(QStringLiteral("more")).toStdString();
                            return std::nullopt;
                        },
                        scratch.filePath(QStringLiteral("system")).toStdString(), "registry.test.bin"};
    const EncoderCatalogueCache cache(scratch.filePath(QStringLiteral("catalogue.tsv")),
                                      scratch.filePath(QStringLiteral("trials.tsv")), place);
    EncoderCatalogue catalogue;
    catalogue.video = {{"jpegenc", "JPEG image encoder", {}},
                       {"avenc_dvvideo", "DV, 720x480, 720x576 only", {{720, 480}, {720, 576}}}};
    catalogue.audio = {{"lamemp3enc", "L.A.M.E. mp3 encoder", {}}};
    catalogue.leftOut = {{"mpeg2enc", "2.7 frames a second"}};
    QCOMPARE(cache.save(catalogue), !pluginsNamedInTheEnvironment);

    if (!change.isEmpty())
        append(change);
    const std::optional<EncoderCatalogue> kept = cache.load();
    QTEST(kept.has_value(), "kept");
    if (!kept)
        return;
    auto entries = [](const EncoderCatalogue& c) {
        QStringList lines;
        for (const auto* list : {&c.video, &c.audio})
            for (const EncoderInfo& e : *list)
                lines << QString::fromStdString(e.factory + "|" + e.longName + "|" + sizesText(e.sizes));
        for (const EncoderLeftOut& left : c.leftOut)
            lines << QString::fromStdString(left.factory + "|" + left.reason);
        return lines;
    };
    QCOMPARE(entries(*kept), entries(catalogue));
}

void EncoderAndPagesTest::encoderPageEditsByTypeAndKeepsOnlyChanges()
{
    QVERIFY(EncoderPropertyPage::hasEditableProperties("x264enc"));
    QVERIFY(!EncoderPropertyPage::hasEditableProperties("no-such-encoder"));

    EncoderPropertyPage untouched("x264enc", {});
    QCOMPARE(untouched.settings(), EncoderSettings{});
    QVERIFY(untouched.findChild<QSpinBox*>("bitrate"));
    QVERIFY(untouched.findChild<QComboBox*>("speed-preset"));
    QVERIFY(untouched.findChild<QCheckBox*>("byte-stream"));
    QVERIFY(!untouched.findChild<QWidget*>("name"));

    EncoderPropertyPage page("x264enc", {{"bitrate", "900"}});
    auto* bitrate = page.findChild<QSpinBox*>("bitrate");
    QCOMPARE(bitrate->value(), 900);
    page.findChild<QComboBox*>("speed-preset")->setCurrentIndex(1);
    page.findChild<QCheckBox*>("byte-stream")->toggle();
    const EncoderSettings changed = page.settings();
    QCOMPARE(changed.at("bitrate"), std::string("900"));
    QCOMPARE(changed.at("speed-preset"), std::string("ultrafast"));
    QVERIFY(changed.count("byte-stream"));
    QCOMPARE(changed.size(), size_t(3));

    // What the page hands back is what the encoder itself takes.
    ElementPtr encoder(gst_element_factory_make("x264enc", nullptr));
    for (const auto& [property, value] : changed)
        gst_util_set_object_arg(G_OBJECT(encoder.get()), property.c_str(), value.c_str());
    guint rate = 0;
    g_object_get(encoder.get(), "bitrate", &rate, nullptr);
    QCOMPARE(rate, 900u);
}

void EncoderAndPagesTest::encoderPageSettingsGoToTheNextRecording()
{
    auto orvex = controltest::virtualOrvex();
    const int jpeg = controltest::indexOf(*orvex, Member::VideoCompressors, "JPEG image encoder");
    controltest::whenModalOpens([](QDialog& page) {
        page.findChild<QSpinBox*>("quality")->setValue(50);
        page.accept();
    });
    QCOMPARE(orvex->collection(Member::VideoCompressors)->showItemPropertyPage(Value::i16(jpeg)),
             Value::boolean(true));
    QCOMPARE(orvex->core().encoderSettings("jpegenc"), (EncoderSettings{{"quality", "50"}}));

    // Cancelling keeps what was there.
    controltest::whenModalOpens([](QDialog& page) {
        page.findChild<QSpinBox*>("quality")->setValue(10);
        page.reject();
    });
    orvex->collection(Member::VideoCompressors)->showItemPropertyPage(Value::i16(jpeg));
    QCOMPARE(orvex->core().encoderSettings("jpegenc"), (EncoderSettings{{"quality", "50"}}));

    orvex->put(Member::VideoCompressor, Value::i16(jpeg));
    orvex->put(Member::UseVideoCompressor, Value::i16(1));
    const CaptureRequest request = orvex->core().captureRequest();
    QCOMPARE(request.videoEncoder->properties, (EncoderSettings{{"quality", "50"}}));
}

void EncoderAndPagesTest::controlPageMovesCameraSettingsLive()
{
    QTemporaryDir config;
    const QByteArray configBefore = qgetenv("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", configBefore); });
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    auto orvex = controltest::virtualOrvex();
    bool sawPage = false;
    controltest::whenModalOpens([&](QDialog& page) {
        sawPage = true;
        // Nine sliders and the colour killer's switch.
        QCOMPARE(page.findChildren<QSlider*>().size(), 9);
        QVERIFY(page.findChild<QCheckBox*>("color_killer"));
        page.findChild<QCheckBox*>("keepSettings")->setChecked(true);
        auto* brightness = page.findChild<QSlider*>("brightness");
        brightness->setValue(brightness->maximum());
        QVERIFY(page.findChild<QLabel*>("framesCaptured"));
        page.reject();
    });
    QCOMPARE(orvex->call(Member::ShowPropertyPage), Value());
    QVERIFY(sawPage);
    const RangeNumbering numbering = rangeNumbering(Member::Brightness);
    auto range = orvex->cameraProperty(Member::Brightness);
    QCOMPARE(range->get(numbering.value), range->get(numbering.max));

    // The camera kept it: the next control starts it with that brightness, until it is forgotten.
    for (const bool kept : {true, false}) {
        auto next = controltest::virtualOrvex();
        auto nextRange = next->cameraProperty(Member::Brightness);
        QCOMPARE(nextRange->get(numbering.value) == nextRange->get(numbering.max), kept);
        controltest::whenModalOpens([&](QDialog& page) {
            QCOMPARE(page.findChild<QCheckBox*>("keepSettings")->isChecked(), kept);
            page.findChild<QPushButton*>("forgetCamera")->click();
            page.reject();
        });
        next->call(Member::ShowPropertyPage);
    }

    // The tuner's page offers its four decoder settings only.
    orvex->put(Member::VideoDevice, Value::i16(1));
    int sliders = 0;
    controltest::whenModalOpens([&](QDialog& page) {
        sliders = static_cast<int>(page.findChildren<QSlider*>().size());
        page.reject();
    });
    orvex->call(Member::ShowPropertyPage);
    QCOMPARE(sliders, 4);
}

QTEST_MAIN(EncoderAndPagesTest)
#include "EncoderAndPagesTest.moc"
