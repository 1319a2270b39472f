#include "capture/v4l2/V4l2MappedStream.h"
#include "capture/v4l2/model/FakeV4l2Hardware.h"
#include "capture/v4l2/testing/FakeV4l2Io.h"

#include <QtTest>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

using namespace capture;

namespace {

// Every byte of frame n is (n + its position) mod 251, so a picture read from the wrong place
// or of another frame shows.
class CountingPicture final : public FakeV4l2Picture {
public:
    std::size_t draw(const FakeV4l2Device&, std::uint32_t sequence, std::span<std::uint8_t> target) override
    {
        for (std::size_t at = 0; at < target.size(); ++at)
            target[at] = std::uint8_t((sequence + at) % 251);
        return target.size();
    }
};

constexpr std::uint32_t width = 640;
constexpr std::uint32_t height = 480;
const char* const node = "/dev/video0";
constexpr auto planarApi = V4l2MappedStream::Api::MultiPlanar;

std::shared_ptr<FakeV4l2Device> addCamera(FakeV4l2Io& io, std::uint32_t dataOffset, bool planes = true)
{
    FakeV4l2Hardware hardware = planes ? multiPlanar(fakeUvcCamera()) : fakeUvcCamera();
    hardware.picture = std::make_shared<CountingPicture>();
    hardware.dataOffset = dataOffset;
    return io.add(node, std::move(hardware));
}

// The next call of `next` that is not EAGAIN, as a blocking wait on the node would give it.
int nextPicture(V4l2MappedStream& stream, const std::function<void(const V4l2Picture&)>& use)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int error;
    while ((error = stream.next(use)) == EAGAIN && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return error;
}

}  // namespace

class V4l2MappedStreamTest : public QObject {
    Q_OBJECT

private slots:
    void picturesStartAtTheDataOffset_data()
    {
        QTest::addColumn<bool>("planes");
        QTest::addColumn<std::uint32_t>("dataOffset");
        QTest::newRow("single-planar") << false << 0u;
        QTest::newRow("multi-planar") << true << 0u;
        QTest::newRow("multi-planar, vivid's 128 bytes before") << true << 128u;
    }

    void picturesStartAtTheDataOffset()
    {
        QFETCH(bool, planes);
        QFETCH(std::uint32_t, dataOffset);
        auto io = std::make_shared<FakeV4l2Io>();
        addCamera(*io, dataOffset, planes);
        {
            const auto api = planes ? planarApi : V4l2MappedStream::Api::SinglePlanar;
            V4l2MappedStream stream(io, node, api, V4L2_PIX_FMT_YUYV, width, height, v4l2_fract{1, 30});
            QCOMPARE(stream.bytesPerLine(), width * 2);
            QCOMPARE(stream.interval().denominator, 30u);
            std::int64_t lastSequence = -1;
            for (int picture = 0; picture < 3; ++picture) {
                bool whole = false;
                std::uint32_t sequence = 0;
                std::int64_t taken = -1;
                QCOMPARE(nextPicture(stream, [&](const V4l2Picture& got) {
                             sequence = got.sequence;
                             taken = got.monotonicNs;
                             whole = got.size == std::size_t(width) * height * 2 && !got.flaggedBad;
                             for (std::size_t at = 0; whole && at < got.size; ++at)
                                 whole = got.data[at] == std::uint8_t((got.sequence + at) % 251);
                         }),
                         0);
                QVERIFY2(whole, "the picture is the frame the model drew, from its first byte");
                QVERIFY(std::int64_t(sequence) > lastSequence);
                QVERIFY(taken > 0);
                lastSequence = sequence;
            }
        }
        QCOMPARE(io->openFiles(), 0);
    }

    // A decoder that sends each field in a buffer of its own: asked for the frame, it streams
    // fields of half its lines, the standard's first one first and then in turn.
    void alternateFieldsComeInTurnAtHalfHeight_data()
    {
        QTest::addColumn<bool>("planes");
        QTest::newRow("single-planar") << false;
        QTest::newRow("multi-planar") << true;
    }

    void alternateFieldsComeInTurnAtHalfHeight()
    {
        QFETCH(bool, planes);
        auto io = std::make_shared<FakeV4l2Io>();
        FakeV4l2Hardware hardware = planes ? multiPlanar(fakeTvCard()) : fakeTvCard();
        hardware.interlacedField = V4L2_FIELD_ALTERNATE;
        hardware.picture = std::make_shared<CountingPicture>();
        io->add(node, std::move(hardware));
        {
            const auto api = planes ? planarApi : V4l2MappedStream::Api::SinglePlanar;
            V4l2MappedStream stream(io, node, api, V4L2_PIX_FMT_YUYV, 720, 576, v4l2_fract{0, 0});
            QVERIFY(stream.alternateFields());
            std::vector<std::uint32_t> fields;
            for (int picture = 0; picture < 4; ++picture)
                QCOMPARE(nextPicture(stream, [&](const V4l2Picture& got) {
                             QCOMPARE(got.size, std::size_t(720) * 2 * 288);
                             fields.push_back(got.sequence % 2 == 0 ? got.field : 0);
                             fields.push_back(got.sequence % 2 == 1 ? got.field : 0);
                         }),
                         0);
            QVERIFY(std::count(fields.begin(), fields.end(), std::uint32_t(V4L2_FIELD_TOP)) > 0);
            for (std::size_t at = 0; at < fields.size(); at += 2)
                QVERIFY(fields[at] == 0 || fields[at] == V4L2_FIELD_TOP);  // even sequences: PAL's top field
            for (std::size_t at = 1; at < fields.size(); at += 2)
                QVERIFY(fields[at] == 0 || fields[at] == V4L2_FIELD_BOTTOM);
        }
        QCOMPARE(io->openFiles(), 0);
    }

    void refusesAFormatTheNodeDoesNotSend()
    {
        auto io = std::make_shared<FakeV4l2Io>();
        addCamera(*io, 0);
        try {
            V4l2MappedStream stream(io, node, planarApi, V4L2_PIX_FMT_NV12, width, height, v4l2_fract{0, 0});
            QFAIL("a stream was made in a format the node lacks");
        } catch (const V4l2StreamError& error) {
            QCOMPARE(error.error(), EINVAL);
        }
        QCOMPARE(io->openFiles(), 0);
    }

    // A USB camera with room for YUYV 640x480 at 15 fps only: at 30 fps the stream start
    // finds no bandwidth, as uvcvideo's does.
    void aStreamBeyondTheUsbConnectionsRoomIsRefused_data()
    {
        QTest::addColumn<std::uint32_t>("fps");
        QTest::addColumn<int>("error");
        QTest::newRow("fits") << 15u << 0;
        QTest::newRow("too much") << 30u << ENOSPC;
    }

    void aStreamBeyondTheUsbConnectionsRoomIsRefused()
    {
        QFETCH(std::uint32_t, fps);
        QFETCH(int, error);
        auto io = std::make_shared<FakeV4l2Io>();
        FakeV4l2Hardware hardware = fakeUvcCamera();
        hardware.usbBytesPerSecond = width * height * 2 * 15;
        io->add(node, std::move(hardware));
        int answered = 0;
        try {
            V4l2MappedStream stream(io, node, V4l2MappedStream::Api::SinglePlanar, V4L2_PIX_FMT_YUYV, width, height,
                                    v4l2_fract{1, fps});
        } catch (const V4l2StreamError& refused) {
            answered = refused.error();
        }
        QCOMPARE(answered, error);
        QCOMPARE(io->openFiles(), 0);
    }

    void anUnpluggedDeviceEndsTheStream()
    {
        auto io = std::make_shared<FakeV4l2Io>();
        auto device = addCamera(*io, 128);
        V4l2MappedStream stream(io, node, planarApi, V4L2_PIX_FMT_YUYV, width, height, v4l2_fract{0, 0});
        device->unplug();
        QCOMPARE(nextPicture(stream, [](const V4l2Picture&) {}), ENODEV);
    }
};

QTEST_APPLESS_MAIN(V4l2MappedStreamTest)
#include "V4l2MappedStreamTest.moc"
