// The frames a stream sends, made from the driver's pictures for each layout: alternate fields
// paired in the order the stream names, a field whose partner was lost dropped, each frame
// stamped when its first picture was taken.

#include "capture/v4l2/V4l2FrameAssembly.h"

#include <QtTest>

#include <cerrno>
#include <vector>

using namespace capture;

namespace {

constexpr GstClockTime kFrame = 40 * GST_MSECOND;

struct Taken {
    GstClockTime pts;
    guint64 number;
    bool operator==(const Taken&) const = default;
};

// Feeds the pictures one by one, each field `lines` high and filled with its own byte value, and
// notes the frames that come out.
std::vector<Taken> feed(FrameAssembler& assembler, const std::vector<std::uint32_t>& fields, int lines,
                        std::vector<GstBuffer*>* frames = nullptr)
{
    std::vector<Taken> taken;
    std::vector<std::uint8_t> data;
    for (std::size_t index = 0; index < fields.size(); ++index) {
        data.assign(std::size_t(lines) * 8, std::uint8_t(index + 1));
        V4l2Picture picture{.data = data.data(), .size = data.size(), .bytesPerLine = 8,
                            .sequence = std::uint32_t(index), .field = fields[index]};
        const AssembledFrame made = assembler.take(picture, index * kFrame / 2);
        if (!made.frame)
            continue;
        taken.push_back({GST_BUFFER_PTS(made.frame), GST_BUFFER_OFFSET(made.frame)});
        if (frames)
            frames->push_back(made.frame);
        else
            gst_buffer_unref(made.frame);
    }
    return taken;
}

GstVideoInfo gray(int width, int height)
{
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_GRAY8, guint(width), guint(height));
    return info;
}

}  // namespace

Q_DECLARE_METATYPE(std::vector<std::uint32_t>)
Q_DECLARE_METATYPE(std::vector<Taken>)

class V4l2FrameAssemblyTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }

    void alternateFieldsArePaired_data()
    {
        constexpr std::uint32_t T = V4L2_FIELD_TOP, B = V4L2_FIELD_BOTTOM, N = V4L2_FIELD_NONE;
        QTest::addColumn<bool>("topFirst");
        QTest::addColumn<std::vector<std::uint32_t>>("fields");
        QTest::addColumn<std::vector<Taken>>("frames");
        QTest::newRow("top first") << true << std::vector{T, B, T, B} << std::vector<Taken>{{0, 0}, {kFrame, 1}};
        QTest::newRow("bottom first") << false << std::vector{B, T, B, T} << std::vector<Taken>{{0, 0}, {kFrame, 1}};
        QTest::newRow("a second field before any first") << true << std::vector{B, T, B} << std::vector<Taken>{{kFrame / 2, 0}};
        QTest::newRow("a first field whose partner was lost") << true << std::vector{T, T, B} << std::vector<Taken>{{kFrame / 2, 0}};
        QTest::newRow("a picture that is no field") << true << std::vector{T, N, B} << std::vector<Taken>{{0, 0}};
    }
    void alternateFieldsArePaired()
    {
        QFETCH(bool, topFirst);
        QFETCH(std::vector<std::uint32_t>, fields);
        QFETCH(std::vector<Taken>, frames);
        const GstVideoInfo info = gray(8, 4);
        const auto assembler = frameAssemblerFor(
            {.driverField = V4L2_FIELD_ALTERNATE, .raw = &info, .topFirst = topFirst, .frameDuration = kFrame});
        QCOMPARE(feed(*assembler, fields, 2), frames);
    }

    // The first field's lines land on its own lines of the frame, the second's between them;
    // the frame says it is woven, bottom field first.
    void aFrameHoldsBothFieldsOnTheirLines()
    {
        const GstVideoInfo info = gray(8, 4);
        const auto assembler = frameAssemblerFor(
            {.driverField = V4L2_FIELD_ALTERNATE, .raw = &info, .topFirst = false, .frameDuration = kFrame});
        std::vector<GstBuffer*> frames;
        feed(*assembler, {V4L2_FIELD_BOTTOM, V4L2_FIELD_TOP}, 2, &frames);
        QCOMPARE(frames.size(), std::size_t(1));
        QVERIFY(GST_BUFFER_FLAG_IS_SET(frames[0], GST_VIDEO_BUFFER_FLAG_INTERLACED));
        QVERIFY(!GST_BUFFER_FLAG_IS_SET(frames[0], GST_VIDEO_BUFFER_FLAG_TFF));
        GstMapInfo map;
        QVERIFY(gst_buffer_map(frames[0], &map, GST_MAP_READ));
        const std::vector<std::uint8_t> firstColumn{map.data[0], map.data[8], map.data[16], map.data[24]};
        gst_buffer_unmap(frames[0], &map);
        gst_buffer_unref(frames[0]);
        QCOMPARE(firstColumn, (std::vector<std::uint8_t>{2, 1, 2, 1}));
    }

    // Whole pictures and compressed ones each make a frame stamped as taken; one too short for
    // the frame is skipped, not a failure.
    void otherLayoutsMakeAFrameAPicture_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<bool>("compressed");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("frames");
        QTest::newRow("progressive") << int(V4L2_FIELD_NONE) << false << 4 << 2;
        QTest::newRow("progressive, short") << int(V4L2_FIELD_NONE) << false << 3 << 0;
        QTest::newRow("fields in turn") << int(V4L2_FIELD_SEQ_BT) << false << 4 << 2;
        QTest::newRow("compressed") << int(V4L2_FIELD_NONE) << true << 1 << 2;
    }
    void otherLayoutsMakeAFrameAPicture()
    {
        QFETCH(int, field);
        QFETCH(bool, compressed);
        QFETCH(int, lines);
        QFETCH(int, frames);
        const GstVideoInfo info = gray(8, 4);
        const auto assembler = frameAssemblerFor(
            {.driverField = std::uint32_t(field), .raw = compressed ? nullptr : &info, .frameDuration = kFrame});
        const std::vector<Taken> made = feed(*assembler, {V4L2_FIELD_NONE, V4L2_FIELD_NONE}, lines);
        QCOMPARE(int(made.size()), frames);
        if (frames > 0)
            QCOMPARE(made.back(), (Taken{kFrame / 2, 1}));
    }

    void layoutsThatMakeNoFramesAreRefused()
    {
        GstVideoInfo planar;
        gst_video_info_set_format(&planar, GST_VIDEO_FORMAT_I420, 8, 4);
        const auto stepOf = [](const PictureLayout& layout) {
            try {
                frameAssemblerFor(layout);
            } catch (const V4l2StreamError& error) {
                return error.step();
            }
            return V4l2StreamError::Step{};
        };
        QCOMPARE(stepOf({.driverField = V4L2_FIELD_ALTERNATE}), V4l2StreamError::Step::FieldsApart);
        QCOMPARE(stepOf({.driverField = V4L2_FIELD_SEQ_TB, .raw = &planar}), V4l2StreamError::Step::FieldsInTurn);
    }
};

QTEST_GUILESS_MAIN(V4l2FrameAssemblyTest)
#include "V4l2FrameAssemblyTest.moc"
