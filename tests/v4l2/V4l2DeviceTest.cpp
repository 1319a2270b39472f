#include "capture/contract/CaptureError.h"
#include "capture/devices/CameraSettings.h"
#include "capture/devices/DeviceCatalogue.h"
#include "capture/devices/DeviceFailure.h"
#include "capture/v4l2/V4l2Devices.h"
#include "capture/v4l2/V4l2VideoDevice.h"
#include "tests/support/kernel/FakeV4l2Hardware.h"
#include "tests/support/kernel/FakeV4l2Io.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <gst/gst.h>

#include <memory>

using namespace capture;

namespace {

std::vector<std::string> formatNames(VideoDevice& device, int input = 0)
{
    std::vector<std::string> names;
    for (const auto& format : device.formats(input))
        names.push_back(format.name());
    return names;
}

VideoFormat formatNamed(VideoDevice& device, const std::string& name)
{
    for (const auto& format : device.formats(0))
        if (format.name() == name)
            return format;
    throw std::logic_error("no format " + name);
}

// The child of the source bin made by this factory.
ElementPtr childMadeBy(GstElement* bin, const char* factory)
{
    ElementPtr found;
    GstIterator* children = gst_bin_iterate_elements(GST_BIN(bin));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(children, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory* madeBy = gst_element_get_factory(element);  // none for the control's own source
        if (madeBy && g_strcmp0(GST_OBJECT_NAME(madeBy), factory) == 0)
            found = ElementPtr::share(element);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(children);
    return found;
}

std::string capsOf(GstElement* bin)
{
    ElementPtr filter = childMadeBy(bin, "capsfilter");
    GstCaps* caps = nullptr;
    g_object_get(filter.get(), "caps", &caps, nullptr);
    CapsPtr owned(caps);
    gchar* text = gst_caps_to_string(caps);
    std::string result = text;
    g_free(text);
    return result;
}

std::string deviceOf(GstElement* bin)
{
    ElementPtr source = childMadeBy(bin, "v4l2src");
    gchar* path = nullptr;
    g_object_get(source.get(), "device", &path, nullptr);
    std::string result = path ? path : "";
    g_free(path);
    return result;
}

// A field of the caps the source bin offers downstream, as text; empty when it is not one fixed value.
std::string offered(GstElement* bin, const char* field)
{
    PadPtr pad(gst_element_get_static_pad(bin, "src"));
    CapsPtr caps(gst_pad_query_caps(pad.get(), nullptr));
    if (!caps || gst_caps_is_empty(caps.get()))
        return {};
    const GstStructure* structure = gst_caps_get_structure(caps.get(), 0);
    const GValue* value = gst_structure_get_value(structure, field);
    if (!value)
        return {};
    if (G_VALUE_HOLDS_STRING(value))
        return g_value_get_string(value);
    if (GST_VALUE_HOLDS_FRACTION(value))
        return std::to_string(gst_value_get_fraction_numerator(value)) + "/"
            + std::to_string(gst_value_get_fraction_denominator(value));
    return {};
}

// The kernel's model, with VIDIOC_CROPCAP answered as a driver that knows its sampling does:
// V4L2's pixel aspect is height over width, over the default rectangle.
class CroppingIo : public V4l2Io {
public:
    CroppingIo(QSize pixelAspect, QSize defaultRect) : m_pixelAspect(pixelAspect), m_defaultRect(defaultRect) {}
    int open(const std::string& path) override { return model->open(path); }
    void close(int fd) override { model->close(fd); }
    int ioctl(int fd, unsigned long request, void* argument) override
    {
        if (request != VIDIOC_CROPCAP || m_pixelAspect.isEmpty())
            return model->ioctl(fd, request, argument);
        auto& crop = *static_cast<v4l2_cropcap*>(argument);
        crop.bounds = crop.defrect = {0, 0, std::uint32_t(m_defaultRect.width()), std::uint32_t(m_defaultRect.height())};
        crop.pixelaspect = {std::uint32_t(m_pixelAspect.width()), std::uint32_t(m_pixelAspect.height())};
        return 0;
    }
    int mmap(int fd, std::size_t length, std::int64_t offset, const void*& mapping) override
    {
        return model->mmap(fd, length, offset, mapping);
    }
    void munmap(const void* mapping, std::size_t length) override { model->munmap(mapping, length); }

    const std::shared_ptr<FakeV4l2Io> model = std::make_shared<FakeV4l2Io>();

private:
    QSize m_pixelAspect;
    QSize m_defaultRect;
};

bool touch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

}  // namespace

class V4l2DeviceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }

    void catalogueListsTheCaptureNodesInNumberOrder()
    {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        auto io = std::make_shared<FakeV4l2Io>();
        io->add(root + "/video0", fakeUvcCamera());
        io->add(root + "/video1", fakeUvcMetadataNode());
        io->add(root + "/video2", fakeTvCard());
        io->add(root + "/video10", fakeUvcCamera());
        for (const char* name : {"video0", "video1", "video2", "video10", "video3", "vbi0", "video", "videoX"})
            QVERIFY(touch(dir.filePath(name)));

        {
            // Listed before the built-in devices; two cards of one name apart.
            const auto catalogue = DeviceCatalogue::withBuiltInDevices(openV4l2VideoDevices(io, root), {});
            std::vector<std::string> names;
            for (int i = 0; i < catalogue.videoCount(); ++i)
                names.push_back(catalogue.videoName(i));
            QCOMPARE(names, (std::vector<std::string>{"USB 2.0 Camera", "Analog TV Card", "USB 2.0 Camera #2",
                                                      "Test Pattern Camera", "Test Pattern TV Tuner"}));
            QVERIFY(!catalogue.video(0).tuner());
            QVERIFY(catalogue.video(1).tuner());
            QCOMPARE(catalogue.video(1).inputs(), (std::vector<std::string>{"Television", "Composite1"}));
            // Each device keeps one file open for its settings and tuner; the probes are closed.
            QCOMPARE(io->openFiles(), 3);
        }
        QCOMPARE(io->openFiles(), 0);
    }

    // A virtual camera keeps its program's format while anyone has the node open: the control
    // opens it for each question and holds nothing in between, also while it is fed.
    void aVirtualCameraIsOpenedOnlyForEachCall()
    {
        auto io = std::make_shared<FakeV4l2Io>();
        FakeV4l2Hardware loopback = fakeUvcCamera();
        loopback.driver = "v4l2 loopback";
        io->add("/dev/video7", loopback);
        const auto device = V4l2VideoDevice::open(io, "/dev/video7", {});
        QVERIFY(device && device->isVirtualCamera());
        QCOMPARE(io->openFiles(), 0);
        QVERIFY(!device->inputs().empty() && !device->formats(0).empty() && !device->controls().list().empty());
        QCOMPARE(io->openFiles(), 0);
    }

    void machineWithoutVideoNodesListsNothing()
    {
        QVERIFY(openV4l2VideoDevices(systemV4l2Io(), "/nonexistent-directory").empty());

        // Nodes that are not V4L2 devices at all answer the kernel's ENOTTY and are passed over.
        QTemporaryDir dir;
        QVERIFY(touch(dir.filePath("video0")));
        QVERIFY(openV4l2VideoDevices(systemV4l2Io(), dir.path().toStdString()).empty());
        QVERIFY(!V4l2VideoDevice::open(systemV4l2Io(), dir.filePath("video0").toStdString(), "Not a camera"));
        QVERIFY(!V4l2VideoDevice::open(systemV4l2Io(), dir.filePath("video9").toStdString(), "Missing"));
    }

    void cameraFormatsCarryGStreamerNames_data()
    {
        QTest::addColumn<bool>("planes");
        QTest::newRow("single-planar") << false;
        QTest::newRow("multi-planar") << true;
    }

    // The current format first, then each size of its pixel format and of the others at its
    // fastest rate and at 30 and 25 fps, in the driver's order.
    void cameraFormatsCarryGStreamerNames()
    {
        QFETCH(bool, planes);
        auto io = std::make_shared<FakeV4l2Io>();
        auto hw = fakeUvcCamera();
        hw.formats.push_back({V4L2_PIX_FMT_H264, "H.264", {{1920, 1080, {{1, 30}}}}, {}});
        hw.formats.push_back({V4L2_PIX_FMT_NV12, "Y/CbCr 4:2:0", {{1280, 720, {{1001, 30000}}}}, {}});
        hw.formats[1].sizes[2].intervals = {{1, 60}, {1, 50}, {1, 30}, {1, 25}, {1, 15}};
        auto device = io->add("/dev/video0", planes ? multiPlanar(std::move(hw)) : std::move(hw));
        v4l2_format current{};
        current.type = planes ? V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE : V4L2_BUF_TYPE_VIDEO_CAPTURE;
        current.fmt.pix_mp.pixelformat = V4L2_PIX_FMT_MJPEG;  // the same first fields in pix and pix_mp
        current.fmt.pix_mp.width = 640;
        current.fmt.pix_mp.height = 480;
        QCOMPARE(device->handle(0, VIDIOC_S_FMT, &current), 0);
        device->closed(0);  // the program that left the camera in that format
        const auto camera = V4l2VideoDevice::open(io, "/dev/video0", "Desk Camera");

        QVERIFY(camera);
        QCOMPARE(camera->name(), std::string("Desk Camera"));
        QCOMPARE(camera->inputs(), std::vector<std::string>{"Camera 1"});
        QCOMPARE(formatNames(*camera), (std::vector<std::string>{
            "MJPG 640x480 60 fps", "MJPG 1280x720 30 fps", "MJPG 1920x1080 30 fps", "MJPG 640x480 30 fps",
            "MJPG 640x480 25 fps", "YUY2 640x480 30 fps", "YUY2 320x240 30 fps", "YUY2 1280x720 10 fps",
            "NV12 1280x720 29.97 fps"}));
        QVERIFY(camera->formats(1).empty());
        QVERIFY(camera->formats(-1).empty());

        const ElementPtr source = camera->createSource(0, formatNamed(*camera, "YUY2 320x240 30 fps"));
        QCOMPARE(device->format().pixelformat, std::uint32_t(V4L2_PIX_FMT_YUYV));
        QCOMPARE(device->format().width, 320u);
    }

    void rangeOfSizesOffersItsLargestAndTheUsualOnes()
    {
        auto io = std::make_shared<FakeV4l2Io>();
        auto hw = fakeUvcCamera();
        hw.formats = {{V4L2_PIX_FMT_YUYV, "YUYV", {}, v4l2_frmsize_stepwise{32, 1280, 16, 32, 960, 16}}};
        io->add("/dev/video0", std::move(hw));
        const auto camera = V4l2VideoDevice::open(io, "/dev/video0", {});
        // No intervals for these sizes: the rate comes from the streaming parameters, else 30.
        QCOMPARE(formatNames(*camera), (std::vector<std::string>{
            "YUY2 640x480 30 fps", "YUY2 1280x960 30 fps", "YUY2 1280x720 30 fps", "YUY2 768x576 30 fps",
            "YUY2 320x240 30 fps"}));
    }

    void tvCardFormatsFollowTheStandard()
    {
        auto io = std::make_shared<FakeV4l2Io>();
        io->add("/dev/video0", fakeTvCard());
        const auto card = V4l2VideoDevice::open(io, "/dev/video0", {});
        card->tuner()->setCountryCode(49);
        QCOMPARE(formatNames(*card), (std::vector<std::string>{
            "YUY2 768x576 25 fps", "UYVY 768x576 25 fps", "GRAY8 768x576 25 fps"}));
        card->tuner()->setCountryCode(1);
        QCOMPARE(formatNames(*card, 1), (std::vector<std::string>{
            "YUY2 640x480 29.97 fps", "UYVY 640x480 29.97 fps", "GRAY8 640x480 29.97 fps"}));
    }

    // A card that gives a range of sizes (as vivid's TV input does) offers its standard's whole
    // picture, 720 samples a line, in each pixel format, not only in the one it was left in.
    void tvCardWithARangeOfSizesOffersTheStandardsPictureInEachFormat()
    {
        auto io = std::make_shared<FakeV4l2Io>();
        auto hw = fakeTvCard();
        hw.listsFrameSizes = true;
        for (auto& format : hw.formats)
            format.stepwise = v4l2_frmsize_stepwise{16, 1920, 2, 16, 1080, 2};
        io->add("/dev/video0", std::move(hw));
        const auto card = V4l2VideoDevice::open(io, "/dev/video0", {});
        for (const auto& [code, whole] : {std::pair{49, " 720x576 25 fps"}, std::pair{1, " 720x480 29.97 fps"}}) {
            card->tuner()->setCountryCode(code);
            const std::vector<std::string> names = formatNames(*card);
            for (const std::string pixels : {"YUY2", "UYVY", "GRAY8"})
                QVERIFY2(std::find(names.begin(), names.end(), pixels + whole) != names.end(), (pixels + whole).c_str());
        }
    }

    void sourceIsPreparedBeforeItStreams()
    {
        auto io = std::make_shared<FakeV4l2Io>();
        auto device = io->add("/dev/video0", fakeTvCard());
        const auto card = V4l2VideoDevice::open(io, "/dev/video0", {});
        // Chosen while another stream ran: the standard waits for the next start.
        device->setStreamingElsewhere(true);
        card->tuner()->setCountryCode(33);
        QCOMPARE(device->standard(), V4L2_STD_PAL_BG);
        device->setStreamingElsewhere(false);
        const VideoFormat uyvy = formatNamed(*card, "UYVY 768x576 25 fps");
        device->clearLog();

        const ElementPtr source = card->createSource(1, uyvy);

        QCOMPARE(device->input(), 1u);
        QCOMPARE(device->standard(), V4L2_STD_SECAM_L);
        QCOMPARE(device->format().pixelformat, std::uint32_t(V4L2_PIX_FMT_UYVY));
        QCOMPARE(device->format().width, 768u);
        QCOMPARE(device->format().height, 576u);
        const auto& requests = device->requests();
        const auto at = [&](unsigned long request) {
            return std::find(requests.begin(), requests.end(), request) - requests.begin();
        };
        QVERIFY(at(VIDIOC_S_INPUT) < at(VIDIOC_S_STD));
        QVERIFY(at(VIDIOC_S_STD) < at(VIDIOC_S_FMT));
        QVERIFY(at(VIDIOC_S_FMT) < std::ptrdiff_t(requests.size()));

        QVERIFY(source);
        QCOMPARE(deviceOf(source.get()), std::string("/dev/video0"));
        // The card lists no rates: the rate is left to the driver.
        QCOMPARE(capsOf(source.get()), std::string("video/x-raw, format=(string)UYVY, width=(int)768, height=(int)576, "
                                                    "interlace-mode=(string)interleaved"));
        PadPtr pad(gst_element_get_static_pad(source.get(), "src"));
        QVERIFY(pad);
    }

    // Interlaced on analog inputs, in the driver's order or else the standard's, with pixels as
    // wide as the standard samples them (GStreamer's x/y); a camera's pictures are left alone.
    void picturesSayTheirFieldsAndPixelAspect_data()
    {
        QTest::addColumn<bool>("tvCard");
        QTest::addColumn<int>("countryCode");
        QTest::addColumn<std::uint32_t>("decoderField");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("interlaceMode");
        QTest::addColumn<QString>("fieldOrder");
        QTest::addColumn<QString>("pixelAspect");
        QTest::addColumn<QSize>("cropAspect");  // VIDIOC_CROPCAP's y/x; none when empty
        QTest::addColumn<QSize>("cropRect");
        // 768 samples of a 625-line picture: 59/54 x 720/768; 640 of a 525-line one: 10/11 x 720/640.
        QTest::newRow("625 lines, order of the standard") << true << 49 << std::uint32_t(V4L2_FIELD_INTERLACED)
            << "YUY2 768x576 25 fps" << "interleaved" << "top-field-first" << "295/288" << QSize() << QSize();
        QTest::newRow("525 lines, order of the standard") << true << 1 << std::uint32_t(V4L2_FIELD_INTERLACED)
            << "YUY2 640x480 29.97 fps" << "interleaved" << "bottom-field-first" << "45/44" << QSize() << QSize();
        // Woven from fields in buffers of their own (288 lines each) by the control's source.
        QTest::newRow("625 lines, each field apart") << true << 49 << std::uint32_t(V4L2_FIELD_ALTERNATE)
            << "YUY2 768x576 25 fps" << "interleaved" << "top-field-first" << "295/288" << QSize() << QSize();
        // Woven from fields stored one after the other, the one taken first first, whatever the standard.
        QTest::newRow("525 lines, both fields in turn, top first") << true << 1 << std::uint32_t(V4L2_FIELD_SEQ_TB)
            << "YUY2 640x480 29.97 fps" << "interleaved" << "top-field-first" << "45/44" << QSize() << QSize();
        QTest::newRow("625 lines, both fields in turn, bottom first") << true << 49 << std::uint32_t(V4L2_FIELD_SEQ_BT)
            << "YUY2 768x576 25 fps" << "interleaved" << "bottom-field-first" << "295/288" << QSize() << QSize();
        QTest::newRow("625 lines, the decoder's own order") << true << 49 << std::uint32_t(V4L2_FIELD_INTERLACED_BT)
            << "UYVY 768x576 25 fps" << "interleaved" << "bottom-field-first" << "295/288" << QSize() << QSize();
        // vivid's PAL answer, 54/59 over 720x576: a 768-wide picture of it has 59/54 x 720/768.
        QTest::newRow("625 lines, CROPCAP's aspect") << true << 49 << std::uint32_t(V4L2_FIELD_INTERLACED)
            << "YUY2 768x576 25 fps" << "interleaved" << "top-field-first" << "295/288" << QSize(54, 59) << QSize(720, 576);
        QTest::newRow("625 lines, CROPCAP's aspect unscaled") << true << 49 << std::uint32_t(V4L2_FIELD_INTERLACED)
            << "YUY2 768x576 25 fps" << "interleaved" << "top-field-first" << "59/54" << QSize(54, 59) << QSize(768, 576);
        QTest::newRow("camera") << false << 0 << std::uint32_t(V4L2_FIELD_NONE) << "YUY2 640x480 30 fps" << ""
                                << "" << "" << QSize() << QSize();
    }

    void picturesSayTheirFieldsAndPixelAspect()
    {
        QFETCH(bool, tvCard);
        QFETCH(int, countryCode);
        QFETCH(std::uint32_t, decoderField);
        QFETCH(QString, format);
        QFETCH(QSize, cropAspect);
        QFETCH(QSize, cropRect);
        auto io = std::make_shared<CroppingIo>(cropAspect, cropRect);
        FakeV4l2Hardware hardware = tvCard ? fakeTvCard() : fakeUvcCamera();
        hardware.interlacedField = decoderField;
        auto device = io->model->add("/dev/video0", hardware);
        const auto node = V4l2VideoDevice::open(io, "/dev/video0", {});
        if (node->tuner())
            node->tuner()->setCountryCode(countryCode);

        const ElementPtr source = node->createSource(0, formatNamed(*node, format.toStdString()));

        QCOMPARE(device->format().field, tvCard ? decoderField : std::uint32_t(V4L2_FIELD_NONE));
        const std::string filter = capsOf(source.get());
        QFETCH(QString, interlaceMode);
        QCOMPARE(QString::fromStdString(filter).contains("interlace-mode=(string)" + interlaceMode), !interlaceMode.isEmpty());
        QTEST(QString::fromStdString(offered(source.get(), "field-order")), "fieldOrder");
        QTEST(QString::fromStdString(offered(source.get(), "pixel-aspect-ratio")), "pixelAspect");
    }

    void motionJpegPassesAsJpeg()
    {
        auto io = std::make_shared<FakeV4l2Io>();
        auto device = io->add("/dev/video4", fakeUvcCamera());
        const auto camera = V4l2VideoDevice::open(io, "/dev/video4", {});
        const ElementPtr source = camera->createSource(0, formatNamed(*camera, "MJPG 1280x720 30 fps"));
        QCOMPARE(capsOf(source.get()),
                 std::string("image/jpeg, width=(int)1280, height=(int)720, framerate=(fraction)30/1"));
        QCOMPARE(deviceOf(source.get()), std::string("/dev/video4"));
        QCOMPARE(device->format().pixelformat, std::uint32_t(V4L2_PIX_FMT_MJPEG));
        // The camera's only input was already chosen: nothing to switch.
        QCOMPARE(device->count(VIDIOC_S_INPUT), 0);

        // uvcvideo lets one open set the format and stream: the source's own open, not the
        // control's, which keeps its file for the settings.
        const int streamer = io->open("/dev/video4");
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        QCOMPARE(io->ioctl(streamer, VIDIOC_G_FMT, &format), 0);
        QCOMPARE(io->ioctl(streamer, VIDIOC_S_FMT, &format), 0);
        v4l2_requestbuffers buffers{};
        buffers.count = 2;
        buffers.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffers.memory = V4L2_MEMORY_MMAP;
        QCOMPARE(io->ioctl(streamer, VIDIOC_REQBUFS, &buffers), 0);
        // While it streams, the control's file still reaches the camera's settings but cannot
        // take the stream; once the streamer lets go, the next start may.
        QCOMPARE(CameraSettings(camera->controls()).set(Member::Brightness, 10), SettingWrite::Applied);
        QVERIFY_THROWS_EXCEPTION(CaptureError, camera->createSource(0, formatNamed(*camera, "YUY2 320x240 30 fps")));
        io->close(streamer);
        QVERIFY(camera->createSource(0, formatNamed(*camera, "YUY2 320x240 30 fps")));
        QCOMPARE(device->format().pixelformat, std::uint32_t(V4L2_PIX_FMT_YUYV));
    }

    // The model behind the emulated cards: one queue owner, frames at the interval into queued
    // buffers in order, frames lost while none waits counted in the sequence.
    void fakeDeviceStreamsAsVideobuf2Does()
    {
        FakeV4l2Device device(fakeUvcCamera());
        const int owner = 1, other = 2;
        v4l2_requestbuffers request{};
        request.count = 2;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        QCOMPARE(device.handle(owner, VIDIOC_REQBUFS, &request), 0);
        QCOMPARE(request.count, 2u);
        QCOMPARE(device.handle(other, VIDIOC_REQBUFS, &request), EBUSY);
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        QCOMPARE(device.handle(owner, VIDIOC_S_FMT, &format), EBUSY);

        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        const auto queue = [&](std::uint32_t index) {
            buffer.index = index;
            return device.handle(owner, VIDIOC_QBUF, &buffer);
        };
        // As a blocking DQBUF would: until a frame is done.
        const auto dequeue = [&] {
            int result = EAGAIN;
            for (int tries = 0; tries < 500 && result == EAGAIN; ++tries, QTest::qWait(10))
                result = device.handle(owner, VIDIOC_DQBUF, &buffer);
            return result;
        };
        std::uint32_t type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        QCOMPARE(device.handle(owner, VIDIOC_STREAMON, &type), 0);
        QCOMPARE(queue(0), 0);
        QCOMPARE(device.handle(owner, VIDIOC_DQBUF, &buffer), EAGAIN);
        QVERIFY(device.nextFrameReady(owner).has_value());
        QCOMPARE(dequeue(), 0);
        QCOMPARE(buffer.sequence, 0u);
        QCOMPARE(buffer.bytesused, 640u * 480 * 2);
        QVERIFY(buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        QVERIFY(buffer.timestamp.tv_sec <= now.tv_sec && buffer.timestamp.tv_sec >= now.tv_sec - 1);

        // No buffer queued for a while: the frames meanwhile are lost.
        QTest::qWait(200);
        QCOMPARE(queue(0), 0);
        QCOMPARE(queue(1), 0);
        QCOMPARE(dequeue(), 0);
        QVERIFY2(buffer.sequence >= 5, qPrintable(QString::number(buffer.sequence)));
        QCOMPARE(device.handle(other, VIDIOC_STREAMOFF, &type), EBUSY);
        device.closed(owner);
        QVERIFY(!device.streaming());
        QCOMPARE(device.handle(other, VIDIOC_REQBUFS, &request), 0);
    }

    void sourceRefusalsRaiseWithAReason()
    {
        auto io = std::make_shared<FakeV4l2Io>();
        auto device = io->add("/dev/video0", fakeTvCard());
        const auto card = V4l2VideoDevice::open(io, "/dev/video0", "TV");
        const VideoFormat pal = formatNamed(*card, "YUY2 768x576 25 fps");

        using Kind = DeviceFailure::Kind;
        const auto refusal = [&](int input, const VideoFormat& format) -> DeviceFailure {
            try {
                card->createSource(input, format);
            } catch (const DeviceError& error) {
                return error.failure();
            }
            return {.kind = Kind::MissingElement, .element = "nothing raised"};
        };

        const DeviceFailure noInput = refusal(2, pal);
        QCOMPARE(noInput.kind, Kind::NoSuchInput);
        QCOMPARE(noInput.device, std::string("TV"));
        QCOMPARE(noInput.number, 2);
        VideoFormat odd = pal;
        odd.width = 123;
        const DeviceFailure notOffered = refusal(0, odd);
        QCOMPARE(notOffered.kind, Kind::FormatNotOffered);
        QCOMPARE(notOffered.format, odd.name());

        device->setStreamingElsewhere(true);
        const DeviceFailure busy = refusal(1, pal);
        QCOMPARE(busy.kind, Kind::VideoStepRefused);
        QCOMPARE(busy.step, DeviceFailure::Step::SwitchInput);
        QCOMPARE(busy.error, EBUSY);
        QCOMPARE(device->input(), 0u);
        device->setStreamingElsewhere(false);

        device->unplug();
        QCOMPARE(refusal(0, pal).error, ENODEV);
    }
};

QTEST_APPLESS_MAIN(V4l2DeviceTest)
#include "V4l2DeviceTest.moc"
