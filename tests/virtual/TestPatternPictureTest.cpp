#include "PictureProbe.h"

#include "capture/devices/virtual/SettingProfile.h"
#include "capture/devices/virtual/Snow.h"
#include "capture/devices/virtual/TestPatternPicture.h"
#include "capture/devices/CameraSettings.h"
#include "capture/devices/virtual/VirtualControls.h"

#include <QtTest>

#include <optional>

using namespace capture;
using namespace picture;

namespace {

// A built-in device's controls with the ten settings mapped over them.
struct ProfileSettings {
    explicit ProfileSettings(SettingProfile profile) : controls(std::move(profile)) {}
    SettingRange range(Member property) { return map.range(property); }
    SettingWrite set(Member property, std::int32_t value) { return map.set(property, value); }
    VirtualControls::Snapshot snapshot() const { return controls.snapshot(); }

    VirtualControls controls;
    CameraSettings map{controls};
};

QImage frameOf(const PictureAdjustments& adjustments, int width = 640, int height = 480,
               std::optional<int> caption = std::nullopt, std::uint64_t frame = 0)
{
    TestPatternPicture pattern(width, height);
    pattern.render(adjustments, caption);
    QImage image(width, height, QImage::Format_RGB32);
    pattern.paintFrame(frame, image.bits(), int(image.bytesPerLine()));
    return image;
}

QImage frameOf(const ProfileSettings& settings)
{
    return frameOf(settings.snapshot().adjustments);
}

SettingProfile profileNamed(const QString& name)
{
    return name == "webcam" ? webcamProfile() : tvDecoderProfile();
}

// The top three quarters hold the bars; the ramp and the strip follow.
QRect barsArea(const QImage& image)
{
    return QRect(0, 0, image.width(), image.height() * 3 / 4);
}

}  // namespace

class TestPatternPictureTest : public QObject {
    Q_OBJECT

private slots:
    void barsAreExactAtDefaults_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QSize>("size");
        QTest::newRow("webcam 640x480") << "webcam" << QSize(640, 480);
        QTest::newRow("webcam 1280x720") << "webcam" << QSize(1280, 720);
        QTest::newRow("webcam 320x240") << "webcam" << QSize(320, 240);
        QTest::newRow("decoder 720x576") << "decoder" << QSize(720, 576);
    }

    void barsAreExactAtDefaults()
    {
        QFETCH(QString, profile);
        QFETCH(QSize, size);
        const ProfileSettings settings(profileNamed(profile));
        const QImage image = frameOf(settings.snapshot().adjustments, size.width(), size.height());
        const QRgb expected[8] = {qRgb(255, 255, 255), qRgb(255, 255, 0), qRgb(0, 255, 255), qRgb(0, 255, 0),
                                  qRgb(255, 0, 255),   qRgb(255, 0, 0),   qRgb(0, 0, 255),   qRgb(0, 0, 0)};
        for (int bar = 0; bar < 8; ++bar) {
            const int x = (2 * bar + 1) * size.width() / 16;
            for (int y : {size.height() / 8, size.height() / 2, size.height() * 2 / 3})
                QCOMPARE(image.pixel(x, y), expected[bar]);
        }
    }

    void brightnessAtItsMaximumRaisesMeanLuma_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::newRow("webcam") << "webcam";
        QTest::newRow("decoder") << "decoder";
    }

    void brightnessAtItsMaximumRaisesMeanLuma()
    {
        QFETCH(QString, profile);
        ProfileSettings settings(profileNamed(profile));
        const double before = meanLuma(frameOf(settings));
        settings.set(Member::Brightness, settings.range(Member::Brightness).max);
        QVERIFY2(meanLuma(frameOf(settings)) > before + 20, qPrintable(QString::number(meanLuma(frameOf(settings)) - before)));
        settings.set(Member::Brightness, settings.range(Member::Brightness).min);
        QVERIFY(meanLuma(frameOf(settings)) < before - 20);
    }

    void saturationMinimumAndColourOffGiveGrey()
    {
        ProfileSettings webcam(webcamProfile());
        QVERIFY(!isGrey(frameOf(webcam), barsArea(frameOf(webcam))));
        webcam.set(Member::Saturation, webcam.range(Member::Saturation).min);
        QVERIFY(isGrey(frameOf(webcam), frameOf(webcam).rect()));

        ProfileSettings colourOff(webcamProfile());
        colourOff.set(Member::ColorEnable, 0);
        const QImage grey = frameOf(colourOff);
        QVERIFY(isGrey(grey, grey.rect()));
        // Grey, not black: the bars keep their brightness order.
        QVERIFY(luma(grey.pixel(40, 100)) > luma(grey.pixel(600, 100)) + 200);

        ProfileSettings decoder(tvDecoderProfile());
        decoder.set(Member::Saturation, 0);
        QVERIFY(isGrey(frameOf(decoder), frameOf(decoder).rect()));
    }

    void everySettingChangesThePicture_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("property");
        QTest::addColumn<bool>("toMaximum");
        for (const QString profile : {"webcam", "decoder"}) {
            const ProfileSettings settings(profileNamed(profile));
            for (Member property : cameraProperties) {
                const SettingRange range = ProfileSettings(profileNamed(profile)).range(property);
                if (!range.supported)
                    continue;
                // Every end away from the default must show; a default at an end has one.
                if (range.value != range.min)
                    QTest::addRow("%s %s min", qPrintable(profile), memberName(property).data())
                        << profile << number(property) << false;
                if (range.value != range.max)
                    QTest::addRow("%s %s max", qPrintable(profile), memberName(property).data())
                        << profile << number(property) << true;
            }
        }
    }

    void everySettingChangesThePicture()
    {
        QFETCH(QString, profile);
        QFETCH(int, property);
        QFETCH(bool, toMaximum);
        ProfileSettings settings(profileNamed(profile));
        const Member member = Member(property);
        const QImage neutral = frameOf(settings);
        const SettingRange range = settings.range(member);
        settings.set(member, toMaximum ? range.max : range.min);
        const QImage changed = frameOf(settings);
        // A first frame, its still part rendered in place, is the frame the kept one gives.
        QImage inPlace(changed.size(), QImage::Format_RGB32);
        TestPatternPicture(inPlace.width(), inPlace.height(), TestPatternPicture::Unrendered{})
            .paintFrameRendering(0, settings.snapshot().adjustments, inPlace.bits(), int(inPlace.bytesPerLine()));
        QCOMPARE(inPlace, changed);
        // Visible: at least 1% of the pixels, by more than a rounding step somewhere.
        QVERIFY2(differingPixels(neutral, changed) > neutral.width() * neutral.height() / 100,
                 qPrintable(QString::number(differingPixels(neutral, changed))));
        int largest = 0;
        for (int y = 0; y < neutral.height(); y += 3)
            for (int x = 0; x < neutral.width(); ++x)
                largest = std::max(largest, colourDistance(neutral.pixel(x, y), changed.pixel(x, y)));
        QVERIFY2(largest >= 16, qPrintable(QString::number(largest)));
    }

    void theDecoderOffersFourSettingsOnly()
    {
        ProfileSettings decoder(tvDecoderProfile());
        int supported = 0;
        for (Member property : cameraProperties) {
            const bool offered = decoder.range(property).supported;
            supported += offered;
            const bool expected = property == Member::Brightness || property == Member::Contrast ||
                                  property == Member::Hue || property == Member::Saturation;
            QCOMPARE(offered, expected);
            if (!offered)
                QCOMPARE(decoder.set(property, 1), SettingWrite::Unsupported);
        }
        QCOMPARE(supported, 4);
        QCOMPARE(decoder.range(Member::Start).supported, false);
    }

    void theMarkerMovesAndTheBarsStay()
    {
        const QImage first = frameOf(PictureAdjustments{}, 640, 480, std::nullopt, 0);
        const QImage later = frameOf(PictureAdjustments{}, 640, 480, std::nullopt, 15);
        const int stripTop = 480 * 17 / 20;
        QCOMPARE(first.copy(0, 0, 640, stripTop), later.copy(0, 0, 640, stripTop));
        QVERIFY(first.copy(0, stripTop, 640, 480 - stripTop) != later.copy(0, stripTop, 640, 480 - stripTop));
        // It sweeps back rather than running off the picture.
        for (std::uint64_t frame : {0ull, 50ull, 99ull, 1000ull, 123456789ull}) {
            const QImage image = frameOf(PictureAdjustments{}, 320, 240, std::nullopt, frame);
            int marker = 0;
            for (int y = 240 * 17 / 20; y < 240; ++y)
                for (int x = 0; x < 320; ++x)
                    marker += image.pixel(x, y) == qRgb(255, 255, 255);
            QVERIFY2(marker >= 20 * 20, qPrintable(QString::number(frame)));
        }
    }

    void aStationsNumberIsDrawnOnItsPicture()
    {
        const QImage plain = frameOf(PictureAdjustments{});
        const QImage five = frameOf(PictureAdjustments{}, 640, 480, 5);
        const QImage twentyOne = frameOf(PictureAdjustments{}, 640, 480, 21);
        const QImage twentySeven = frameOf(PictureAdjustments{}, 640, 480, 27);
        QVERIFY(differingPixels(plain, five) > 640 * 480 / 20);
        QVERIFY(differingPixels(five, twentyOne) > 1000);
        QVERIFY(differingPixels(twentyOne, twentySeven) > 500);  // same tens, different units
        // Drawn over the middle of the bars: the corners keep their colours.
        QCOMPARE(five.pixel(10, 10), plain.pixel(10, 10));
        QCOMPARE(five.pixel(630, 10), plain.pixel(630, 10));
    }

    void snowIsNoisyAndNewEveryFrame()
    {
        Snow snow;
        QImage first(320, 240, QImage::Format_RGB32);
        QImage second(320, 240, QImage::Format_RGB32);
        snow.paint(first.bits(), int(first.bytesPerLine()), 320, 240);
        snow.paint(second.bits(), int(second.bytesPerLine()), 320, 240);
        QVERIFY(isGrey(first, first.rect()));
        QVERIFY(grain(first) > 3000);  // uniform noise: about 5460
        QVERIFY(std::abs(meanLuma(first) - 127.5) < 5);
        QVERIFY(differingPixels(first, second) > 320 * 240 * 9 / 10);
        // Far above a station's picture, which is how a station is told from noise.
        QVERIFY(grain(frameOf(PictureAdjustments{}, 320, 240, 21)) < 300);
    }

    void snowFollowsBrightness()
    {
        Snow snow;
        QImage image(160, 120, QImage::Format_RGB32);
        snow.paint(image.bits(), int(image.bytesPerLine()), 160, 120);
        const double before = meanLuma(image);
        PictureAdjustments brighter;
        brighter.brightness = 60;
        snow.setAdjustments(brighter);
        snow.paint(image.bits(), int(image.bytesPerLine()), 160, 120);
        QVERIFY(meanLuma(image) > before + 30);
    }

    void framesFollowTheStrideTheyAreGiven()
    {
        // Buffers may pad their lines; nothing may be written into the padding, whether the
        // still part is copied in or rendered in place.
        const int stride = 100 * 4 + 64;
        for (const bool inPlace : {false, true}) {
            TestPatternPicture pattern(100, 50);
            std::vector<std::uint8_t> memory(std::size_t(stride) * 50, 0xab);
            if (inPlace)
                pattern.paintFrameRendering(3, PictureAdjustments{.sharpness = 1}, memory.data(), stride);
            else
                pattern.paintFrame(3, memory.data(), stride);
            for (int y = 0; y < 50; ++y) {
                for (int pad = 400; pad < stride; ++pad)
                    QCOMPARE(memory[std::size_t(y) * stride + pad], std::uint8_t(0xab));
            }
            QCOMPARE(memory[0], std::uint8_t(255));  // white bar, blue byte
        }
    }
};

QTEST_MAIN(TestPatternPictureTest)
#include "TestPatternPictureTest.moc"
