#include "capture/v4l2/V4l2MappedStream.h"
#include "capture/v4l2/V4l2PictureCopy.h"
#include "tests/support/emulator/EmulatedPictures.h"
#include "tests/support/kernel/FakeV4l2Hardware.h"
#include "tests/support/kernel/FakeV4l2Io.h"
#include "tests/virtual/PictureProbe.h"

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

// The luma of a 720x576 YUYV frame that the two fields of a picture were woven into, bottom
// first or top first as stored.
QImage wovenLuma(const V4l2Picture& picture, bool bottomFirst)
{
    GstVideoInfo info;
    gst_video_info_set_interlaced_format(&info, GST_VIDEO_FORMAT_YUY2, GST_VIDEO_INTERLACE_MODE_INTERLEAVED, 720, 576);
    GstBuffer* frame = gst_buffer_new_allocate(nullptr, info.size, nullptr);
    QImage luma(720, 576, QImage::Format_Grayscale8);
    luma.fill(0);
    GstMapInfo map;
    if (copyFieldsInTurn(picture.data, picture.size, picture.bytesPerLine, bottomFirst, info, frame)
        && gst_buffer_map(frame, &map, GST_MAP_READ)) {
        for (int y = 0; y < luma.height(); ++y)
            for (int x = 0; x < luma.width(); ++x)
                luma.scanLine(y)[x] = map.data[std::size_t(y) * info.stride[0] + std::size_t(x) * 2];
        gst_buffer_unmap(frame, &map);
    }
    gst_buffer_unref(frame);
    return luma;
}

// Where the emulated card's white block begins on a line; -1 where the line has none.
int blockLeft(const QImage& luma, int y)
{
    for (int x = 0; x < luma.width(); ++x)
        if (luma.scanLine(y)[x] == 235)
            return x;
    return -1;
}

}  // namespace

class V4l2MappedStreamTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }

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
    // fields of half its lines, the standard's first one first and then in turn. One that stores
    // both in one buffer, when asked for that, sends frames whose halves are its fields, the
    // one taken first stored first: woven back, the frame is combed where the block moves and
    // the first field's block is behind the second's (fields swapped, or halves left unwoven,
    // are not).
    void alternateFieldsComeInTurnAtHalfHeight_data()
    {
        QTest::addColumn<bool>("planes");
        QTest::addColumn<std::uint32_t>("field");
        QTest::newRow("single-planar") << false << std::uint32_t(V4L2_FIELD_ALTERNATE);
        QTest::newRow("multi-planar") << true << std::uint32_t(V4L2_FIELD_ALTERNATE);
        QTest::newRow("single-planar, both in turn, top first") << false << std::uint32_t(V4L2_FIELD_SEQ_TB);
        QTest::newRow("multi-planar, both in turn, bottom first") << true << std::uint32_t(V4L2_FIELD_SEQ_BT);
    }

    void alternateFieldsComeInTurnAtHalfHeight()
    {
        QFETCH(bool, planes);
        QFETCH(std::uint32_t, field);
        auto io = std::make_shared<FakeV4l2Io>();
        FakeV4l2Hardware hardware = planes ? multiPlanar(fakeTvCard()) : fakeTvCard();
        hardware.interlacedField = field;
        hardware.picture = std::make_shared<emulated::TvPicture>();
        io->add(node, std::move(hardware));
        const int control = io->open(node);
        int composite = 1;  // a picture without tuning
        QCOMPARE(io->ioctl(control, VIDIOC_S_INPUT, &composite), 0);
        io->close(control);
        const bool alternate = field == V4L2_FIELD_ALTERNATE;
        {
            const auto api = planes ? planarApi : V4l2MappedStream::Api::SinglePlanar;
            V4l2MappedStream stream(io, node, api, V4L2_PIX_FMT_YUYV, 720, 576, v4l2_fract{0, 0}, field);
            QCOMPARE(stream.alternateFields(), alternate);
            QCOMPARE(stream.field(), field);
            std::vector<std::uint32_t> fields;
            for (int picture = 0; picture < 4; ++picture)
                QCOMPARE(nextPicture(stream, [&](const V4l2Picture& got) {
                             QCOMPARE(got.size, std::size_t(720) * 2 * (alternate ? 288 : 576));
                             fields.push_back(got.sequence % 2 == 0 ? got.field : 0);
                             fields.push_back(got.sequence % 2 == 1 ? got.field : 0);
                             if (alternate)
                                 return;
                             const QImage woven = wovenLuma(got, field == V4L2_FIELD_SEQ_BT);
                             const QRect blockRows(0, 576 / 3 + 2, 720, 576 / 3 - 4);
                             const picture::Combing combing = picture::combing(woven, blockRows);
                             QVERIFY2(combing.combed(), qPrintable(QStringLiteral("%1 against %2")
                                                                       .arg(combing.betweenFields)
                                                                       .arg(combing.withinField)));
                             const int firstLine = field == V4L2_FIELD_SEQ_TB ? 288 : 289;
                             const int first = blockLeft(woven, firstLine);
                             const int second = blockLeft(woven, firstLine + (firstLine % 2 ? -1 : 1));
                             QVERIFY2(first >= 0 && first < second, qPrintable(QStringLiteral("%1, %2").arg(first).arg(second)));
                         }),
                         0);
            if (!alternate) {
                QCOMPARE(std::count(fields.begin(), fields.end(), field), 4);
            } else {
                QVERIFY(std::count(fields.begin(), fields.end(), std::uint32_t(V4L2_FIELD_TOP)) > 0);
                for (std::size_t at = 0; at < fields.size(); at += 2)
                    QVERIFY(fields[at] == 0 || fields[at] == V4L2_FIELD_TOP);  // even sequences: PAL's top field
                for (std::size_t at = 1; at < fields.size(); at += 2)
                    QVERIFY(fields[at] == 0 || fields[at] == V4L2_FIELD_BOTTOM);
            }
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
