#include "FakeHardwareRig.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <chrono>

using namespace capture;
using namespace std::chrono_literals;
using controltest::FakeHardwareRig;
using controltest::whenModalOpens;

namespace {

constexpr int TvCard = 0;

// The cards' stations: US channels 2 and 14.
FakeHardwareRig tvCardWithStations()
{
    auto card = fakeTvCard();
    card.stationsMHz = {55.25, 471.25};
    return FakeHardwareRig({card});
}

std::vector<std::string> availableChannels(CaptureControl& control)
{
    std::vector<std::string> found;
    forEachItem(*control.collection(Member::TVChannels), [&](CaptureItem& item) {
        if (toInt32(item.available()) != 0)
            found.push_back(toText(item.name()));
    });
    return found;
}

struct ScanPage {
    explicit ScanPage(QDialog& dialog)
        : dialog(dialog), button(dialog.findChild<QPushButton*>("scanStations")),
          progress(dialog.findChild<QProgressBar*>("scanProgress")), status(dialog.findChild<QLabel*>("scanStatus"))
    {
    }
    bool complete() const { return button && progress && status; }

    QDialog& dialog;
    QPushButton* button;
    QProgressBar* progress;
    QLabel* status;
};

}  // namespace

class StationScanTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }

    void aScanMarksTheChannelsWithAStation()
    {
        auto rig = tvCardWithStations();
        Orvex& orvex = rig.orvex();
        rig.tuner(TvCard).setSettleDelay(0ms);
        orvex.put(Member::TVCountryCode, Value::f64(1));
        orvex.put(Member::TVChannel, Value::f64(5));
        const std::uint32_t watching = rig.frequency(TvCard);
        // Before a scan: every channel but channel 5, which is tuned and has no signal.
        QCOMPARE(availableChannels(orvex).size(), std::size_t(81));

        QString said;
        whenModalOpens([&](QDialog& dialog) {
            ScanPage page(dialog);
            [&] {
                QVERIFY(page.complete());
                QTest::mouseClick(page.button, Qt::LeftButton);
                QTRY_VERIFY(page.button->text() == "Scan for Stations" && page.progress->value() == 82);
                said = page.status->text();
            }();
            dialog.reject();
        });
        orvex.call(Member::ShowPropertyPage);

        QVERIFY2(said.startsWith("Found 2 stations on 82 channels"), qPrintable(said));
        const auto found = availableChannels(orvex);
        QCOMPARE(found.size(), std::size_t(2));
        QVERIFY(found[0].starts_with("2") && found[1].starts_with("14"));
        QCOMPARE(rig.frequency(TvCard), watching);
    }

    void aStoppedOrAbandonedScanChangesNothing()
    {
        auto rig = tvCardWithStations();
        Orvex& orvex = rig.orvex();
        // Slow enough that the stop arrives well before the end of the table.
        rig.tuner(TvCard).setSettleDelay(20ms);
        orvex.put(Member::TVCountryCode, Value::f64(1));

        QString said;
        whenModalOpens([&](QDialog& dialog) {
            ScanPage page(dialog);
            [&] {
                QVERIFY(page.complete());
                QTest::mouseClick(page.button, Qt::LeftButton);
                QTRY_VERIFY(page.progress->value() >= 1);
                QTest::mouseClick(page.button, Qt::LeftButton);
                QTRY_VERIFY(page.button->isEnabled() && page.button->text() == "Scan for Stations");
                said = page.status->text();
                QVERIFY(page.progress->value() < 82);
            }();
            dialog.reject();
        });
        orvex.call(Member::ShowPropertyPage);
        QVERIFY2(said.contains("stopped"), qPrintable(said));
        QCOMPARE(availableChannels(orvex).size(), std::size_t(82));

        // Closing the page mid-scan stops the scan before the page goes.
        whenModalOpens([&](QDialog& dialog) {
            ScanPage page(dialog);
            if (page.complete())
                QTest::mouseClick(page.button, Qt::LeftButton);
            dialog.reject();
        });
        orvex.call(Member::ShowPropertyPage);
        QCOMPARE(availableChannels(orvex).size(), std::size_t(82));
        orvex.put(Member::TVChannel, Value::f64(14));
        QCOMPARE(rig.frequency(TvCard), 7540u);
    }

    void onlyARealTunerOffersAScan()
    {
        auto rig = tvCardWithStations();
        Orvex& orvex = rig.orvex();
        orvex.put(Member::TVCountryCode, Value::f64(1));
        const int virtualTuner = controltest::indexOf(orvex, Member::VideoDevices, "Test Pattern TV Tuner");
        orvex.put(Member::VideoDevice, Value::i16(static_cast<std::int16_t>(virtualTuner)));

        bool offered = true;
        whenModalOpens([&](QDialog& dialog) {
            offered = dialog.findChild<QPushButton*>("scanStations") != nullptr;
            dialog.reject();
        });
        orvex.call(Member::ShowPropertyPage);
        QVERIFY(!offered);
    }
};

QTEST_MAIN(StationScanTest)
#include "StationScanTest.moc"
