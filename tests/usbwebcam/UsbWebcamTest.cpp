// The webcam's descriptors and its camera function without the kernel: what uvcvideo would
// parse and what it would reassemble from the packets.

#include "Descriptors.h"
#include "UvcCamera.h"

#include <QtTest>

using namespace usbwebcam;

namespace {

std::uint16_t le16(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return std::uint16_t(bytes[at] | bytes[at + 1] << 8);
}

Setup classRequest(std::uint8_t request, std::uint8_t entity, std::uint8_t interface, std::uint8_t selector,
                    std::uint16_t length)
{
    return {std::uint8_t(request & 0x80 ? 0xa1 : 0x21), request, std::uint16_t(selector << 8),
            std::uint16_t(entity << 8 | interface), length};
}

}  // namespace

class UsbWebcamTest : public QObject {
    Q_OBJECT

private slots:
    // Each class-specific header's total must cover exactly the descriptors that follow it up to
    // the next interface, or the drivers read past them or stop short.
    void descriptorLengthsAddUp()
    {
        const std::vector<std::uint8_t> config = configurationDescriptor();
        QCOMPARE(le16(config, 2), config.size());
        std::size_t at = 0, headerTotal = 0, counted = 0;
        int headers = 0, interfaceClass = 0, interfaceSubclass = 0;
        while (at < config.size()) {
            const std::uint8_t length = config[at], type = config[at + 1];
            QVERIFY(length >= 2 && at + length <= config.size());
            if (type == 4 || type == 5 || type == 11) {  // interface, endpoint, association
                QCOMPARE(counted, headerTotal);
                headerTotal = counted = 0;
                if (type == 4)
                    interfaceClass = config[at + 5], interfaceSubclass = config[at + 6];
            } else if (type == 0x24 && config[at + 2] == 0x01 && headerTotal == 0
                       && (interfaceClass == 0x0e || interfaceSubclass == 1)) {
                // Where each header keeps its wTotalLength: video control, video streaming, audio control.
                const std::size_t field = interfaceClass == 0x0e ? (interfaceSubclass == 1 ? 5 : 4) : 6;
                headerTotal = le16(config, at + field);
                ++headers;
            }
            if (headerTotal != 0)
                counted += length;
            at += length;
        }
        QCOMPARE(counted, headerTotal);
        QCOMPARE(at, config.size());
        QCOMPARE(headers, 3);
    }

    void controls_data()
    {
        QTest::addColumn<int>("entity");
        QTest::addColumn<int>("selector");
        QTest::addColumn<QByteArray>("before");  // SET_CURs (entity, selector, value) first
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("errorCode");  // 0: taken
        const int pu = processingUnitId, ct = cameraTerminalId;
        QTest::newRow("brightness") << pu << 0x02 << QByteArray() << -20 << 0;
        QTest::newRow("brightness above range") << pu << 0x02 << QByteArray() << 65 << 4;
        QTest::newRow("focus off its step") << ct << 0x06 << QByteArray("\x01\x08\x00", 3) << 7 << 8;
        QTest::newRow("exposure in aperture priority") << ct << 0x04 << QByteArray() << 300 << 2;
        QTest::newRow("exposure in manual mode") << ct << 0x04 << QByteArray("\x01\x02\x01", 3) << 300 << 0;
        QTest::newRow("auto exposure mode not offered") << ct << 0x02 << QByteArray() << 2 << 4;
        QTest::newRow("white balance while automatic") << pu << 0x0a << QByteArray() << 3000 << 2;
        QTest::newRow("white balance when manual") << pu << 0x0a << QByteArray("\x02\x0b\x00", 3) << 3000 << 0;
        QTest::newRow("power line 60 Hz") << pu << 0x05 << QByteArray() << 2 << 0;
        QTest::newRow("power line beyond 60 Hz") << pu << 0x05 << QByteArray() << 3 << 4;
    }

    // A camera keeps what it takes and refuses the rest with a stall, leaving the reason in its
    // request error code control.
    void controls()
    {
        QFETCH(int, entity);
        QFETCH(int, selector);
        QFETCH(QByteArray, before);
        QFETCH(int, value);
        QFETCH(int, errorCode);
        UvcCamera camera;
        for (qsizetype i = 0; i + 2 < before.size(); i += 3) {
            const std::uint8_t data[4] = {std::uint8_t(before[i + 2]), 0, 0, 0};
            QVERIFY(camera.request(classRequest(0x01, before[i], 0, before[i + 1], 4), data));
        }
        const auto size = camera.request(classRequest(0x85, entity, 0, selector, 2), {});
        QVERIFY(size);
        const std::uint8_t data[4] = {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16),
                                      std::uint8_t(value >> 24)};
        const auto set = camera.request(classRequest(0x01, entity, 0, selector, (*size)[0]),
                                        std::span(data, (*size)[0]));
        QCOMPARE(bool(set), errorCode == 0);
        const auto code = camera.request(classRequest(0x81, 0, 0, 0x02, 1), {});
        QVERIFY(code);
        QCOMPARE(int((*code)[0]), errorCode);
        const auto current = camera.request(classRequest(0x81, entity, 0, selector, (*size)[0]), {});
        QVERIFY(current);
        std::int32_t read = 0;
        for (std::size_t i = 0; i < current->size(); ++i)
            read |= std::int32_t((*current)[i]) << (8 * i);
        if (current->size() == 2)
            read = std::int16_t(read);
        QCOMPARE(read == value, errorCode == 0);
    }

    void frames_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("frame");
        QTest::addColumn<int>("alternate");
        QTest::newRow("YUYV 640x480 in 3x1024") << 1 << 1 << 5;
        QTest::newRow("YUYV 320x240 in 512") << 1 << 2 << 2;
        QTest::newRow("MJPEG 640x480 in 1024") << 2 << 2 << 3;
    }

    // What uvcvideo reassembles: whole frames, the FID bit toggling from one to the next, EOF on
    // the last packet only, the error bit on the frames asked for.
    void frames()
    {
        QFETCH(int, format);
        QFETCH(int, frame);
        QFETCH(int, alternate);
        UvcCamera camera(2);
        std::vector<std::uint8_t> probe(26, 0);
        probe[2] = std::uint8_t(format);
        probe[3] = std::uint8_t(frame);
        probe[4] = 0x15, probe[5] = 0x16, probe[6] = 0x05;  // 333333: 30 fps
        QVERIFY(camera.request(classRequest(0x01, 0, videoStreamingInterface, 0x02, 26), probe));
        QVERIFY(camera.setAlternate(std::uint8_t(alternate), 1'000'000'000));
        const std::size_t packetSize = videoPacketSizes[alternate - 1];
        const FrameSize size = videoFormats[format - 1].frames[frame - 1];
        std::vector<std::size_t> frameBytes{0};
        std::vector<bool> errors{false};
        int lastFid = -1;
        std::vector<std::uint8_t> data;
        for (std::uint64_t now = 1'000'000'000; frameBytes.size() < 4; now += 4'000'000) {
            std::vector<IsoPacket> packets(32);
            for (std::size_t i = 0; i < packets.size(); ++i)
                packets[i] = {std::uint32_t(i * packetSize), std::uint32_t(packetSize), 0, 0};
            const std::uint32_t length = camera.fill(packets, data, now);
            QCOMPARE(length, data.size());
            std::size_t offset = 0;
            for (const IsoPacket& packet : packets) {
                if (packet.actualLength == 0)
                    continue;
                QVERIFY(packet.actualLength <= packetSize);
                const std::uint8_t* header = data.data() + offset;
                QCOMPARE(int(header[0]), 2);
                QVERIFY(header[1] & 0x80);
                const int fid = header[1] & 1;
                if (frameBytes.back() == 0 && lastFid >= 0)
                    QCOMPARE(fid, 1 - lastFid);
                else if (lastFid >= 0)
                    QCOMPARE(fid, lastFid);
                lastFid = fid;
                frameBytes.back() += packet.actualLength - 2;
                errors.back() = errors.back() || (header[1] & 0x40);
                if (header[1] & 0x02) {
                    frameBytes.push_back(0);
                    errors.push_back(false);
                }
                offset += packet.actualLength;
            }
        }
        for (std::size_t i = 0; i + 1 < frameBytes.size(); ++i) {
            if (videoFormats[format - 1].mjpeg)
                QVERIFY(frameBytes[i] > 1000 && frameBytes[i] < maxFrameBytes(size));
            else
                QCOMPARE(frameBytes[i], std::size_t(maxFrameBytes(size)));
            QCOMPARE(bool(errors[i]), i % 2 == 1);
        }
    }
};

QTEST_GUILESS_MAIN(UsbWebcamTest)
#include "UsbWebcamTest.moc"
