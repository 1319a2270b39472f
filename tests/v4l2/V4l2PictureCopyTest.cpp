// A driver's picture, laid out as V4L2 documents it for one buffer, arrives in GStreamer's
// layout line for line, whatever the driver's line length.

#include "capture/v4l2/V4l2PictureCopy.h"

#include <QtTest>

#include <cstdint>
#include <vector>

using namespace capture;

namespace {

// Where the driver puts one plane: its line length and how many lines, the planes one after
// another from the start of the buffer.
struct DriverPlane {
    std::size_t stride;
    std::size_t lines;
    std::size_t lineBytes;  // picture bytes in each line
};
using DriverLayout = std::vector<DriverPlane>;

std::uint8_t mark(std::size_t plane, std::size_t line, std::size_t column)
{
    return static_cast<std::uint8_t>(plane * 71 + line * 13 + column);
}

}  // namespace

Q_DECLARE_METATYPE(DriverLayout)

class V4l2PictureCopyTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }

    void picturesArriveLineForLine_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<DriverLayout>("layout");
        QTest::addColumn<int>("missing");  // bytes the driver's picture lacks at its end
        QTest::addColumn<bool>("whole");
        // A field onto every other line of a frame of that height; two ("bottom, top"), stored one
        // after the other, onto theirs.
        QTest::addColumn<QString>("field");
        QTest::newRow("YUY2, lines as long as the picture") << "YUY2" << 640 << 360 << DriverLayout{{1280, 360, 1280}} << 0 << true << "";
        QTest::newRow("YUY2, lines padded by the driver") << "YUY2" << 636 << 4 << DriverLayout{{1344, 4, 1272}} << 0 << true << "";
        QTest::newRow("NV12, chroma lines as long as luma ones")
            << "NV12" << 640 << 360 << DriverLayout{{640, 360, 640}, {640, 180, 640}} << 0 << true << "";
        QTest::newRow("I420, chroma lines half the padded luma line")
            << "I420" << 320 << 6 << DriverLayout{{384, 6, 320}, {192, 3, 160}, {192, 3, 160}} << 0 << true << "";
        QTest::newRow("YUY2, a short picture is refused") << "YUY2" << 640 << 360 << DriverLayout{{1280, 360, 1280}} << 1 << false << "";
        QTest::newRow("NV12, a picture without its chroma is refused")
            << "NV12" << 64 << 4 << DriverLayout{{64, 4, 64}, {64, 2, 64}} << 64 * 2 << false << "";
        QTest::newRow("YUY2, the bottom field") << "YUY2" << 640 << 8 << DriverLayout{{1280, 4, 1280}} << 0 << true << "bottom";
        QTest::newRow("I420, the top field, its chroma woven alike")
            << "I420" << 320 << 12 << DriverLayout{{384, 6, 320}, {192, 3, 160}, {192, 3, 160}} << 0 << true << "top";
        QTest::newRow("YUY2, both fields in turn, the top one first")
            << "YUY2" << 640 << 8 << DriverLayout{{1280, 8, 1280}} << 0 << true << "top, bottom";
        QTest::newRow("UYVY, both fields in turn in padded lines, the bottom one first")
            << "UYVY" << 636 << 8 << DriverLayout{{1344, 8, 1272}} << 0 << true << "bottom, top";
        QTest::newRow("YUY2, both fields in turn, the second one short")
            << "YUY2" << 640 << 8 << DriverLayout{{1280, 8, 1280}} << 1 << false << "top, bottom";
        QTest::newRow("I420, both fields in turn is refused")
            << "I420" << 320 << 12 << DriverLayout{{384, 12, 320}, {192, 6, 160}, {192, 6, 160}} << 0 << false << "top, bottom";
    }

    void picturesArriveLineForLine()
    {
        QFETCH(QString, format);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(DriverLayout, layout);
        QFETCH(int, missing);
        QFETCH(bool, whole);
        QFETCH(QString, field);

        std::vector<std::uint8_t> picture;
        for (std::size_t plane = 0; plane < layout.size(); ++plane)
            for (std::size_t line = 0; line < layout[plane].lines; ++line)
                for (std::size_t column = 0; column < layout[plane].stride; ++column)
                    picture.push_back(column < layout[plane].lineBytes ? mark(plane, line, column) : 0xEE);
        picture.resize(picture.size() - std::size_t(missing));

        GstVideoInfo info;
        gst_video_info_set_format(&info, gst_video_format_from_string(qPrintable(format)), guint(width), guint(height));
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, info.size, nullptr);
        const std::size_t parity = field.startsWith("bottom") ? 1 : 0;
        const bool inTurn = field.contains(',');
        // Where the driver's line goes in the frame.
        const auto frameLine = [&](std::size_t plane, std::size_t line) {
            if (field.isEmpty())
                return line;
            const std::size_t half = layout[plane].lines / 2;
            if (inTurn && line >= half)
                return (line - half) * 2 + 1 - parity;
            return line * 2 + parity;
        };
        if (inTurn)
            QCOMPARE(copyFieldsInTurn(picture.data(), picture.size(), std::uint32_t(layout[0].stride), parity == 1, info, buffer),
                     whole);
        else if (!field.isEmpty())
            QCOMPARE(copyField(picture.data(), picture.size(), std::uint32_t(layout[0].stride), parity == 1, info, buffer), whole);
        GstVideoFrame frame;
        QVERIFY(gst_video_frame_map(&frame, &info, buffer, GST_MAP_READWRITE));
        if (field.isEmpty())
            QCOMPARE(copyPicture(picture.data(), picture.size(), std::uint32_t(layout[0].stride), frame), whole);
        if (whole) {
            QCOMPARE(GST_VIDEO_FRAME_N_PLANES(&frame), guint(layout.size()));
            for (std::size_t plane = 0; plane < layout.size(); ++plane) {
                const auto* data = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, plane));
                const std::size_t stride = std::size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, plane));
                for (std::size_t line = 0; line < layout[plane].lines; ++line)
                    for (std::size_t column = 0; column < layout[plane].lineBytes; ++column)
                        if (data[frameLine(plane, line) * stride + column] != mark(plane, line, column))
                            QFAIL(qPrintable(QStringLiteral("plane %1, line %2, byte %3").arg(plane).arg(line).arg(column)));
            }
        }
        gst_video_frame_unmap(&frame);
        gst_buffer_unref(buffer);
    }
};

QTEST_GUILESS_MAIN(V4l2PictureCopyTest)
#include "V4l2PictureCopyTest.moc"
