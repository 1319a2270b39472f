#include "EmulatedCards.h"

#include <QtTest>

#include <poll.h>
#include <sys/select.h>

using emulatedcards::EmulatedCards;

namespace {

enum class Wait { Poll, Ppoll, Select, Pselect };

// Whether the wait reports `fd` exceptional (an event to dequeue), without waiting for it.
bool reportsEvent(Wait wait, int fd)
{
    pollfd entry{fd, POLLPRI, 0};
    const timespec now{};
    fd_set exceptional;
    FD_ZERO(&exceptional);
    FD_SET(fd, &exceptional);
    timeval none{};
    switch (wait) {
    case Wait::Poll:
        return poll(&entry, 1, 0) == 1 && (entry.revents & POLLPRI);
    case Wait::Ppoll:
        return ppoll(&entry, 1, &now, nullptr) == 1 && (entry.revents & POLLPRI);
    case Wait::Select:
        return select(fd + 1, nullptr, nullptr, &exceptional, &none) == 1 && FD_ISSET(fd, &exceptional);
    case Wait::Pselect:
        return pselect(fd + 1, nullptr, nullptr, &exceptional, &now, nullptr) == 1 && FD_ISSET(fd, &exceptional);
    }
    return false;
}

}  // namespace

// The node's descriptor is a timerfd, which reports frames by itself; a pending control event
// is what the emulator's wait entry points add.
class EmulatedEventsTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        if (!emulatedcards::emulatorPreloaded())
            QFAIL("Run through ctest, or under scripts/with-emulated-devices.sh: the emulated cards need the emulator preloaded.");
    }

    void aPendingEventMakesTheNodeExceptional_data()
    {
        QTest::addColumn<Wait>("wait");
        QTest::newRow("poll") << Wait::Poll;
        QTest::newRow("ppoll") << Wait::Ppoll;
        QTest::newRow("select") << Wait::Select;
        QTest::newRow("pselect") << Wait::Pselect;
    }

    void aPendingEventMakesTheNodeExceptional()
    {
        QFETCH(Wait, wait);
        EmulatedCards cards;
        const int fd = ::open(EmulatedCards::path(0).toLocal8Bit().constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QVERIFY(!reportsEvent(wait, fd));

        v4l2_event_subscription subscription{};
        subscription.type = V4L2_EVENT_CTRL;
        subscription.id = V4L2_CID_BRIGHTNESS;
        subscription.flags = V4L2_EVENT_SUB_FL_SEND_INITIAL;
        QCOMPARE(ioctl(fd, VIDIOC_SUBSCRIBE_EVENT, &subscription), 0);
        QVERIFY(reportsEvent(wait, fd));

        v4l2_event event{};
        QCOMPARE(ioctl(fd, VIDIOC_DQEVENT, &event), 0);
        QVERIFY(!reportsEvent(wait, fd));
        ::close(fd);
    }
};

QTEST_GUILESS_MAIN(EmulatedEventsTest)
#include "EmulatedEventsTest.moc"
