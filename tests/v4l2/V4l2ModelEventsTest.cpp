#include "tests/support/kernel/FakeV4l2Hardware.h"

#include <QtTest>

using namespace capture;

namespace {

constexpr int setter = 1;
constexpr int watcher = 2;

int subscribe(FakeV4l2Device& device, int file, std::uint32_t id, std::uint32_t flags = 0)
{
    v4l2_event_subscription subscription{};
    subscription.type = V4L2_EVENT_CTRL;
    subscription.id = id;
    subscription.flags = flags;
    return device.handle(file, VIDIOC_SUBSCRIBE_EVENT, &subscription);
}

int set(FakeV4l2Device& device, int file, std::uint32_t id, std::int32_t value)
{
    v4l2_control control{id, value};
    return device.handle(file, VIDIOC_S_CTRL, &control);
}

}  // namespace

// What v4l2-compliance does not exercise: events raised by a change, between open files.
class V4l2ModelEventsTest : public QObject {
    Q_OBJECT

private slots:
    void aChangeReachesTheOtherFilesSubscribed()
    {
        FakeV4l2Device device(fakeUvcCamera());
        QCOMPARE(subscribe(device, watcher, V4L2_CID_BRIGHTNESS), 0);
        QCOMPARE(subscribe(device, setter, V4L2_CID_BRIGHTNESS), 0);
        QCOMPARE(set(device, setter, V4L2_CID_BRIGHTNESS, 20), 0);
        QCOMPARE(set(device, setter, V4L2_CID_BRIGHTNESS, 30), 0);
        QCOMPARE(set(device, setter, V4L2_CID_BRIGHTNESS, 30), 0);  // unchanged: no event

        // The two changes were merged into one event with the newest value; the file that made
        // them, which did not ask for its own changes back, got none.
        v4l2_event event{};
        QCOMPARE(device.handle(watcher, VIDIOC_DQEVENT, &event), 0);
        QCOMPARE(event.id, std::uint32_t(V4L2_CID_BRIGHTNESS));
        QCOMPARE(event.u.ctrl.changes, std::uint32_t(V4L2_EVENT_CTRL_CH_VALUE));
        QCOMPARE(event.u.ctrl.value, 30);
        QCOMPARE(event.pending, 0u);
        QCOMPARE(device.handle(watcher, VIDIOC_DQEVENT, &event), ENOENT);
        QVERIFY(!device.eventPending(setter));

        // Asked for, the setter's own change comes back; closing the file drops what is pending.
        QCOMPARE(subscribe(device, setter, V4L2_CID_BRIGHTNESS, V4L2_EVENT_SUB_FL_ALLOW_FEEDBACK), 0);
        QCOMPARE(set(device, setter, V4L2_CID_BRIGHTNESS, 10), 0);
        QVERIFY(device.eventPending(setter));
        device.closed(setter);
        QVERIFY(!device.eventPending(setter));
    }

    void switchingAnAutomaticModeChangesTheManualControlsFlags()
    {
        FakeV4l2Device device(fakeUvcCamera());
        QCOMPARE(subscribe(device, watcher, V4L2_CID_WHITE_BALANCE_TEMPERATURE), 0);
        QCOMPARE(set(device, setter, V4L2_CID_AUTO_WHITE_BALANCE, 0), 0);

        v4l2_event event{};
        QCOMPARE(device.handle(watcher, VIDIOC_DQEVENT, &event), 0);
        QCOMPARE(event.id, std::uint32_t(V4L2_CID_WHITE_BALANCE_TEMPERATURE));
        QCOMPARE(event.u.ctrl.changes, std::uint32_t(V4L2_EVENT_CTRL_CH_FLAGS));
        QCOMPARE(event.u.ctrl.flags & V4L2_CTRL_FLAG_INACTIVE, 0u);
    }

    void theDecoderDetectsTheStandardOnlyWithAPicture()
    {
        FakeV4l2Hardware hw = fakeTvCard();
        hw.stationsMHz = {175.25};
        FakeV4l2Device device(std::move(hw));
        v4l2_std_id detected = V4L2_STD_ALL;
        QCOMPARE(device.handle(setter, VIDIOC_QUERYSTD, &detected), 0);
        QCOMPARE(detected, v4l2_std_id(V4L2_STD_UNKNOWN));  // the tuner sits on an empty channel

        v4l2_frequency station{};
        station.type = V4L2_TUNER_ANALOG_TV;
        station.frequency = 2804;  // 175.25 MHz in 62.5 kHz units
        QCOMPARE(device.handle(setter, VIDIOC_S_FREQUENCY, &station), 0);
        QCOMPARE(device.handle(setter, VIDIOC_QUERYSTD, &detected), 0);
        QCOMPARE(detected, device.standard());
    }
};

QTEST_APPLESS_MAIN(V4l2ModelEventsTest)
#include "V4l2ModelEventsTest.moc"
