#include "EmulatedPictures.h"

#include "capture/devices/virtual/SyncMark.h"

#include <jpeglib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace capture::emulated {
namespace {

struct Yuv {
    std::uint8_t y, u, v;
};

// White, yellow, cyan, green, magenta, red, blue, black at 75 %, in BT.601 studio range.
constexpr Yuv bars[8] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
                         {84, 184, 198}, {65, 100, 212}, {35, 212, 114}, {16, 128, 128}};
constexpr Yuv block{235, 128, 128};

std::uint8_t lifted(std::uint8_t y, int offset)
{
    return static_cast<std::uint8_t>(std::clamp(int(y) + offset, 16, 235));
}

std::vector<std::uint8_t> encodeJpeg(const std::vector<std::uint8_t>& yuyv, std::uint32_t width, std::uint32_t height)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* output = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &output, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_YCbCr;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    // 4:2:2 as USB cameras send it.
    info.comp_info[0].h_samp_factor = 2;
    info.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> line(std::size_t(width) * 3);
    while (info.next_scanline < height) {
        const std::uint8_t* source = yuyv.data() + std::size_t(info.next_scanline) * width * 2;
        for (std::uint32_t x = 0; x < width; ++x) {
            line[x * 3] = source[x * 2];
            line[x * 3 + 1] = source[(x & ~1u) * 2 + 1];
            line[x * 3 + 2] = source[(x & ~1u) * 2 + 3];
        }
        JSAMPROW row = line.data();
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> jpeg(output, output + size);
    std::free(output);
    return jpeg;
}

void drawBayer(std::span<std::uint8_t> target, std::uint32_t width, std::uint32_t height, std::uint32_t frame)
{
    // Bars in RGB through a GRBG mosaic: G R on even lines, B G on odd ones.
    static constexpr std::uint8_t rgb[8][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                               {191, 0, 191}, {191, 0, 0}, {0, 0, 191}, {0, 0, 0}};
    const std::uint32_t blockWidth = width / 8;
    const std::uint32_t blockX = (frame % cameraCycle) * (width - blockWidth) / cameraCycle;
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* line = target.data() + std::size_t(y) * width;
        const bool inBlockRows = y >= height / 3 && y < height * 2 / 3;
        for (std::uint32_t x = 0; x < width; ++x) {
            const bool white = inBlockRows && x >= blockX && x < blockX + blockWidth;
            const auto& colour = rgb[x * 8 / width];
            const int channel = (y % 2 == 0) ? (x % 2 == 0 ? 1 : 0) : (x % 2 == 0 ? 2 : 1);
            line[x] = white ? 255 : colour[channel];
        }
    }
}

enum class Layout { Yuyv, Grey, Bayer };

// The sync box: white, in packed YUYV, in grey, or in the Bayer mosaic (every site at full scale).
void drawSyncBox(std::span<std::uint8_t> target, std::uint32_t width, std::uint32_t height, Layout layout)
{
    const SyncBox box = syncBoxOf(int(width), int(height));
    const std::size_t bytesPerPixel = layout == Layout::Yuyv ? 2 : 1;
    for (int y = box.y; y < box.y + box.size && y < int(height); ++y) {
        std::uint8_t* line = target.data() + std::size_t(y) * width * bytesPerPixel;
        for (int x = box.x; x < box.x + box.size && x < int(width); ++x) {
            if (layout == Layout::Yuyv) {
                line[x * 2] = block.y;
                line[x * 2 + 1] = 128;
            } else {
                line[x] = layout == Layout::Grey ? block.y : 255;
            }
        }
    }
}

}  // namespace

bool carriesSyncMark(const FakeV4l2Device& device, std::uint32_t sequence)
{
    const std::int64_t interval = device.intervalNs();
    const std::int64_t began = device.frameDue(sequence) - interval;
    return began >= 0 && holdsSyncMark(std::uint64_t(began), std::uint64_t(interval));
}

void drawBars(std::span<std::uint8_t> yuyv, std::uint32_t width, std::uint32_t height, std::uint32_t frame, int lumaOffset,
              int firstFieldLines)
{
    // One line of bars, copied down; the block is drawn over the middle third.
    std::vector<std::uint8_t> line(std::size_t(width) * 2);
    for (std::uint32_t x = 0; x < width; x += 2) {
        const Yuv& bar = bars[x * 8 / width];
        line[x * 2] = lifted(bar.y, lumaOffset);
        line[x * 2 + 1] = bar.u;
        line[x * 2 + 2] = lifted(bar.y, lumaOffset);
        line[x * 2 + 3] = bar.v;
    }
    const std::uint32_t blockWidth = width / 8 & ~1u;
    // Where the block is, counted in half frames: a second field is caught half a frame later.
    const auto blockAt = [&](std::uint32_t halfFrames) {
        return std::uint32_t((std::uint64_t(halfFrames % (2 * cameraCycle)) * (width - blockWidth) / (2 * cameraCycle)) & ~1u);
    };
    for (std::uint32_t y = 0; y < height; ++y) {
        const bool secondField = firstFieldLines >= 0 && int(y % 2) != firstFieldLines;
        const std::uint32_t blockX = blockAt(2 * (frame % cameraCycle) + (secondField ? 1 : 0));
        std::uint8_t* target = yuyv.data() + std::size_t(y) * width * 2;
        std::memcpy(target, line.data(), line.size());
        if (y >= height / 3 && y < height * 2 / 3)
            for (std::uint32_t x = blockX; x < blockX + blockWidth; x += 2) {
                target[x * 2] = target[x * 2 + 2] = lifted(block.y, lumaOffset);
                target[x * 2 + 1] = block.u;
                target[x * 2 + 3] = block.v;
            }
    }
}

const std::vector<std::uint8_t>& cameraJpegFrame(std::uint32_t width, std::uint32_t height, std::uint32_t frame,
                                                 bool marked)
{
    // Encoded on first use, one frame at a time, so that no single frame waits for the cycle.
    // Never destroyed, as the device may still stream while the process exits.
    static auto* mutex = new std::mutex;
    static auto* frames
        = new std::map<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, bool>, std::vector<std::uint8_t>>;
    const auto key = std::make_tuple(width, height, frame % cameraCycle, marked);
    std::lock_guard lock(*mutex);
    auto found = frames->find(key);
    if (found == frames->end()) {
        std::vector<std::uint8_t> yuyv(std::size_t(width) * height * 2);
        drawBars(yuyv, width, height, frame);
        if (marked)
            drawSyncBox(yuyv, width, height, Layout::Yuyv);
        found = frames->emplace(key, encodeJpeg(yuyv, width, height)).first;
    }
    return found->second;
}

namespace {

// A manual exposure time longer than the automatic mode's usual one brightens the picture,
// a shorter one darkens it; under the automatic mode the sensor keeps it as it is.
int exposureLift(const FakeV4l2Device& device)
{
    const auto* mode = device.control(V4L2_CID_EXPOSURE_AUTO);
    const auto* time = device.control(V4L2_CID_EXPOSURE_ABSOLUTE);
    if (!mode || !time || mode->value != V4L2_EXPOSURE_MANUAL)
        return 0;
    return static_cast<int>(std::clamp<std::int64_t>((time->value - time->defaultValue) / 8, -96, 96));
}

}  // namespace

namespace {

std::uint32_t environmentNumber(const char* name, const char** rest = nullptr)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (rest)
        *rest = end;
    return static_cast<std::uint32_t>(value);
}

}  // namespace

JpegDamage jpegDamage(std::uint32_t sequence, std::uint32_t every)
{
    if (every == 0 || sequence % every != every - 1)
        return JpegDamage::None;
    return (sequence / every) % 2 == 0 ? JpegDamage::Truncated : JpegDamage::Garbage;
}

std::size_t damageJpeg(std::span<std::uint8_t> frame, JpegDamage damage, std::uint32_t sequence)
{
    if (damage == JpegDamage::Truncated)
        return frame.size() / 2;
    if (damage == JpegDamage::None || frame.size() < 4)
        return frame.size();
    // Garbage of the picture's own length between its markers: no decoder makes a picture of it.
    std::uint32_t noise = 0x2545f491u ^ sequence;
    for (std::size_t i = 2; i < frame.size() - 2; ++i) {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        frame[i] = static_cast<std::uint8_t>(noise);
    }
    return frame.size();
}

bool CameraPicture::delivers(std::uint32_t sequence) const
{
    const char* rest = nullptr;
    const std::uint32_t first = environmentNumber("ORVEX_EMULATED_STALL", &rest);
    if (!rest || *rest != '+')
        return true;
    const std::uint32_t count = static_cast<std::uint32_t>(std::strtoul(rest + 1, nullptr, 10));
    return sequence < first || sequence - first >= count;
}

// A camera encodes in hardware and never falls behind: every Motion JPEG frame of the size
// is encoded before the stream starts, not while its frames are due. Encoded as they came
// due, a slow process (a sanitizer build) lost frames while it encoded, the marked ones among
// them (each mark is a picture of its own), and a recording then held no sync mark.
void CameraPicture::prepare(const FakeV4l2Device& device)
{
    const v4l2_pix_format& format = device.format();
    if (format.pixelformat != V4L2_PIX_FMT_MJPEG)
        return;
    for (std::uint32_t frame = 0; frame < cameraCycle; ++frame)
        for (const bool marked : {false, true})
            cameraJpegFrame(format.width, format.height, frame, marked);
}

std::size_t CameraPicture::draw(const FakeV4l2Device& device, std::uint32_t sequence, std::span<std::uint8_t> target)
{
    const v4l2_pix_format& format = device.format();
    const bool marked = carriesSyncMark(device, sequence);
    switch (format.pixelformat) {
    case V4L2_PIX_FMT_MJPEG: {
        const auto& jpeg = cameraJpegFrame(format.width, format.height, sequence, marked);
        const std::size_t size = std::min(jpeg.size(), target.size());
        std::memcpy(target.data(), jpeg.data(), size);
        // A frame with the sync mark stays whole, so that a recording's timing can be read.
        const JpegDamage damage = marked ? JpegDamage::None : jpegDamage(sequence, environmentNumber("ORVEX_EMULATED_BROKEN_EVERY"));
        return damageJpeg(target.first(size), damage, sequence);
    }
    case V4L2_PIX_FMT_SGRBG8:
        drawBayer(target, format.width, format.height, sequence);
        if (marked)
            drawSyncBox(target, format.width, format.height, Layout::Bayer);
        return std::size_t(format.width) * format.height;
    default:
        drawBars(target, format.width, format.height, sequence, device.controlValue(V4L2_CID_BRIGHTNESS) + exposureLift(device));
        if (marked)
            drawSyncBox(target, format.width, format.height, Layout::Yuyv);
        return std::size_t(format.width) * format.height * 2;
    }
}

namespace {

// Which lines a TV card's frame takes first: the top field (even lines) for 625 lines, the
// bottom one for 525, unless the format names its order; none in a progressive format.
int firstFieldLines(const FakeV4l2Device& device)
{
    switch (device.format().field) {
    case V4L2_FIELD_INTERLACED_TB:
    case V4L2_FIELD_SEQ_TB:
        return 0;
    case V4L2_FIELD_INTERLACED_BT:
    case V4L2_FIELD_SEQ_BT:
        return 1;
    case V4L2_FIELD_INTERLACED: {
        const v4l2_std_id standard = device.standard();
        return (standard & V4L2_STD_525_60) && !(standard & V4L2_STD_625_50) ? 1 : 0;
    }
    default:
        return -1;
    }
}

// Stores a frame as a decoder with SEQ_TB or SEQ_BT does: the lines of the field taken first,
// then those of the other.
void storeFieldsInTurn(std::span<std::uint8_t> picture, std::size_t lineBytes, std::uint32_t height, int firstFieldLines)
{
    const std::vector<std::uint8_t> frame(picture.begin(), picture.begin() + std::ptrdiff_t(lineBytes * height));
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t stored = (int(y % 2) == firstFieldLines ? 0 : height / 2) + y / 2;
        std::memcpy(picture.data() + std::size_t(stored) * lineBytes, frame.data() + std::size_t(y) * lineBytes, lineBytes);
    }
}

}  // namespace

std::size_t TvPicture::draw(const FakeV4l2Device& device, std::uint32_t sequence, std::span<std::uint8_t> target)
{
    const v4l2_pix_format& format = device.format();
    const int fields = firstFieldLines(device);
    const std::size_t pixels = std::size_t(format.width) * format.height;
    const bool grey = format.pixelformat == V4L2_PIX_FMT_GREY;
    const std::size_t used = grey ? pixels : pixels * 2;
    if (device.receiving()) {
        const int offset = device.controlValue(V4L2_CID_BRIGHTNESS) - 128;
        if (!grey) {
            drawBars(target, format.width, format.height, sequence, offset, fields);
        } else {
            std::vector<std::uint8_t> yuyv(pixels * 2);
            drawBars(yuyv, format.width, format.height, sequence, offset, fields);
            for (std::size_t i = 0; i < pixels; ++i)
                target[i] = yuyv[i * 2];
        }
    } else {
        // Snow: grey noise, different in every frame.
        for (std::size_t i = 0; i < used; ++i) {
            m_noise ^= m_noise << 13;
            m_noise ^= m_noise >> 17;
            m_noise ^= m_noise << 5;
            target[i] = (grey || i % 2 == 0) ? static_cast<std::uint8_t>(m_noise) : 128;
        }
    }
    if (carriesSyncMark(device, sequence))
        drawSyncBox(target, format.width, format.height, grey ? Layout::Grey : Layout::Yuyv);
    if (format.field == V4L2_FIELD_SEQ_TB || format.field == V4L2_FIELD_SEQ_BT)
        storeFieldsInTurn(target, grey ? format.width : std::size_t(format.width) * 2, format.height, fields);
    return used;
}

}  // namespace capture::emulated
